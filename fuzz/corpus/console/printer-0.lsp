; Printer: symbols with and without escapes, *PRINT-CASE*
(prin1 'abc)
(princ 'abc)
(setq *print-case* :downcase)
(prin1 'abc)
(princ 'abc)
'(a nil "S" #\B)
(princ nil)
(prin1 (intern "abc"))
(setq *print-case* :upcase)
(intern "abc")
(intern "12")
(intern "-1.5E3")
(intern "1+")
(intern ".A")
(intern "#A")
(intern "a|b")
(intern "A\\B")
(intern "A B")
(intern "A(B")
(intern "(x")
(make-symbol "foo")
:key
; strings with escapes read back as the same bytes
"a\"b"
(princ "a\"b")
"back\\slash"
"tab\there\nnew\rret\fff"
"\007bell\001"
(princ "x\ty")
(defun printed (x) (let ((s (make-string-output-stream))) (prin1 x s) (get-output-stream-string s)))
(defun roundtrip (x) (equal (read (make-string-input-stream (printed x))) x))
(roundtrip "q\"uo\\te\001\n\t\r\f\037end")
(roundtrip '("a\"" (b . "\"c") "\\"))
(printed "a\"b")
(length (printed "a\"b"))
; characters
#\A
(princ #\A)
#\Space
(princ #\space)
#\Newline
; numbers and their formats
255
-17
1.5
1.0
-0.25
1.5E10
(setq *integer-format* "%x")
255
(setq *integer-format* "%5d|")
42
(setq *integer-format* "#x%04lX")
255
(setq *integer-format* "%o%%")
8
(setq *integer-format* "%s")
255
(setq *integer-format* "%d%d")
255
(setq *integer-format* "%n")
255
(setq *integer-format* "%*d")
255
(setq *integer-format* "%12345d")
255
(setq *integer-format* "%f")
255
(setq *integer-format* "no conversion")
255
(setq *integer-format* 'bad)
255
(setq *integer-format* "%d")
(setq *float-format* "%.3f")
1.5
(setq *float-format* "%10.2e|")
1.5
(setq *float-format* "%d")
1.5
(setq *float-format* "%s")
1.5
(setq *float-format* "%Lf")
1.5
(setq *float-format* nil)
1.5
(setq *float-format* "%g")
; lists and vectors
'(a . b)
'(a b . c)
'(a (b (c)) #(1 2) . #(3))
'((nil))
#()
'(quote x)
(princ '("a" #\b (c "d")))
; built-ins, closures and other atoms
#'car
#'quote
(cdr (aref *readtable* 40))
(cdr (aref *readtable* 35))
(defun sq (x) (* x x))
#'sq
(lambda (x) x)
(make-string-output-stream)
(progn (setq f (open "p.tmp" :direction :output)) (prin1 f))
(close f)
(send object :new)
; message handlers of the object system print with their class and message
(send object :show)
; flat sizes
(flatsize "ab")
(flatc "ab")
(flatsize '(a "b" #\c))
(flatsize (intern "abc"))
; printing stops at the nesting limit
(defun nest (n) (let ((x nil)) (dotimes (i n) (setq x (list x))) x))
(flatsize (nest 10000))
(flatsize (nest 10001))
(prin1 (nest 10001) (make-string-output-stream))
(defun vnest (n) (let ((x nil)) (dotimes (i n) (setq x (vector x))) x))
(flatsize (vnest 10000))
(flatsize (vnest 10001))
'(printing still works)

