; A budget of 8 GB (-xM8000000000): forty colour images of 4096 x 4096 fit
(frames '(0 0 4096 4096))
(setq keep nil)
(dotimes (i 40) (setq keep (cons (colset #x010203) keep)))
(length keep)
(info (car keep))
(info (display (car (last keep))))
; the largest frames of every type, re-framed against an offset frame
(progn (setq g (greyset 200)) (setq b (binset 1)) (info g))
(frames '(4000 4000 4096 4096))
(info (ex2 g))
(info (display (greyset 1) :red b :green (binset 0)))
(freeall)
(frames '(0 0 256 256))
(progn (setq keep nil) (imap (greyset 0)))

