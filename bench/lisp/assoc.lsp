; Symbol lookup with 10,000 keys: one association list searched by ASSOC,
; then a vector of 1009 buckets indexed by HASH of the symbol's name.
(setq keys nil alist nil)
(dotimes (i 10000) (setq keys (cons (gensym "K") keys)))
(dolist (k keys) (setq alist (cons (cons k 1) alist)))
(time '(dolist (k keys) (assoc k alist)))
(setq table (make-array 1009))
(dolist (k keys)
  (let ((i (hash k 1009)))
    (setf (aref table i) (cons (cons k 1) (aref table i)))))
(time '(dolist (k keys) (assoc k (aref table (hash k 1009)))))
