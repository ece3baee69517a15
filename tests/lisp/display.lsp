; DISPLAY: the image itself is returned; overlays are BIN values after a
; keyword; other pairs are skipped, a single trailing argument ignored
(frames '(0 0 100 100))
(setq s (greyset 10))
(eq s (display s))
(eq s (display s :red (binset 1) :nothing 3 :green (binset 0) :blue))
(display)
(display 5)
(display s :red 5)
(display s :magenta (greyset 1))
(mframe '(5 5 10 10))
(display s :bin 'x)
(list (iframe) (mframe))
; overlays of another geometry are re-framed to the displayed image
(progn (setq o (binset 1)) (setorg o '(50 50)) (eq s (display s :yellow o)))
(list (iframe) (mframe))
; DISPLUT
(displut)
(displut 5)
(displut nil)
(displut '((0 . #xFF0000)))
(displut '((0 . #xFF0000) (255 . 0) (17 . #xFFFFFF)))
(displut '((256 . 0)))
(displut '((-1 . 0)))
(displut '((0 . -1)))
(displut '((0 . 16777216)))
(displut '(5))
(displut '((1 . a)))
(displut '((0 . 0)) 1)
; GET-POINT: clicks until button 1 or 2
(get-point s)
3 5 5
0 1 1
this is no click
1 7 8
(get-point s)
2 -3 400
(get-point)
(get-point 5)
(get-point s s)
; GET-LINE: the first proposal on 512 x 512 and on 100 x 100
(frames '(0 0 512 512))
(progn (setq g (greyset 10)) (imap g))
(get-line g)
2 0 0
(frames '(0 0 100 100))
(get-line s)
2 0 0
; button 1 moves the first end, button 3 the second, others nothing;
; the ends are clamped into the image
(get-line s)
1 20 30
3 40 50
5 0 0
3 200 -7
2 1 1
; on an image of its own geometry; the frames come back afterwards
(progn (setorg s '(50 60)) (mframe '(5 5 10 10)) (list (iframe) (mframe)))
(get-line s)
2 0 0
(get-line s)
1 149 159
2 0 0
(list (iframe) (mframe))
(get-line)
(get-line 5)
(get-line s 1)
; GET-RECT: the first proposal on 100 x 100; an opposite corner left of or
; above the corner spans from it to the corner; sizes are clamped to the
; image, and so are clicks outside it, however far
(setorg s '(0 0))
(get-rect s)
2 0 0
(get-rect s)
3 2 2
2 0 0
(get-rect s)
1 50 60
3 20 70
2 0 0
(get-rect s)
1 5 5
3 99999999999 -99999999999
2 0 0
(get-point s)
1 99999999999 -99999999999
(get-rect s)
1 95 90
3 120 120
2 0 0
(get-rect s)
1 3 4
3 30 20
4 1 1
2 0 0
(list (iframe) (mframe))
(get-rect)
(get-rect "s")
(get-rect s nil)
; no room for the overlay: the frames are restored all the same (the
; displayed 100 x 100 image and the big one leave 21596 bytes)
(progn (setq g nil o nil) (frames '(0 0 3998 3990)) (setq big (greyset 0)) (imap big))
(mframe '(1 2 3 4))
(get-line big)
(get-rect big)
(list (iframe) (mframe))
(progn (setq big nil s nil) (frames '(0 0 256 256)))
; thin frames: one pixel, one column, one row, binary widths that are not
; a multiple of 8, re-framed into each other and shown with overlays
(frames '(0 0 1 1))
(mapcar #'info (list (greyset 1) (binset 1) (colset 1) (ex2 (greyset 1))))
(progn (frames '(3 0 1 4096)) (setq a (greyset 9) b (binset 1) c (colset 9)) (info a))
(progn (frames '(0 5 4096 1)) (info (display (ex2 a) :red b :green (progn (frames '(2 2 13 9)) (binset 1)))))
(iframe)
(get-point c)
1 0 0
(list (info (display b :cyan (binset 1))) (info (display c :white b)))
(get-rect b)
2 0 0
(get-line c)
2 0 0
(frames '(1 1 9 17))
(info (ex2 a))
(frames '(0 0 256 256))
