; Allocation and collection: 10,000,000 cells consed by REVERSE of a
; 1,000-element list, 10,000 times over.
(setq l nil)
(dotimes (i 1000) (setq l (cons i l)))
(time '(dotimes (i 10000) (reverse l)))
