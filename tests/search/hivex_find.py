#!/usr/bin/python3
"""A search of its own over the peer hivex's reading of a hive, printing what
keyloom-dump --find prints, so that the two can be compared line for line.

  hivex_find.py --find TEXT [--in keys,names,data] [--match-case] [--whole] HIVE

Ignoring case, names and texts are compared after str.casefold(), Unicode's
full case folding; Keyloom folds with the simple one. The two differ only for
characters whose full folding is longer than one character (such as U+00DF,
which folds to "ss" here and stays itself in Keyloom), so the texts searched
for must avoid what such a character folds to.
Exit status: 0 when something matched, 3 when nothing did, 77 when hivex
cannot be imported (run with Debian's /usr/bin/python3)."""
import os
import sys

try:
    import hivex  # noqa: F401 (hivex_tree reads through it)
except ImportError:
    sys.exit(77)

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "peers"))
from hivex_tree import escape  # noqa: E402 (the dump's escapes, as the tree comparison writes them)

TEXT_TYPES = (1, 2)
MULTI_STRING = 7


def strings_of(vtype, length, data):
    """The strings of a value's data, as Keyloom's rows decode them."""
    text = data[: (length // 2) * 2].decode("utf-16-le", errors="replace")
    if vtype in TEXT_TYPES:
        return [text.split("\0", 1)[0]]
    if vtype != MULTI_STRING:
        return []
    strings = []
    for piece in text.split("\0"):
        if not piece:
            break  # the empty string ends the list
        strings.append(piece)
    return strings


def parse(args):
    options = {"where": {"keys", "names", "data"}, "case": False, "whole": False}
    text = hive = None
    i = 0
    while i < len(args):
        if args[i] == "--find":
            text = args[i + 1]
            i += 1
        elif args[i] == "--in":
            options["where"] = set(args[i + 1].split(","))
            i += 1
        elif args[i] == "--match-case":
            options["case"] = True
        elif args[i] == "--whole":
            options["whole"] = True
        else:
            hive = args[i]
        i += 1
    return text, hive, options


def main():
    text, path, options = parse(sys.argv[1:])
    fold = (lambda s: s) if options["case"] else str.casefold
    needle = fold(text)

    def matches(name):
        if not needle:
            return False
        return fold(name) == needle if options["whole"] else needle in fold(name)

    h = hivex.Hivex(path)
    lines = []
    stack = [(h.root(), [])]
    while stack:
        node, names = stack.pop()
        path_text = "\\".join(escape(n) for n in names) if names else escape(h.node_name(node))
        if "keys" in options["where"] and matches(h.node_name(node)):
            lines.append(path_text)
        for value in h.node_values(node):
            name = h.value_key(value)
            hit = "names" in options["where"] and name != "" and matches(name)
            if not hit and "data" in options["where"]:
                vtype, length = h.value_type(value)
                data = h.value_value(value)[1]
                hit = any(matches(s) for s in strings_of(vtype, length, data))
            if hit:
                lines.append("%s = %s" % (path_text, escape(name or "{default}")))
        for child in reversed(h.node_children(node)):
            stack.append((child, names + [h.node_name(child)]))
    sys.stdout.write("".join(line + "\n" for line in lines))
    sys.exit(0 if lines else 3)


if __name__ == "__main__":
    main()
