;;; qvek-mode.el --- Major mode for qvek sequencer assembly  -*- lexical-binding: t; -*-

;; Copyright (c) 2026 The qvek developers
;; SPDX-License-Identifier: MIT

;;; Commentary:

;; Highlighting of qvek sources (.qvs) and of the include files a source
;; names, `*' comments, qvek's messages in compilation buffers, and the
;; language server qvek-lsp for eglot.  Put this folder on `load-path' and:
;;
;;   (require 'qvek-mode)
;;   (add-hook 'qvek-mode-hook #'eglot-ensure)   ; the language server, if wanted
;;
;; Include files end in .inc, as other assemblers' do: one opens in
;; qvek-mode only when an INC line of a .qvs source in its folder names it.

;;; Code:

(require 'compile)

;; The statement words, as the assembler's keyword table lists them (a test
;; compares these lists with it).
(defconst qvek-branch-words '("CAL" "JCB" "JMP" "RET"))
(defconst qvek-instruction-words
  '("NOP" "IPP" "DPP" "LPB" "LPE" "LMR" "LRB" "LDA" "LSR" "DMS" "DSC" "DUS" "LPP"))
(defconst qvek-directive-words '("DEF" "PAT" "ORG" "INC"))
(defconst qvek-operator-words '("NOT" "AND" "OR" "XOR"))

(defgroup qvek nil "qvek sequencer assembly." :group 'languages)

(defcustom qvek-lsp-program "qvek-lsp"
  "The language server eglot starts for qvek sources."
  :type 'string)

(defun qvek--words (words)
  "A regexp matching one of WORDS as a whole token."
  (concat "\\_<" (regexp-opt words t) "\\_>"))

(defconst qvek-font-lock-keywords
  `(;; A # name opening its line labels the statement's address.
    ("^[ \t]*\\(#\\(?:\\sw\\|\\s_\\)*\\)" 1 font-lock-function-name-face)
    ("#\\(?:\\sw\\|\\s_\\)*" . font-lock-variable-name-face)
    ("\\_<INC[ \t]+\\(\\(?:\\sw\\|\\s_\\)+\\)" 1 font-lock-string-face)
    ("\\_<ORG[ \t]+\\(PGM\\|PAT\\)\\_>" 1 font-lock-type-face)
    (,(qvek--words qvek-branch-words) 1 font-lock-keyword-face)
    (,(qvek--words qvek-instruction-words) 1 font-lock-builtin-face)
    (,(qvek--words qvek-directive-words) 1 font-lock-preprocessor-face)
    (,(qvek--words qvek-operator-words) 1 font-lock-keyword-face)
    ;; Leading zeros may stand before a base prefix: 0X1F is hexadecimal.
    ("\\_<\\(0*[HX][-+]?[0-9A-F]+\\|0*B[01]+\\|0*D[-+]?[0-9]+\\|[0-9]+\\)\\_>" 1 font-lock-constant-face))
  "Highlighting of qvek sources; the assembler upper-cases all text, so case is ignored.")

(defvar qvek-mode-syntax-table
  (let ((table (make-syntax-table)))
    ;; Tokens are separated by blanks alone: every other character belongs to
    ;; one, so a token's bounds are a symbol's.
    (dotimes (c 256)
      (unless (memq c '(?\s ?\t ?\n ?\r ?\f))
        (modify-syntax-entry c (if (or (<= ?0 c ?9) (<= ?A c ?Z) (<= ?a c ?z)) "w" "_") table)))
    ;; A `*' starts a comment anywhere, even inside a token.
    (modify-syntax-entry ?* "<" table)
    (modify-syntax-entry ?\n ">" table)
    table)
  "Syntax table of `qvek-mode'.")

;;;###autoload
(define-derived-mode qvek-mode prog-mode "qvek"
  "Major mode for qvek sequencer assembly sources and include files."
  (setq-local comment-start "* ")
  (setq-local comment-start-skip "\\*+[ \t]*")
  (setq-local comment-end "")
  (setq-local font-lock-defaults '(qvek-font-lock-keywords nil t)))

(defun qvek-names-include-p (file)
  "Whether an INC line of a .qvs source in FILE's folder names FILE."
  (let ((name (file-name-nondirectory file))  ; qvek opens the upper-cased word
        (case-fold-search nil))
    (seq-some
     (lambda (source)
       (with-temp-buffer
         (insert-file-contents source)
         (upcase-region (point-min) (point-max))
         (goto-char (point-min))
         (re-search-forward
          (concat "^[ \t]*\\(?:#[^ \t*\n]*[ \t]+\\)?INC[ \t]+" (regexp-quote name) "\\(?:[ \t*]\\|$\\)")
          nil t)))
     (directory-files (file-name-directory (expand-file-name file)) t "\\.[qQ][vV][sS]\\'"))))

(defun qvek--include-mode ()
  "Turns on `qvek-mode' in an include file a source beside it names."
  (when (and buffer-file-name (qvek-names-include-p buffer-file-name))
    (qvek-mode)))

;;;###autoload
(add-to-list 'auto-mode-alist '("\\.[qQ][vV][sS]\\'" . qvek-mode))
;;;###autoload
(add-hook 'find-file-hook #'qvek--include-mode)

;; qvek's messages name their line and file in several wordings: "on line 002
;; in file a.qvs", "line 002in file", "at LINE 002 in file", "of file", "Line
;; 002 in file a.qvs.", and "read file a.qvs after line 002".  A file name ends
;; at a blank, or before the dot that ends a sentence.
(defconst qvek-compilation-patterns
  '((qvek-line-in-file
     "^\\(?:\\(WARNING\\)\\|ERROR\\):-.*?\\b[Ll][Ii][Nn][Ee] \\([0-9]+\\) ?\\(?:in\\|of\\) file \\([^ \n]*[^ \n.]\\)\\.?\\(?: \\|$\\)"
     3 2 nil (1))
    (qvek-read-file
     "^\\(?:\\(WARNING\\)\\|ERROR\\):-.* read file \\([^ \n]+\\) after line \\([0-9]+\\)"
     2 3 nil (1))))

(dolist (pattern qvek-compilation-patterns)
  (setf (alist-get (car pattern) compilation-error-regexp-alist-alist) (cdr pattern))
  (add-to-list 'compilation-error-regexp-alist (car pattern)))

;; The language server for eglot: it opens INC names in the project's root.
(with-eval-after-load 'eglot
  (add-to-list 'eglot-server-programs
               (cons 'qvek-mode (lambda (&optional _interactive) (list qvek-lsp-program)))))

(provide 'qvek-mode)
;;; qvek-mode.el ends here
