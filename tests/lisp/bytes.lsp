; Bytes 128-255: ordinary characters inside strings, comments and |...|
; symbols, in UTF-8 (Ã© is 2 bytes) and in ISO 8859-1 (é is 1 byte).
; A string holds the bytes it was given; LENGTH counts bytes.
(length "Ã©")
(length "é")
(length "donnÃ©es/été.lsp")
(char-code (char "Ã©" 0))
(char-code (char "Ã©" 1))
(char-code (char "ÿ" 0))
; byte 255 is no end of input, not even alone on a line
(length "a
ÿ
b")
(string= "ÿé" "\377\351")
(string= "Ã©" (strcat (string (code-char 195)) (string (code-char 169))))
"â‚¬ éèü €Ÿ"
; comments: Ã© é ÿ €
#| block Ã© é ÿ |# (+ 1 2)
(symbol-name (quote |Ã©té|))
(length (symbol-name (quote |ÿ|)))
(eq (quote |é|) (intern "é"))
; outside them the read table decides: illegal by default...
(list 1 cafÃ©)
; an error drops the rest of its line, the byte read after the token too
cafÃ©
(+ 1 2)
(quote é)
; ...a constituent once the table says so
(setf (aref *readtable* 233) :constituent)
(symbol-name (quote café))
(setf (aref *readtable* 233) nil)
; Printing gives back the same bytes
(princ "Ã©té ÿ")
(prin1 "Ã©té ÿ")
(print "€Ÿ ")
(format nil "~a|~s" "Ã©" "é")
(format t "[~a]~%" "éÃ©")
(write-char (code-char 233))
(write-byte 255)
(prin1 (code-char 233))
; String streams
(setq r (make-string-input-stream "Ã©ÿ"))
(read-byte r)
(read-byte r)
(char-code (read-char r))
(read-char r)
(read (make-string-input-stream "\"éÿ\" rest"))
(length (read (make-string-input-stream "\"Ã©\"")))
(setq w (make-string-output-stream))
(prin1 "é" w)
(princ "Ã©" w)
(setq got (get-output-stream-string w))
(length got)
; Files written by OPEN and read back byte for byte
(setq f (open "bytes.txt" :direction :output))
(princ "Ã©é" f)
(terpri f)
(prin1 "ÿ" f)
(write-byte 128 f)
(close f)
(setq f (open "bytes.txt"))
(setq line (read-line f))
(string= line "Ã©é")
(read f)
(read-byte f)
(read-byte f)
(close f)
(setq f (open "bytes.txt" :mode :binary))
(read-byte f)
(read-byte f)
(read-byte f)
(close f)
; The reader reads a file in the same way
(setq f (open "code.lsp" :direction :output))
(princ "(setq from-file (list \"Ã©\" (quote |é|))) ; ÿ" f)
(close f)
(load "code")
from-file
(length (car from-file))
