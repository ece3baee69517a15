; A 1,000,000-element list built with the default segment size (2000 nodes),
; so the collector marks the growing list at every new segment.
(setq big nil)
(time '(dotimes (i 1000000) (setq big (cons i big))))
