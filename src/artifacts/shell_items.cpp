// Shell items: filled in by the parser.
