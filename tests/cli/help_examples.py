#!/usr/bin/python3
"""Runs every example of the function reference (src/help/functions.txt)
in tavex-cli and checks it.

  help_examples.py CLI FUNCTIONS.TXT

An example line is Lisp forms, joined by "then" where there are several,
and an optional tail: "=> VALUE" (the value of the last form, as the console
prints it), "prints TEXT, => VALUE", "shows error: TEXT", or prose. Each
example runs in a fresh tavex-cli in its own directory, after FIXTURE, which
gives the example names their meaning (g, b, c, ...). It fails on any
error it did not announce, on a crash or hang, and on a value other than
the one shown. The few values that cannot repeat (random numbers, clocks,
node addresses) are matched by a pattern instead (VARYING).
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

# Loaded before each example. g is a flat grey image of 100 (as in the
# GREYSET example); b holds three objects, of which the first in raster
# order starts at (12 40); rect is a subclass of shape.
FIXTURE = r"""
(setq g (greyset 100))
(setq b (binset 0))
(wline b '(14 42 22 42) 1)
(wline b '(100 100 140 120) 1)
(wline b '(30 200 60 200) 1)
(setq b (supnbh (supnbh b 511) 511))
(setq g1 (add (bin-grey b) 50) g2 (greyset 60))
(setq b1 b b2 (invert b))
(setq c (colset #x336699))
(setq objects b edges b seeds (grey-bin (greyset 0)))
(wpix seeds '(14 41) 1)
(setq background (greyset 10) pattern (greyset 5))
(setq gradient g markers (car (label b)))
(defstruct point x y)
(setq p (make-point :x 1 :y 2))
(setq s (make-string-output-stream))
(setq x (list 'a 'b) n 3 a 1)
(setq f (open "out.txt" :direction :output))
(defun sq (v) (* v v))
(setq shape (send class :new '(name)))
(send shape :answer :isnew '(n) '((setq name n) self))
(send shape :answer :name '() '(name))
(setq rect (send class :new '(w h) nil shape))
(defmacro twice (form) (list 'progn form form))
"""

# Console input an example needs after it: a key, clicks ("button x y"),
# what ends a break loop.
INPUT = {
    "(get-key)": "a",
    "(get-point g)": "1 37 200\n",
    "(get-line g)": "1 10 10\n3 245 245\n2 0 0\n",
    "(get-rect g)": "1 10 10\n3 244 244\n2 0 0\n",
    '(break "look here" x)': "(continue)\n",
}

# After the example: the sum of the pixels when its value is an image. An
# example that shows an image of zeros shows nothing (the fault of a SKIZ
# whose labels all lay outside its mask); the examples in ZEROS mean to.
PROBE = ('(progn (princ "@probe ") (cond ((or (greyp *) (binp *)) (sum *))'
         ' ((colp *) (sum (col-grey *))) (t (quote other))))')
ZEROS = {"(binset 0)", "(greyset 0)", "(colset 0)"}

# Values that differ from run to run: the pattern the printed value must
# match instead.
VARYING = {
    "(random 6)": r"[0-5]",
    "(clock)": r"\(\d+ \d+ \d+\)",
    "(time '(dotimes (i 100000)))": r"\d+(\.\d+)?(e-\d+)?",
    "(let ((t0 (getticks))) (sleep 100) (- (getticks) t0))": r"\d{3,}",
}


def read_examples(path):
    """(entry name, example text) for every example line."""
    examples, name = [], None
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("@ "):
                name = line.split()[2]
            elif line.startswith("example:"):
                examples.append((name, line[len("example:"):].strip()))
    return examples


def split_forms(text):
    """The leading Lisp forms of an example in the order they run (joined by
    "then"; "A after B" runs B first) and the rest."""
    forms, i = [], 0
    while True:
        while i < len(text) and text[i] == " ":
            i += 1
        start, depth, instring = i, 0, False
        while i < len(text):
            ch = text[i]
            if instring:
                if ch == "\\":
                    i += 1
                elif ch == '"':
                    instring = False
            elif ch == '"':
                instring = True
            elif ch == "(":
                depth += 1
            elif ch == ")":
                depth -= 1
                if depth == 0:
                    i += 1
                    break
            elif ch == " " and depth == 0:
                break
            i += 1
        forms.append(text[start:i])
        rest = text[i:].strip()
        for word in ("then ", "after "):
            if rest.startswith(word):
                i = text.index(word, i) + len(word)
                if word == "after ":
                    before, rest = split_forms(text[i:])
                    return before + forms, rest
                break
        else:
            return forms, rest


def make_template(cli, template):
    """The files every example finds in its directory."""
    with open(os.path.join(template, "fixture.lsp"), "w") as f:
        f.write(FIXTURE)
    with open(os.path.join(template, "init.lsp"), "w") as f:
        f.write("(setq from-init t)\n")
    with open(os.path.join(template, "secret.lsp"), "w") as f:
        f.write("(setq secret 42)\n")
    subprocess.run([cli, "-xS"], input=b'(imasave (greyset 9) "plate.ima")\n',
                   cwd=template, capture_output=True, timeout=300, check=True)
    if not os.path.exists(os.path.join(template, "plate.ima")):
        sys.exit("could not write plate.ima")


def run(cli, template, forms, extra):
    """The console output of the forms (after the fixture) and the status."""
    with tempfile.TemporaryDirectory() as scratch:
        work = os.path.join(scratch, "work")
        shutil.copytree(template, work)
        stdin = "".join(form + "\n" + extra.get(form, "") for form in forms) + PROBE + "\n"
        try:
            p = subprocess.run([cli, "-xS", "fixture.lsp"], input=stdin.encode(),
                               cwd=work, capture_output=True, timeout=300)
        except subprocess.TimeoutExpired:
            return None, "hung"
        return p.stdout.decode("latin-1") + p.stderr.decode("latin-1"), p.returncode


def value_pattern(shown):
    """The shown value as a pattern: a node address shown as "#..." and the
    number of an image handle (g7) stand for any."""
    pattern = re.escape(shown).replace(r"\#\.\.\.", "#0x[0-9a-f]+")
    return re.sub(r"\b([gbc])\d+\b", r"\1\\d+", pattern)


def check(cli, template, text):
    """A failure message, or None."""
    forms, rest = split_forms(text)
    output, status = run(cli, template, forms, INPUT)
    if status == "hung":
        return "hung"
    if status != 0:
        return f"exit status {status}: {output!r}"
    probed = output.rfind("> @probe ")
    if probed >= 0:
        if output[probed:].split("\n")[0] == "> @probe 0" and forms[-1] not in ZEROS:
            return "the value is an image of zeros"
        output = output[:probed + 2]
    announced = re.match(r"shows (error: .*)", rest)
    errors = [l for l in output.split("\n") if "error: " in l]
    if announced:
        if announced.group(1) not in output:
            return f"no {announced.group(1)!r} in {output!r}"
    elif errors:
        return f"error: {errors[0]!r}"
    if "=>" not in rest:
        return None
    shown = rest.rsplit("=>", 1)[1].strip()
    # The value of the last form: the text between the last two prompts,
    # after what the form printed.
    chunks = output.split("> ")
    if len(chunks) < 2:
        return f"no value in {output!r}"
    value = chunks[-2].rstrip("\n").split("\n")[-1]
    prints = re.match(r"prints (.*), *=>", rest)
    if prints and not prints.group(1).startswith("the ") and " and " not in prints.group(1):
        if prints.group(1) not in chunks[-2]:
            return f"does not print {prints.group(1)!r}: {chunks[-2]!r}"
        value = chunks[-2].rstrip("\n").split("\n")[-1]
        if value.startswith(prints.group(1)) and value != prints.group(1):
            value = value[len(prints.group(1)):]
    last = forms[-1]
    if last in VARYING:
        if not re.fullmatch(VARYING[last], value):
            return f"value {value!r} does not match {VARYING[last]!r}"
    elif not re.fullmatch(value_pattern(shown), value):
        return f"value {value!r}, the reference shows {shown!r}"
    return None


def main():
    cli, path = sys.argv[1], sys.argv[2]
    examples = read_examples(path)
    failures = 0
    with tempfile.TemporaryDirectory() as template:
        make_template(cli, template)
        with ThreadPoolExecutor(max_workers=2) as pool:
            problems = pool.map(lambda e: check(cli, template, e[1]), examples)
            for (name, text), problem in zip(examples, problems):
                if problem:
                    failures += 1
                    print(f"FAIL {name}: {text}\n     {problem}")
    print(f"{len(examples)} examples, {failures} failing")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
