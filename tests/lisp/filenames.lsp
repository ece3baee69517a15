; a file name with a NUL byte would reach the system cut short at the NUL:
; every function that names a file or module refuses it, opening,
; creating and loading nothing
(defun writefile (name forms) (let ((f (open name :direction :output))) (dolist (x forms) (print x f)) (close f) name))
(defun exists (name) (let ((f (open name))) (if f (progn (close f) t) nil)))
(writefile "x.lsp" '((setq loaded 'yes)))
(setq loaded 'no)
; LOAD
(load "x.lsp\000y")
(load "x\000")
loaded
; OPEN for reading and for writing, text and binary
(open "x.lsp\000y")
(open "x.lsp\000y" :mode :binary)
(open "new\000x" :direction :output)
(exists "new")
; DRIBBLE: the name is checked before the transcript changes
(dribble "t\000x")
(exists "t")
; CODE: either name
(code "x.lsp\000y" "out" 1)
(code "x.lsp" "out\000y" 1)
(exists "out")
; the image files and modules
(frames '(0 0 4 4))
(imasave (greyset 1) "g\000x.ima")
(exists "g")
(imaload "x.lsp\000y")
(imaload "x.lsp" "pgm\000x")
(caminit "simcam\000x")
; the same names without the NUL work
(load "x.lsp" :verbose nil)
loaded
(code "x.lsp" "out" 1)
(exists "out")
(dribble "t")
(dribble)
(exists "t")
