; measure-objects.lsp: one CSV row per object of a grey image.
;
;   tavex-cli --batch --set image=cells.pgm --set csv=cells.csv measure-objects.lsp
;
; Settings (tavex-cli --set NAME=VALUE):
;   image      the grey image: a native image file, or a .pgm file (read
;              through the pgm filter module)
;   csv        the CSV file to write; without it the rows go to standard output
;   threshold  objects are the pixels of this grey value and above (default 128)
;
; The objects are the 8-connected components of the thresholded image, at
; most 255 of them. The CSV has a header line and one row per object, in
; the raster order of the objects' first pixels:
;   image,label,area,x,y,left,top,width,height,volume,min,max
; with the centre of mass x,y (rounded down), the bounding rectangle, the sum
; of the grey values and their smallest and largest value.

(unless (boundp '*image*)
  (error "no image given: tavex-cli --batch --set image=FILE ..."))

(defun setting-number (name default)
  (if (boundp name) (atoi (symbol-value name)) default))

(defun ends-with (s suffix)
  (let ((n (length s)) (k (length suffix)))
    (and (>= n k) (string-equal (subseq s (- n k)) suffix))))

; The field in double quotes, its double quotes doubled, as CSV wants.
(defun csv-text (s)
  (let ((out (make-string-output-stream)))
    (write-char #\" out)
    (dotimes (i (length s))
      (when (char= (char s i) #\") (write-char #\" out))
      (write-char (char s i) out))
    (write-char #\" out)
    (get-output-stream-string out)))

(defun load-grey (name)
  (let ((g (if (ends-with name ".pgm") (imaload name "pgm") (imaload name))))
    (unless (greyp g) (error "not a grey image" name))
    g))

(defun write-rows (out name labels measures)
  ; label 0 is the background: the objects follow it
  (do ((rows (cdr measures) (cdr rows))
       (label 1 (1+ label)))
      ((null rows))
    (let* ((m (car rows))
           (area (nth 0 m)) (centre (nth 1 m)) (rect (nth 2 m))
           (volume (nth 3 m)) (range (nth 4 m)))
      (format out "~a,~a,~a,~a,~a,~a,~a,~a,~a,~a,~a,~a~%"
              (csv-text name) label area (car centre) (cadr centre)
              (nth 0 rect) (nth 1 rect) (nth 2 rect) (nth 3 rect)
              volume (car range) (cadr range)))))

; Everything is measured before the CSV file is made, so an image that
; fails leaves no file behind.
(let* ((grey (load-grey *image*))
       (threshold (setting-number '*threshold* 128))
       (labels (progn (frames (info grey)) (label (thresh grey threshold 255))))
       (measures (if (> (cdr labels) 255)
                     (error "more than 255 objects" (cdr labels))
                     (featmeas labels '(area mpoint rect volume grey) grey)))
       (out (if (boundp '*csv*)
                (or (open *csv* :direction :output) (error "can't create the CSV file" *csv*))
                *standard-output*)))
  (format out "image,label,area,x,y,left,top,width,height,volume,min,max~%")
  (write-rows out *image* labels measures)
  (unless (eq out *standard-output*) (close out)))
