; *OBARRAY* holds the symbol table: a vector of 199 buckets, each a list of
; symbols. The reader trusts nothing else: any other value is replaced by
; the last sound table and reported, and the session goes on with every
; symbol it had
(setq keep 42)
(progn (setq *obarray* 5) t)
'abc
(list keep (car '(1 2)))
(progn (setq *obarray* "obarray") t)
'abc
(progn (setq *obarray* nil) t)
'abc
(progn (setq *obarray* (make-array 3)) t)
'abc
(progn (setq *obarray* (make-array 198)) t)
'abc
(list keep (length *obarray*) (car '(1 2)))
;
; a bad cell in a bucket: the bucket is rebuilt from the symbols before the
; bad cell and those that exist from the start. AHA and AIE share bucket 0,
; CDR and AIF bucket 1.
(setq aha 1 aie 2)
(setf (aref *obarray* 0) (cons 'aha 5))
aha
aie
(list aha 'aie (boundp 'aie))
(progn (setf (aref *obarray* 1) (list 5)) t)
(cdr '(1 2))
(cdr '(1 2))
; a circular bucket
(let ((l (list 'cdr))) (setf (aref *obarray* 1) (rplacd l l)) t)
'aif
(list (cdr '(5 6)) 'aif)
;
; every bucket wrecked, then a collection: the symbols the interpreter
; itself holds (the console streams among them) survive it
(progn (dotimes (i 199) (setf (aref *obarray* i) (list 5))) (gc) (print 'wrecked) 7)
(car '(1 2))
(car '(1 2))
(length '(1 2 3))
(length '(1 2 3))

