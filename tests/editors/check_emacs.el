;;; check_emacs.el --- qvek-mode and qvek-lsp in Emacs, as a user sets them up  -*- lexical-binding: t; -*-
;;
;;   emacs --batch -l check_emacs.el EDITOR_DIR QVEK_LSP EXAMPLES_DIR SAMPLE EXPECTED
;;
;; Highlights the sample and checks each expected token's class; opens a copy
;; of the example with a jump to an undefined label, starts eglot, and checks
;; that the diagnostic arrives on its line and that hover answers.  Exits 77
;; when eglot is not installed.

(require 'package)
(package-initialize)
(unless (require 'eglot nil t)
  (message "eglot is not installed (Debian: elpa-eglot)")
  (kill-emacs 77))

(defvar check-args (mapcar #'expand-file-name command-line-args-left))
(setq command-line-args-left nil)
(defvar check-editor (nth 0 check-args))
(defvar check-server (nth 1 check-args))
(defvar check-examples (nth 2 check-args))
(defvar check-sample (nth 3 check-args))
(defvar check-expected (nth 4 check-args))
(defvar check-failures 0)

(defun check-fail (format &rest args)
  (setq check-failures (1+ check-failures))
  (message "FAIL: %s" (apply #'format format args)))

(add-to-list 'load-path check-editor)
(require 'qvek-mode)
(setq qvek-lsp-program check-server)

;; The class of each highlighting face, as tests/editors/sample.expected names them.
(defconst check-classes
  '((font-lock-comment-face . "comment") (font-lock-comment-delimiter-face . "comment")
    (font-lock-function-name-face . "label") (font-lock-variable-name-face . "name")
    (font-lock-keyword-face . "keyword") (font-lock-builtin-face . "keyword")
    (font-lock-preprocessor-face . "keyword") (font-lock-type-face . "segment")
    (font-lock-string-face . "file") (font-lock-constant-face . "number")))

(defun check-class-at (pos)
  (let ((face (get-text-property pos 'face)))
    (if face (or (cdr (assq (if (consp face) (car face) face) check-classes)) (format "%s" face)) "none")))

;; Highlighting: every character of each expected token has its class.
(let ((work (make-temp-file "qvek-sample" t)))
  (copy-file check-sample (expand-file-name "sample.qvs" work))
  (with-current-buffer (find-file-noselect (expand-file-name "sample.qvs" work))
    (unless (eq major-mode 'qvek-mode) (check-fail "sample.qvs opens in %s" major-mode))
    (font-lock-ensure)
    (let ((from (make-hash-table)))
      (dolist (entry (with-temp-buffer
                       (insert-file-contents check-expected)
                       (split-string (buffer-string) "\n" t)))
        (unless (string-prefix-p "#" entry)
          (pcase-let ((`(,line ,token ,class) (split-string entry "|")))
            (let ((line (string-to-number line)))
              (goto-char (point-min))
              (forward-line (1- line))
              (let ((end (line-end-position)))
                (goto-char (max (point) (gethash line from 0)))
                (if (not (search-forward token end t))
                    (check-fail "line %d: token %s not found" line token)
                  (puthash line (point) from)
                  (let ((bad (seq-find (lambda (pos) (not (equal (check-class-at pos) class)))
                                       (number-sequence (- (point) (length token)) (1- (point))))))
                    (when bad
                      (check-fail "line %d: %s has %s at column %d, expected %s" line token
                                  (check-class-at bad) (- bad (line-beginning-position)) class))))))))))
    (kill-buffer)))

;; The language server through eglot, on the example with a mistake.
(let* ((work (file-name-as-directory (make-temp-file "qvek-example" t)))
       (main (expand-file-name "main.qvs" work))
       (mistake-line 25))
  (dolist (file (directory-files check-examples t "\\.\\(qvs\\|INC\\)\\'"))
    (copy-file file work))
  (with-temp-buffer
    (insert-file-contents main)
    (goto-char (point-min))
    (forward-line (1- mistake-line))
    (insert "        JMP #NOWHERE\n")
    (write-region nil nil main))
  (let ((default-directory work)
        (buffer (find-file-noselect main)))
    (with-current-buffer buffer
      (unless (eq major-mode 'qvek-mode) (check-fail "main.qvs opens in %s" major-mode))
      (with-current-buffer (find-file-noselect (expand-file-name "ROUTINES.INC" work))
        (unless (eq major-mode 'qvek-mode) (check-fail "ROUTINES.INC, named by main.qvs, opens in %s" major-mode)))
      (apply #'eglot (eglot--guess-contact))
      (let ((deadline (+ (float-time) 30)))
        (while (and (not (eglot-current-server)) (< (float-time) deadline))
          (accept-process-output nil 0.1))
        (if (not (eglot-current-server))
            (check-fail "eglot did not connect to %s" check-server)
          (flymake-start)
          (while (and (null (flymake-diagnostics)) (< (float-time) deadline))
            (accept-process-output nil 0.1))
          (let ((lines (mapcar (lambda (d) (line-number-at-pos (flymake-diagnostic-beg d)))
                               (flymake-diagnostics))))
            (unless (member mistake-line lines)
              (check-fail "no diagnostic on line %d; on lines %S" mistake-line lines)))
          (goto-char (point-min))
          (search-forward "#REPEATS")
          (backward-char 2)
          (let* ((hover (jsonrpc-request (eglot-current-server) :textDocument/hover
                                         (eglot--TextDocumentPositionParams)))
                 (contents (and hover (plist-get hover :contents)))
                 (text (cond ((stringp contents) contents)
                             ((plist-get contents :value))
                             (t (format "%S" contents)))))
            (unless (and text (string-match-p "REPEATS" text))
              (check-fail "hover on #REPEATS answers %S" hover)))
          (eglot-shutdown (eglot-current-server)))))))

(message "%s" (if (zerop check-failures) "check_emacs: highlighting, include files, diagnostics and hover hold"
                (format "check_emacs: %d failures" check-failures)))
(kill-emacs (if (zerop check-failures) 0 1))
