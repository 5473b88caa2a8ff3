// A Node.js client of qvek-lsp, built on the protocol package editors use, for
// what Neovim 0.7's client cannot ask: semantic tokens and inlay hints, on the
// example. Exits 0 when every check holds.
//
//   node client.mjs QVEK_LSP EXAMPLES_FOLDER
import { spawn } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { pathToFileURL } from 'node:url';
import {
  createProtocolConnection, StreamMessageReader, StreamMessageWriter, InitializeRequest,
  InitializedNotification, DidOpenTextDocumentNotification, SemanticTokensRequest, InlayHintRequest,
  ShutdownRequest, ExitNotification,
} from 'vscode-languageserver-protocol/node.js';

const [server, folder] = process.argv.slice(2);
const child = spawn(server, ['--root', folder], { stdio: ['pipe', 'pipe', 'inherit'] });
const connection = createProtocolConnection(new StreamMessageReader(child.stdout), new StreamMessageWriter(child.stdin));
connection.listen();

let failures = 0;
const check = (ok, what) => { if (!ok) { failures++; console.error(`FAILED: ${what}`); } };

const init = await connection.sendRequest(InitializeRequest.type,
  { processId: process.pid, rootUri: pathToFileURL(folder).href, capabilities: {} });
const legend = init.capabilities.semanticTokensProvider.legend;
await connection.sendNotification(InitializedNotification.type, {});

const uri = pathToFileURL(`${folder}/main.qvs`).href;
const text = readFileSync(`${folder}/main.qvs`, 'utf8');
const lines = text.split('\n');
await connection.sendNotification(DidOpenTextDocumentNotification.type,
  { textDocument: { uri, languageId: 'qvek', version: 1, text } });

// Semantic tokens, decoded: every token's text and type.
const tokens = await connection.sendRequest(SemanticTokensRequest.type, { textDocument: { uri } });
const decoded = [];
for (let i = 0, line = 0, start = 0; i < tokens.data.length; i += 5) {
  const [dLine, dStart, length, type, modifiers] = tokens.data.slice(i, i + 5);
  line += dLine;
  start = dLine === 0 ? start + dStart : dStart;
  const mods = legend.tokenModifiers.filter((_, bit) => modifiers & (1 << bit));
  decoded.push({ text: lines[line].slice(start, start + length), line, type: legend.tokenTypes[type], mods });
}
const typeOf = (text) => decoded.find((t) => t.text === text);
check(typeOf('LMR')?.type === 'keyword', 'LMR is a statement word');
check(typeOf('INC')?.type === 'macro' && typeOf('ORG')?.type === 'macro', 'INC and ORG are directives');
check(typeOf('#START')?.type === 'function' && typeOf('#START').mods.includes('declaration'), '#START is a label definition');
check(typeOf('#MODE')?.type === 'variable' && typeOf('#MODE').mods.includes('readonly'), '#MODE is a constant');
check(typeOf('#RAMP_START')?.type === 'property', '#RAMP_START is a pattern label');
check(typeOf('0')?.type === 'number', 'the 0 of ORG PGM 0 is a number');
check(typeOf('COMMON.INC')?.type === 'string', 'an INC operand is a file name');
check(decoded.filter((t) => t.type === 'comment').length === lines.filter((l) => l.includes('*')).length,
  'every comment is coloured');
// Tokens are sorted and never overlap.
check(decoded.every((t, i) => i === 0 || t.line > decoded[i - 1].line ||
  t.line === decoded[i - 1].line && lines[t.line].indexOf(t.text) >= 0), 'tokens in order');

// Inlay hints: the nibble address of each statement in program memory, none elsewhere.
const hints = await connection.sendRequest(InlayHintRequest.type,
  { textDocument: { uri }, range: { start: { line: 0, character: 0 }, end: { line: lines.length, character: 0 } } });
const hintAt = (needle) => hints.find((h) => lines[h.position.line].includes(needle))?.label;
check(hintAt('#START  LMR') === '0x000:', `LMR at 0x000: ${hintAt('#START  LMR')}`);
check(hintAt('LSR #STATUS_CLEAR') === '0x002:', 'LSR after the two nibbles of LMR');
check(hintAt('JMP #START') === '0x027:', 'JMP at 0x027');
check(hintAt('INC COMMON.INC') === undefined && hintAt('ORG PGM') === undefined, 'no hint on directives');

await connection.sendRequest(ShutdownRequest.type);
await connection.sendNotification(ExitNotification.type);
const status = await new Promise((resolve) => child.on('exit', resolve));
check(status === 0, `exit status 0 after shutdown and exit, not ${status}`);
process.exit(failures === 0 ? 0 : 1);
