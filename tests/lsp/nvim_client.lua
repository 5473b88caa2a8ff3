-- Neovim, headless, as its user drives qvek-lsp through editors/nvim: opens
-- the example, waits for the diagnostics of an edit, and asks for a
-- definition, a hover and references. Run by run_nvim.sh; exits 0 when all hold.
local server, folder = _G.qvek_server, _G.qvek_folder
require('qvek').setup({ cmd = { server } })

local failures = 0
local function check(ok, what)
  if not ok then
    failures = failures + 1
    io.stderr:write('FAILED: ' .. what .. '\n')
  end
end

vim.cmd('edit ' .. folder .. '/main.qvs')
local buf = vim.api.nvim_get_current_buf()
check(vim.wait(5000, function() return #vim.lsp.buf_get_clients(buf) > 0 end), 'the server attaches')

-- A line using a constant no DEF makes: the check's error, with its code, on its token.
local line = vim.api.nvim_buf_line_count(buf)
vim.api.nvim_buf_set_lines(buf, line, line, false, { '        LDA #NO_SUCH' })
local function errors() return vim.diagnostic.get(buf, { severity = vim.diagnostic.severity.ERROR }) end
check(vim.wait(5000, function() return #errors() > 0 end), 'an error is published for the edit')
local e = errors()[1] or {}
check(vim.startswith(e.message, 'constant `#NO_SUCH` is not defined\nERROR:- Definition for #NO_SUCH') and e.code == 'Q1002',
  'the message names the constant: ' .. tostring(e.message) .. ' ' .. tostring(e.code))
check(e.lnum == line and e.col == 12 and e.end_col == 20, 'the error covers #NO_SUCH')

-- Undone, the error goes: the diagnostics are cleared.
vim.api.nvim_buf_set_lines(buf, line, line + 1, false, {})
check(vim.wait(5000, function() return #errors() == 0 end), 'the error is cleared when the edit is undone')

local function request(method, row, col, extra)
  local params = { textDocument = { uri = vim.uri_from_bufnr(buf) }, position = { line = row, character = col } }
  for k, v in pairs(extra or {}) do params[k] = v end
  local answers = vim.lsp.buf_request_sync(buf, method, params, 5000) or {}
  for _, answer in pairs(answers) do return answer.result end
end

-- #MODE, in "#START  LMR #MODE": defined in COMMON.INC, line 10.
local row = vim.fn.search('LMR #MODE ') - 1
local def = request('textDocument/definition', row, 14)
check(def and vim.endswith(def.uri, '/COMMON.INC') and def.range.start.line == 9, 'definition of #MODE')
local hover = request('textDocument/hover', row, 14)
check(hover and hover.contents.value:find('0x0000000B', 1, true) ~= nil, 'hover shows the value of #MODE')
-- #BURST: its label and the JCB that jumps back to it, which pass 2 resolves.
row = vim.fn.search('JCB #BURST') - 1
local refs = request('textDocument/references', row, 14, { context = { includeDeclaration = true } })
check(refs and #refs == 2, 'references of #BURST: ' .. vim.inspect(refs))

vim.cmd((failures == 0 and 'qall!') or 'cquit!')
