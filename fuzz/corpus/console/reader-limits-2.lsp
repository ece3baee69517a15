'(after deep)
