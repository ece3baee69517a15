; Image memory reused (budget 100 MB, -xM100000000): loops that drop their
; results run on recycled blocks and compute the same pixels as fresh ones;
; the budget still counts live images only.
(defun rows (img) (let* ((f (info img)) (x0 (car f)) (y0 (cadr f)) (res nil)) (dotimes (y (cadddr f)) (let ((row nil)) (dotimes (x (caddr f)) (setq row (cons (rpix img (list (+ x0 x) (+ y0 y))) row))) (setq res (cons (reverse row) res)))) (reverse res)))
(frames '(0 0 5 4))
(progn (setq g (greyset 0)) (wpix g '(1 1) 90) (wpix g '(3 2) 40) (wpix g '(0 3) 250) nil)
(setq want (rows (supnbh g 511)))
(setq wantc (rows (add g g)))
; many more results than the store has handles, all dropped
(dotimes (i 600) (setq r (supnbh g 511)) (setq s (add g g)) (setq c (colset i)))
(equal (rows r) want)
(equal (rows s) wantc)
(rows c)
; large images: 300 dropped results of 1 MB pass through a 100 MB budget
(frames '(0 0 1024 1024))
(setq big (greyset 3))
(dotimes (i 300) (setq r (infnbh big 511)))
(histogram r)
; kept results fill the budget: beside BIG, 93 images of 1 MB fit in 100 MB
(setq keep nil)
(setq r nil)
(gc)
(dotimes (i 200) (setq keep (cons (greyset i) keep)))
(length keep)
(setq keep nil)
(gc)
(progn (setq keep2 nil) (dotimes (i 94) (setq keep2 (cons (copy big) keep2))) (length keep2))

