#!/usr/bin/env bash
# Neovim (headless) with editors/nvim's Lua, driving qvek-lsp on a copy of the example.
#
#   run_nvim.sh NVIM QVEK_LSP REPOSITORY
set -euo pipefail
nvim=$1
server=$2
repo=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$repo"/examples/main.qvs "$repo"/examples/*.INC "$work"/
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_STATE_HOME=$work/state XDG_CACHE_HOME=$work/cache
timeout 60 "$nvim" --headless --clean -n \
    --cmd "set runtimepath^=$repo/editors/nvim" \
    --cmd "lua _G.qvek_server = '$server'; _G.qvek_folder = '$work'" \
    -c "luafile $repo/tests/lsp/nvim_client.lua"
