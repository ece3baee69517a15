; LOAD: write a file, load it with and without the "; loading" line
(defun writefile (name forms) (let ((f (open name :direction :output))) (dolist (x forms) (print x f)) (close f) name))
(writefile "t1.lsp" '((setq loaded-x 42) (defun sq (n) (* n n))))
(load "t1")
loaded-x
(sq 5)
(load "t1" :verbose nil)
(load '|t1.lsp| :verbose nil)
(load "t1" :print t)
(load "t1.lsp" :verbose nil :print t)
; a missing file gives NIL without a message
(load "nosuch")
(load "nosuch.lsp" :verbose nil)
; a name with an extension is kept as it is
(writefile "t3.dat" '((setq dat-ok 'yes)))
(load "t3.dat")
dat-ok
(load "t3" :verbose nil)
; strings written by PRINT read back intact
(writefile "t4.lsp" '((setq s1 "say \"hi\"\\") (setq s2 "tab\tnl\nq\"")))
(load "t4" :verbose nil)
(list s1 (length s1) s2 (length s2))
; an error ends the load with its message
(writefile "t2.lsp" '((setq a 1) (car 'x) (setq a 2)))
(load "t2")
a
(defun writetext (name text) (let ((f (open name :direction :output))) (princ text f) (close f) name))
(writetext "t5.lsp" "(setq b 1) ) (setq b 2)")
(load "t5")
b
(writetext "t6.lsp" "(setq c 1) (list 1 2")
(load "t6" :verbose nil)
(writetext "t7.lsp" "(setq d 1) #| never closed (setq d 2)")
(load "t7" :verbose nil)
d
; binary junk
(defun writebytes (name bytes) (let ((f (open name :direction :output :mode :binary))) (dolist (b bytes) (write-byte b f)) (close f) name))
(writebytes "t8.lsp" '(40 113 117 111 116 101 32 200 1 0 255 41))
(load "t8" :verbose nil)
(writebytes "t9.lsp" '(0 0 0))
(load "t9" :verbose nil)
; nesting 100,000 deep in a file ends in a clear error
(defun writeparens (name n) (let ((f (open name :direction :output))) (dotimes (i n) (write-char #\( f)) (close f) name))
(writeparens "t10.lsp" 100000)
(load "t10")
'(still loading)
; leaving a load by THROW closes its file each time
(writetext "t11.lsp" "(throw 'out 7)")
(catch 'out (load "t11" :verbose nil))
(dotimes (i 21000) (catch 'out (load "t11" :verbose nil)))
(load "t1" :verbose nil)
; an error names the file and the line where the failing form starts
(writetext "t12.lsp" "; header comment
(setq e1 \"a string
over two lines\")

#| a block
comment |#
(progn
  (setq e2 'ok)
  (car 'y))
(setq e3 'never)")
(load "t12" :verbose nil)
(list e1 e2 (boundp 'e3))
; a form that never ends is named by its first line
(writetext "t13.lsp" "(setq f1 1)
(list 1
  2")
(load "t13" :verbose nil)
; errors in a nested load name the inner file; the outer one goes on and names its own lines
(writetext "t14.lsp" "(setq g1 (load \"t2\" :verbose nil))
(setq g2 'after)
(+ 1 'x)")
(load "t14" :verbose nil)
(list g1 g2)
; an error caught by ERRSET in a file is named too; the load goes on
(writetext "t15.lsp" "
(setq h1 (errset (car 'z)))
(setq h2 'done)")
(load "t15" :verbose nil)
(list h1 h2)
; once the load is over, errors are not placed in it
(car 'w)
; the forms typed into a break loop entered from a file are not the file's
(writetext "t16.lsp" "(setq *breakenable* t)
(car 'v)
(setq i1 'continued)")
(load "t16" :verbose nil)
(car 'u)
(setq *breakenable* nil)
(top-level)

