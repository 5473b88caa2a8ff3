-- Starts qvek-lsp for qvek sources with Neovim's built-in client (0.7 and
-- later). Put this folder on 'runtimepath' (or copy lua/qvek.lua into
-- ~/.config/nvim/lua/) and call require('qvek').setup() from init.lua.
--
-- Options: cmd, the server's command (default {'qvek-lsp'}); root, the folder
-- INC names are opened in (default: the folder of the first source opened);
-- patterns, the file names that are qvek sources (default: *.qvs, and the
-- include files an INC line of a .qvs source in their folder names, as the
-- Vim, Emacs and VS Code files decide: other assemblers use .inc too).
local M = {}

-- Tells whether an INC line of a .qvs source in the file's folder names it.
function M.names_include(path)
  local name = vim.fn.fnamemodify(path, ':t')  -- qvek opens the upper-cased word
  for _, source in ipairs(vim.fn.glob(vim.fn.fnamemodify(path, ':h') .. '/*.[qQ][vV][sS]', true, true)) do
    for line in io.lines(source) do
      local words = vim.split(vim.trim(line:gsub('%*.*', ''):upper()), '%s+')
      if words[1] and words[1]:sub(1, 1) == '#' then table.remove(words, 1) end
      if words[1] == 'INC' and words[2] == name then return true end
    end
  end
  return false
end

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
    pattern = opts.patterns or { '*.qvs', '*.QVS' },
    callback = function(args) vim.bo[args.buf].filetype = 'qvek' end,
  })
  if not opts.patterns then
    vim.api.nvim_create_autocmd({ 'BufRead', 'BufNewFile' }, {
      group = group,
      pattern = { '*.[iI][nN][cC]' },
      callback = function(args)
        if M.names_include(vim.api.nvim_buf_get_name(args.buf)) then vim.bo[args.buf].filetype = 'qvek' end
      end,
    })
  end
  vim.api.nvim_create_autocmd('FileType', {
    group = group,
    pattern = 'qvek',
    callback = function(args) start(opts, args.buf) end,
  })
end

return M
