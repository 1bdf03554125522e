#!/usr/bin/python3
"""Prints a hive's key tree (and optionally its values) as read by the peer hivex,
in keyloom-dump's format, so the two can be compared line for line.

  hivex_tree.py HIVE            one line per key: indent, name (subkeys/values)
  hivex_tree.py --values HIVE   after each key, one line per value:
                                name<TAB>type<TAB>length<TAB>hex of the data
Run with Debian's /usr/bin/python3, where the hivex module lives."""
import sys

import hivex


def escape(text):
    out = []
    for ch in text:
        code = ord(ch)
        if ch == "\\":
            out.append("\\\\")
        elif ch == "\n":
            out.append("\\n")
        elif ch == "\r":
            out.append("\\r")
        elif ch == "\t":
            out.append("\\t")
        elif code < 0x20 or code == 0x7F:
            out.append("\\x%02X" % code)
        else:
            out.append(ch)
    return "".join(out)


def value_name(h, value):
    name = h.value_key(value)
    return name if name else "{default}"


def main():
    args = sys.argv[1:]
    with_values = False
    if args and args[0] == "--values":
        with_values = True
        args = args[1:]
    h = hivex.Hivex(args[0])
    out = sys.stdout
    # Iterative pre-order walk: (node, depth)
    stack = [(h.root(), 0)]
    while stack:
        node, depth = stack.pop()
        children = h.node_children(node)
        values = h.node_values(node)
        name = escape(h.node_name(node))
        label = name if depth == 0 else "%s (%d/%d)" % (name, len(children), len(values))
        out.write("  " * depth + label + "\n")
        if with_values:
            for value in values:
                vtype, length = h.value_type(value)
                data = h.value_value(value)[1]
                out.write("  " * (depth + 1) + "= %s\t%d\t%d\t%s\n" % (
                    escape(value_name(h, value)), vtype, length, data.hex().upper()))
        for child in reversed(children):
            stack.append((child, depth + 1))


if __name__ == "__main__":
    main()
