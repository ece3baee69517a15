; Cost of non-local exits in tight loops: 1,000,000 iterations each.
; A GO to a label of the same tag body (the common PROG loop), a GO that has
; to unwind out of a nested LET, a RETURN out of a LOOP per call, a
; RETURN-FROM out of a BLOCK per call, a THROW to a CATCH per iteration and
; an error caught by ERRSET per iteration.
(time '(prog ((i 0)) l (setq i (1+ i)) (if (< i 1000000) (go l))))
(time '(prog ((i 0)) l (setq i (1+ i)) (let ((j i)) (if (< j 1000000) (go l)))))
(defun ret (x) (loop (return x)))
(time '(dotimes (i 1000000) (ret i)))
(defun retfrom (x) (block b (return-from b x)))
(time '(dotimes (i 1000000) (retfrom i)))
(time '(dotimes (i 1000000) (catch 'k (throw 'k i))))
(time '(dotimes (i 1000000) (errset (error "x") nil)))
