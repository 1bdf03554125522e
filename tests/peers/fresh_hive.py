#!/usr/bin/python3
"""Writes a fresh hive for hivexregedit --merge: the hive of the first
argument with every subkey and value of its root taken away, saved as the
second argument. hivex adds keys only where the parent has a security record,
which hives written byte by byte for tests lack."""
import sys

import hivex

h = hivex.Hivex(sys.argv[1], write=True)
root = h.root()
for child in h.node_children(root):
    h.node_delete_child(child)
h.node_set_values(root, [])
h.commit(sys.argv[2])
