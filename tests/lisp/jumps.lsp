; Non-local exits on both of their paths: jumps that pass only the
; evaluator's frames and those that cross built-ins with C++ state (MAPCAR,
; PRINC, a break loop); clean-up forms, dynamic bindings and the stacks come
; back the same either way.
(defun deep (n) (if (= n 0) (return-from top 'bottom) (deep (1- n))))
(block top (deep 100))
; the stacks are balanced: ten thousand exits from deep recursion, then more
(dotimes (i 10000) (block top (deep 20)))
(let ((n 0)) (dotimes (i 20000) (catch 'k (setq n (+ n 1)) (throw 'k n))) n)
(let ((n 0)) (dotimes (i 20000) (unless (errset (car i) nil) (setq n (1+ n)))) n)
(let ((n 0)) (dotimes (i 20000) (unless (errset (error "x" i) nil) (setq n (1+ n)))) n)
(block top (deep 100))
; GO out of LET frames: the bindings of the left frames are gone
(let ((r nil)) (prog ((i 0)) l (let ((j i)) (let ((k j)) (setq r (cons k r)) (setq i (1+ i)) (if (< i 3) (go l))))) r)
(prog ((i 0)) l (let ((j 5)) (setq i (1+ i)) (if (< i 3) (go l))) (return (list i (errset j nil))))
; unwind-protect in between: the clean-up runs, then the jump goes on
(catch 'k (unwind-protect (throw 'k 1) (princ "cleanup ")))
(let ((log nil)) (list (catch 'k (unwind-protect (unwind-protect (throw 'k 'v) (setq log (cons 'inner log))) (setq log (cons 'outer log)))) log))
(catch 'a (catch 'b (unwind-protect (throw 'b 1) (throw 'a 2))))
(block b (unwind-protect (return-from b 3) (princ "leaving ")))
(defun early (x) (unwind-protect (return-from early (* x 2)) (setq last-early x)))
(list (early 21) last-early)
(prog ((i 0)) l (unwind-protect (setq i (1+ i)) (if (< i 3) (go l))) (return i))
; an error in a clean-up form while a jump is pending replaces the jump
(errset (catch 'k (unwind-protect (throw 'k 1) (error "in cleanup" 'oops))))
(catch 'k (errset (unwind-protect (throw 'k 1) (car 'x)) nil))
; dynamic bindings come back
(setq z 'global)
(catch 'k (progv '(z) '(inner) (throw 'k z)))
z
(errset (progv '(z) '(inner) (progv '(z) '(innermost) (car z))) nil)
z
(block b (progv '(z) '(bound) (return-from b z)))
z
; nested catches with the same tag: the innermost takes the throw
(catch 'k (+ 10 (catch 'k (throw 'k 1))))
(catch 'k (catch 'k 1) (throw 'k 2))
(catch 'k (list (catch 'k (throw 'k 'in)) (throw 'k 'out)))
; errset inside loops, with and without a message
(let ((r nil)) (dolist (x '(1 (2) a (3 4))) (setq r (cons (errset (car x) nil) r))) r)
(dotimes (i 2) (errset (error "printed" i)))
(loop (if (errset (error "stop") nil) nil (return 'left)))
; jumps across built-ins that keep C++ state: MAPCAR, PRINC, APPLY of a closure
(catch 'k (mapcar #'(lambda (x) (if (= x 2) (throw 'k (list 'at x)) x)) '(1 2 3)))
(dotimes (i 1000) (catch 'k (mapcar #'(lambda (x) (throw 'k x)) '(1 2))))
(block b (mapc #'(lambda (x) (if (> x 1) (return-from b x))) '(1 2 3)))
(catch 'k (throw 'k (catch 'j (mapcar #'(lambda (x) (throw 'j 'inner)) '(1)))))
(errset (mapcar #'car '((1) 2)) nil)
(let ((n 0)) (dotimes (i 5000) (catch 'k (mapcar #'(lambda (x) (throw 'k x)) '(1))) (catch 'k (throw 'k i)) (setq n (1+ n))) n)
(block top (deep 100))
; a break during a pending jump: the break loop's own exits, and CONTINUE
; lets the jump go on
(setq *breakenable* t)
(catch 'k (unwind-protect (throw 'k 'done) (break "in cleanup")))
(continue)
(catch 'k (unwind-protect (throw 'k 'done) (car 'x)))
(continue)
(clean-up)
(catch 'outer (car 'y))
(throw 'outer 'from-break)
(catch 'outer (progv '(z) '(in-break) (car 'y)))
z
(throw 'outer z)
z
(block b (car 'w))
(return-from b 'returned)
(setq *breakenable* nil)
(block top (deep 100))
