// Starts qvek-lsp for qvek sources and include files and talks to it over its
// standard input and output, and gives include files the qvek language where
// the qvek.includeFiles setting says so; highlighting, comments and the
// build-task problem matcher are declared in package.json.
'use strict';
const vscode = require('vscode');
const { LanguageClient } = require('vscode-languageclient/node');
const { isQvekInclude } = require('./include-rule');

let client;

/// Starts the server the qvek.server.path setting names.
async function startServer() {
  const command = vscode.workspace.getConfiguration('qvek').get('server.path') || 'qvek-lsp';
  client = new LanguageClient('qvek', 'qvek language server', { command },
                              { documentSelector: [{ language: 'qvek' }] });
  try {
    await client.start();
  } catch (failure) {
    client = undefined;
    vscode.window.showErrorMessage(`qvek: could not start the language server "${command}" (${failure.message || failure}).` +
                                   ' Set qvek.server.path to the qvek-lsp program.');
  }
}

/// Stops the running server, if any.
async function stopServer() {
  const running = client;
  client = undefined;
  if (running) await running.stop();
}

/// Opens an include file as qvek when the setting's rule claims it.
function claimInclude(document) {
  if (document.uri.scheme !== 'file' || document.languageId === 'qvek') return;
  const setting = vscode.workspace.getConfiguration('qvek').get('includeFiles') || 'named';
  if (isQvekInclude(document.uri.fsPath, setting)) vscode.languages.setTextDocumentLanguage(document, 'qvek');
}

/// Called by the editor when the first qvek file opens, or a folder holding a source.
async function activate(context) {
  context.subscriptions.push(vscode.workspace.onDidOpenTextDocument(claimInclude));
  vscode.workspace.textDocuments.forEach(claimInclude);
  context.subscriptions.push(vscode.workspace.onDidChangeConfiguration(async (change) => {
    if (!change.affectsConfiguration('qvek.server.path')) return;
    await stopServer();
    await startServer();
  }));
  await startServer();
}

/// Called by the editor on shutdown.
function deactivate() {
  return stopServer();
}

module.exports = { activate, deactivate };
