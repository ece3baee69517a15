; Circular and very large structures: walks that can end do, those that
; cannot fail cleanly instead of taking all memory (Ctrl-C stops the
; endless ones; see tests/cli/test-break-walks.sh)
(progn (setq a (list 1 2 3) b (list 1 2 3)) (rplacd (cddr a) a) (rplacd (cddr b) b) t)
(progn (setq c (list 1 2 4)) (rplacd (cddr c) c) t)
(progn (setq d (list '(1) '(2))) (rplacd (cdr d) d) (setq e (list '(1) '(2))) (rplacd (cdr e) e) t)
; a difference ends the comparison; equal cycles of lists exhaust memory
(list (equal a c) (equal a '(1 2 3)) (equal '(1 2 3 1 2 3) a) (equal d '((1) (2) (1) (3))))
(equal d e)
(equal (list 0 d) (list 0 e))
; printing into a string stream stops at the limit of string space
(let ((s (make-string-output-stream))) (prin1 a s))
(format nil "~a" a)
(format nil "~s" d)
(let ((s (make-string-output-stream))) (princ "fine" s) (get-output-stream-string s))
; a structure of 2^40 leaves shared in a tree 40 levels deep
(progn (setq x (list 1)) (dotimes (i 40) (setq x (list x x))) t)
(format nil "~s" x)
(equal x x)
; large output that fits is whole
(progn (setq big nil) (dotimes (i 200000) (setq big (cons i big))) t)
(length (format nil "~s" big))
(flatsize big)
(length (format nil "~a~a" big big))
(let ((s (make-string-output-stream))) (prin1 big s) (prin1 big s) (length (get-output-stream-string s)))
(list (equal big (reverse (reverse big))) (gc) 'after)

