#!/usr/bin/python3
"""Prints the last-written time of every key of a hive as the peer hivex reads
it: one line per key in pre-order (the order of keyloom-dump), the key node's
64-bit FILETIME in decimal. Run with Debian's /usr/bin/python3, where the hivex
module lives; exits with status 77 when hivex cannot be imported."""
import sys

try:
    import hivex
except ImportError:
    sys.exit(77)


def main():
    h = hivex.Hivex(sys.argv[1])
    stack = [h.root()]
    while stack:
        node = stack.pop()
        sys.stdout.write("%d\n" % h.node_timestamp(node))
        stack.extend(reversed(h.node_children(node)))


if __name__ == "__main__":
    main()
