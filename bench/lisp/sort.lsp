; SORT and DSORT of 100,000 random fixnums, then DSORT of the sorted list.
(setq l nil)
(dotimes (i 100000) (setq l (cons (random 1000000) l)))
(length l)
(time '(setq s (sort l #'<)))
(time '(setq l (dsort l #'<)))
(time '(setq l (dsort l #'<)))
(equal s l)
