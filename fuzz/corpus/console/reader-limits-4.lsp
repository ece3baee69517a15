'(after deep again)
; a 10 MB string literal in a file, printed and read back
(defun big (n) (let ((s "0123456789abcdef")) (dotimes (i n) (setq s (strcat s s))) s))
(progn (setq s20 (big 16)) (length s20))
(let ((f (open "big.lsp" :direction :output))) (princ "(setq big \"" f) (dotimes (i 10) (princ s20 f)) (princ "\\\"\")" f) (close f))
(load "big" :verbose nil)
(length big)
(list (subseq big 0 20) (subseq big 10485740))
(let ((f (open "big2.txt" :direction :output))) (print big f) (close f))
(let* ((f (open "big2.txt")) (x (read f))) (close f) (list (length x) (equal x big)))

