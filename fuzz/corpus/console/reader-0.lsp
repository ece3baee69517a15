; Reader: symbols, case and escapes
'abc
'Abc
'|abc|
'\abc
'a#b
'|a b|\c
'(nil NIL |NIL|)
'|.|
; numbers
12
(type-of 12)
12.5
1.5E3
1.5e3
-.5
.5
-2E3
(type-of -2E3)
1.
(type-of 1.)
1e
(type-of 1e)
+7
'1+
(type-of '1+)
'-
'+
'|12|
'\.a
2147483648
4294967297
-4294967297
1E39
-1E39
1E-50
1E400
; radix integers
#x1F
#X1f
#o17
#b101
#xffffffff
#b102
#o 
#x100000001
; characters
#\a
#\A
#\space
#\Newline
#\(
#\;
#\tab
#\ab
; strings
"a\tb\101"
(length "a\tb\101")
"x\"y\\z"
"\q\n\r\f"
"\0101"
(length "\0101")
"\7"
"\08"
""
; lists and dotted pairs
'(a . b)
'(a b . c)
'(a .b)
'(a b ;comment
  c)
'((a) (b c) ())
'()
'(. b)
'(a . b c)
'(a . )
; vectors
#(1 (2) "x")
(length #(1 (2) "x"))
#(a . b)
(length #(a . b))
#()
#((1 2) #(3))
; quote-like macros
''a
'`(a ,b ,@c)
'#'car
'#:foo
(eq '#:foo '#:foo)
(symbol-name '#:foo)
; comments
#| outer #| inner |# still comment |# 'after
'x ; trailing comment
'(a #| inside |# b)
; several expressions on one line
1 2 'c
; errors, each ends its line
) 'lost
#q
#S x
; reading from string streams
(read (make-string-input-stream "(a b"))
(read (make-string-input-stream "\"abc"))
(read (make-string-input-stream "'"))
(read (make-string-input-stream "#"))
(read (make-string-input-stream "|ab"))
(read (make-string-input-stream "ab\\"))
(read (make-string-input-stream "||"))
(read (make-string-input-stream "#|never closed"))
(read (make-string-input-stream "") 'eof)
(read (make-string-input-stream "\001"))
(read (make-string-input-stream "a\001"))
(read (make-string-input-stream "(a . b"))
(read (make-string-input-stream "(a ."))
(progn (setq s (make-string-input-stream "'a  b")) t)
(read s)
(read-char s)
(read s)
(read s)
; a token of 300 letters keeps its first 255
(length (symbol-name (read (make-string-input-stream "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"))))
; the read table can be changed between two characters
(progn (setf (aref *readtable* 91) (cons :tmacro (lambda (s c) (list 'bracket)))) t)
(read (make-string-input-stream "(a[b)"))
(setf (aref *readtable* 91) :constituent)
(read (make-string-input-stream "(a[b)"))
(progn (setf (aref *readtable* 33) (cons :tmacro (lambda (s c) (read-char s) nil))) t)
(read (make-string-input-stream "(!x y)"))
(setf (aref *readtable* 33) :constituent)
(setf (aref *readtable* 126) nil)
(read (make-string-input-stream "~b"))
(setf (aref *readtable* 126) :constituent)
; the built-in macro functions are ordinary built-ins
(funcall (cdr (aref *readtable* 40)) (make-string-input-stream "a b)") #\()
(funcall (cdr (aref *readtable* 39)) (make-string-input-stream "x") #\')
(funcall (cdr (aref *readtable* 59)) (make-string-input-stream "x") #\;)
(funcall (cdr (aref *readtable* 40)))
(funcall (cdr (aref *readtable* 40)) 1 #\()
(funcall (cdr (aref *readtable* 40)) nil 1)
(funcall (cdr (aref *readtable* 41)) nil #\) 3)
; nesting depth
(defun nest (n) (let ((s (make-string-output-stream))) (dotimes (i n) (write-char #\( s)) (dotimes (i n) (write-char #\) s)) (get-output-stream-string s)))
(defun depth (x) (do ((x x (car x)) (n 0 (1+ n))) ((atom x) n)))
(depth (read (make-string-input-stream (nest 10000))))
(read (make-string-input-stream (nest 10001)))
(defun quotes (n) (let ((s (make-string-output-stream))) (dotimes (i n) (write-char #\' s)) (write-char #\x s) (get-output-stream-string s)))
(length (read (make-string-input-stream (quotes 10000))))
(read (make-string-input-stream (quotes 10001)))
'(still reading)
(defstruct point x (y 0))
'#S(point x 5)
'#s(point)
'#S(point y)
'#S(point "y" 1)
#S(point x #S(point))
'after-errors

