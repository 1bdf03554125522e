// Known folders: filled in with the table.
