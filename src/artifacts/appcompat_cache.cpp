// AppCompatCache: filled in by its decoder.
