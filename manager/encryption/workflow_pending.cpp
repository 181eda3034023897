// (kept empty: the workflows now live in their own files)
