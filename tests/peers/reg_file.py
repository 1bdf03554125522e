#!/usr/bin/python3
"""Reads a .reg file (regedit version 5: UTF-16LE with a byte-order mark, or
UTF-8; lines continued with a trailing backslash) and prints what it holds in
one plain form, so that two writers' files can be compared: per key a line
"[path]" (the path below PREFIX, the first argument after the file), then per
value "name<TAB>type<TAB>hex bytes" with the name as Python's repr ("@" for the
default value). Keys and values are sorted: hivexregedit writes them in an
order of its own. Data forms are turned back into bytes: "text" as UTF-16LE with
a NUL, dword: as 4 bytes little-endian, hex: as type 3, hex(N): as type N.

With --for-hivex-merge instead of PREFIX: prints a UTF-8 file as it is, but
with each "text" that is not ASCII as hex(1): hivexregedit --merge reads such
text byte by byte, as if it were Latin-1."""
import sys


def lines_of(raw):
    if raw.startswith(b"\xff\xfe"):
        text = raw[2:].decode("utf-16-le")
        return text.splitlines()
    out = []
    for line in raw.split(b"\n"):
        line = line.rstrip(b"\r")
        try:
            out.append(line.decode("utf-8"))
        except UnicodeDecodeError:  # hivexregedit prints Latin-1-only names as raw bytes
            out.append(line.decode("latin-1"))
    return out


def quoted(text, at):
    """The string starting with the quote at text[at] and the index past it."""
    out, i = [], at + 1
    while text[i] != '"':
        if text[i] == "\\":
            i += 1
        out.append(text[i])
        i += 1
    return "".join(out), i + 1


def data_of(form):
    if form.startswith('"'):
        text, _ = quoted(form, 0)
        return 1, text.encode("utf-16-le", "surrogatepass") + b"\0\0"
    if form.startswith("dword:"):
        return 4, int(form[6:], 16).to_bytes(4, "little")
    head, _, hexes = form.partition(":")
    kind = 3 if head == "hex" else int(head[4:-1], 16)
    return kind, bytes(int(h, 16) for h in hexes.split(",") if h.strip())


def text_as_hex(line):
    if not line.startswith(('"', "@=")):
        return line
    name_end = 1 if line.startswith("@") else quoted(line, 0)[1]
    form = line[name_end + 1:]
    if not form.startswith('"') or form.isascii():
        return line
    kind, data = data_of(form)
    return "%s=hex(1):%s" % (line[:name_end], ",".join("%02x" % b for b in data))


def main():
    path, prefix = sys.argv[1], sys.argv[2]
    with open(path, "rb") as f:
        lines = lines_of(f.read())
    if prefix == "--for-hivex-merge":
        sys.stdout.buffer.write("".join(text_as_hex(line) + "\r\n" for line in lines).encode("utf-8"))
        return
    pending = ""
    keys, values = [], []

    def end_key():
        if keys:
            keys[-1] += "".join(sorted(values))
        values.clear()

    for line in lines[1:]:
        if pending:
            line = pending + line.lstrip(" ")
            pending = ""
        if line.endswith("\\") and "=hex" in line:
            pending = line[:-1]
            continue
        if line.startswith("["):
            key = line[1:-1]
            assert key.startswith(prefix), key
            end_key()
            keys.append("[%s]\n" % key[len(prefix):].lstrip("\\"))
        elif line.startswith("@="):
            kind, data = data_of(line[2:])
            values.append("@\t%d\t%s\n" % (kind, data.hex()))
        elif line.startswith('"'):
            name, end = quoted(line, 0)
            kind, data = data_of(line[end + 1:])
            values.append("%r\t%d\t%s\n" % (name, kind, data.hex()))
    end_key()
    sys.stdout.writelines(sorted(keys))


if __name__ == "__main__":
    main()
