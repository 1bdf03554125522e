#!/usr/bin/python3
"""Prints every key and value of a hive as the peer hivex reads them, with the
value row built from hivex's data, for values_test to compare with Keyloom.

One line per key in pre-order, then one line per value of that key:
  K <depth> <name>
  V <name> <type> <length> <data> <row without its name column, or ->
Names, data and rows are written as upper-case hex (names and rows as UTF-8),
so no character needs escaping. Rows are built for types 1 to 4 only.
Run with Debian's /usr/bin/python3, where the hivex module lives; exits with
status 77 when hivex cannot be imported."""
import sys

try:
    import hivex
except ImportError:
    sys.exit(77)

LABELS = {1: "String", 2: "ExpandString", 3: "Binary", 4: "DWord"}


def hexed(text):
    return text.encode("utf-8").hex().upper() or "-"


def content(vtype, length, data):
    if vtype in (1, 2):
        units = data[: (length // 2) * 2]
        return units.decode("utf-16-le", errors="replace").split("\0", 1)[0]
    if vtype == 3:
        return "$" + data.hex().upper() if length else ""
    number = int.from_bytes(data[:4].ljust(4, b"\0"), "little")
    signed = number - (1 << 32) if number >= 1 << 31 else number
    return "0x%08X (%d\t)" % (number, signed)


def main():
    h = hivex.Hivex(sys.argv[1])
    out = []
    stack = [(h.root(), 0)]
    while stack:
        node, depth = stack.pop()
        out.append("K %d %s" % (depth, hexed(h.node_name(node))))
        for value in h.node_values(node):
            vtype, length = h.value_type(value)
            data = h.value_value(value)[1]
            row = "-"
            if vtype in LABELS:
                row = hexed("\n%s\n%d\n%s" % (LABELS[vtype], length, content(vtype, length, data)))
            out.append("V %s %d %d %s %s" % (hexed(h.value_key(value)), vtype, length,
                                             data.hex().upper() or "-", row))
        for child in reversed(h.node_children(node)):
            stack.append((child, depth + 1))
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
