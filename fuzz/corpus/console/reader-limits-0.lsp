; Reader limits: 100,000 levels typed at the console end in a clear error
