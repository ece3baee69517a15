; PPRINT: short lists stay on one line
(pprint '(a b))
(pprint 'abc)
(pprint "x\"y")
(pprint nil)
(pprint '(aaaaaaaaa bbbbbbbbb ccccccccc ddddddd))
; 40 characters and more break, elements under the second element
(pprint '(aaaaaaaaa bbbbbbbbb ccccccccc dddddddd))
(pprint '(DEFUN F (X) (LET ((Y (* X X)) (Z (+ X X X X X X))) (LIST Y Z Y Z Y Z))))
(pprint '(defun long-function-name (argument-one argument-two) (if (consp argument-one) (car argument-one) argument-two)))
; a list as first element: elements under the first
(pprint '((aaaaaaaaaa bbbbbbbbbb) (cccccccccc dddddddddd) (eeeeeeeeee)))
; dotted tail and a lone long element
(pprint '(aaaaaaaaaa bbbbbbbbbb cccccccccc dddddddddd . eeeeeeeeee))
(pprint '("a string that is longer than forty characters"))
(pprint '(#(1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20) x))
; nested margins
(pprint '(let ((alpha 1) (beta 2) (gamma 3)) (setq alpha (+ alpha beta gamma)) (list alpha beta gamma (list alpha beta gamma))))
; to another stream
(let ((s (make-string-output-stream))) (pprint '(a "b") s) (get-output-stream-string s))
(pprint '(a b) nil)
; argument errors
(pprint)
(pprint 'a 5)
(pprint 'a *standard-output* 1)

