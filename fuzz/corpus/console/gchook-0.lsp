; *GC-HOOK* receives the node total and the free count after a collection
(setq calls 0 args nil)
(setq *gc-hook* #'(lambda (a b) (setq calls (1+ calls) args (list a b))))
(progn (gc) (list (> calls 0) (integerp (car args)) (integerp (cadr args)) (<= 0 (cadr args) (car args))))
; a collection inside the hook calls nothing more
(setq *gc-hook* #'(lambda (a b) (setq calls (1+ calls)) (gc)))
(progn (setq calls 0) (gc) calls)
;
; the hook runs once the built-in whose allocation collected has returned,
; never in the middle of it: what the hook changes (the frames, the image
; store, the camera module) cannot pull the ground from under a half-done
; operator
(frames '(0 0 64 64))
(imasave (greyset 9) "g.ima")
(imasave (greyset 9) "g.pgm" "pgm")
(defun count-calls (fn) (setq calls 0 *gc-hook* #'(lambda (a b) (setq calls (1+ calls)) (funcall fn))))
(defun called () (setq *gc-hook* nil) (> calls 0))
; the frames shrink while images are loaded: natively and through pgm
(count-calls #'(lambda () (frames '(0 0 1 1))))
(dotimes (i 3000) (imaload "g.ima"))
(called)
(count-calls #'(lambda () (frames '(0 0 1 1))))
(dotimes (i 3000) (imaload "g.pgm" "pgm"))
(called)
; ... while camera images are read
(caminit "simcam")
(count-calls #'(lambda () (frames '(0 0 1 1))))
(dotimes (i 3000) (camsnap 0) (camread))
(called)
; the camera module is released while images are read
(count-calls #'camfree)
(dotimes (i 3000) (caminit "simcam") (camsnap 0) (camread))
(called)
; every image is released, or another one loaded, while images are added
(frames '(0 0 64 64))
(count-calls #'(lambda () (freeall)))
(dotimes (i 3000) (errset (add (greyset 1) (greyset 2)) nil))
(called)
(count-calls #'(lambda () (imaload "g.ima")))
(dotimes (i 3000) (add (greyset 1) (greyset 2)))
(called)
(frames '(0 0 64 64))
(count-calls #'(lambda () (imaload "g.pgm" "pgm") (frames '(0 0 2 3))))
(dotimes (i 3000) (setq s (sum (imaload "g.ima"))))
(list (called) (if (member s '(54 36864)) t))
; the image operators stay sound
(frames '(0 0 64 64))
(list (sum (greyset 3)) (sum (imaload "g.ima")) (sum (add (greyset 1) (greyset 2))))

