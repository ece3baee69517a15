; Frames and coordinates at the ends of the integer range: a frame whose far
; corner (x + w or y + h) is not representable is refused, the frames stay
(frames '(0 0 16 16))
(frames '(2147483647 0 16 16))
(frames '(2147483632 0 16 16))
(frames '(0 2147483632 16 16))
(frames '(2147480000 0 5000 1))
(list (iframe) (mframe))
(iframe '(2147483647 0 1 1))
(iframe '(0 2147483647 -5 1))
(list (iframe) (mframe))
; the largest corner that fits: a 16 x 16 image measures whole
(frames '(2147483631 2147483631 16 16))
(list (iframe) (mframe) (sum (greyset 3)))
(info (greyset 0))
; clamped sizes count as clamped: 4096 wide, 1 high
(frames '(2147479551 -7 5000 0))
(iframe)
(frames '(0 0 64 64))
; the median's size is checked without overflow
(progn (setq g (greyset 1)) t)
(median g -2147483648)
(median g 2147483647)
(median g -1)
; clicks at the ends of the range make a rectangle inside the image; an
; opposite corner above or left of the corner spans back to it
(get-rect g)
1 -2147483648 -2147483648
3 2147483647 2147483647
2 0 0
(get-rect g)
1 5 6
3 -2147483648 -2147483648
2 0 0
(get-rect g)
1 2147483647 2147483647
3 2147483647 -2147483647
2 0 0
