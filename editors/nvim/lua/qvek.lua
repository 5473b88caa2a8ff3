-- Starts qvek-lsp for qvek sources with Neovim's built-in client (0.7 and
-- later). Put this folder on 'runtimepath' (or copy lua/qvek.lua into
-- ~/.config/nvim/lua/) and call require('qvek').setup() from init.lua.
--
-- Options: cmd, the server's command (default {'qvek-lsp'}); root, the folder
-- INC names are opened in (default: the folder of the first source opened);
-- patterns, the file names that are qvek sources.
local M = {}

local clients = {} -- one server per root folder

local function start(opts, bufnr)
  local name = vim.api.nvim_buf_get_name(bufnr)
  local root = opts.root or vim.fn.fnamemodify(name, ':p:h')
  if not clients[root] then
    local cmd = vim.deepcopy(opts.cmd or { 'qvek-lsp' })
    vim.list_extend(cmd, { '--root', root })
    clients[root] = vim.lsp.start_client({ name = 'qvek-lsp', cmd = cmd, root_dir = root })
  end
  if clients[root] then vim.lsp.buf_attach_client(bufnr, clients[root]) end
end

function M.setup(opts)
  opts = opts or {}
  local group = vim.api.nvim_create_augroup('qvek_lsp', { clear = true })
  vim.api.nvim_create_autocmd({ 'BufRead', 'BufNewFile' }, {
    group = group,
    pattern = opts.patterns or { '*.qvs', '*.QVS', '*.inc', '*.INC' },
    callback = function(args) vim.bo[args.buf].filetype = 'qvek' end,
  })
  vim.api.nvim_create_autocmd('FileType', {
    group = group,
    pattern = 'qvek',
    callback = function(args) start(opts, args.buf) end,
  })
end

return M
