; FORMAT to NIL returns the text as a string
(format nil "x=~a~%" 5)
(format nil "plain text")
(format nil "")
(format nil "~a|~s" "str" "str")
(format nil "~A|~S" #\c #\c)
(format nil "~a ~s" '(1 "x" #\y) '(1 "x" #\y))
(format nil "~~ and ~~~~")
(format nil "a~$b")
(format nil "~a~a~a" 1 2.5 'sym)
(format nil "~a" nil)
; a tilde before a newline skips the newline and the blanks after it
(format nil "one~
      two")
(format nil "one~
")
(format nil "a~

b")
(format nil "x~
   ~a" 7)
; arguments: too few is an error, extra ones are ignored
(format nil "~a ~a" 1)
(format nil "~s")
(format nil "~a" 1 2 3)
; bad directives
(format nil "abc~")
(format nil "ab~qcd")
(format nil "~d" 5)
(format nil "~")
; destinations: T is standard output, streams receive the text
(format t "hello ~a~%" 'world)
(format t "no newline")
(type-of (setq s (make-string-output-stream)))
(format s "~a-~s" 1 "2")
(format s "~%")
(get-output-stream-string s)
(streamp (setq f (open "fmt.txt" :direction :output)))
(format f "line ~s~%second ~a" "q" 'two)
(close f)
(streamp (setq f (open "fmt.txt")))
(read-line f)
(read-line f)
(read-line f)
(close f)
(format f "x")
(format 5 "x")
(format nil 5)
(format nil 'sym)
(format nil)
(format)
; a long result built while the collector runs
(length (format nil "~s" (let ((l nil)) (dotimes (i 1000) (setq l (cons i l))) l)))

