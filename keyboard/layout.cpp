// Key layout.
