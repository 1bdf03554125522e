#!/usr/bin/env python3
"""Removes from a corpus folder the inputs that carry stretches of the shared
real hives (the fuzzers start from those and mutate them): the shared hives
never go into the repository, whole or in pieces.

    drop_shared_copies.py CORPUS [SHARED_FOLDER...]

An input counts as carrying a shared hive when more than LIMIT_BYTES of it
(estimated from its distinct sampled 32-byte windows) also occur, at any
offset, in a file under a shared folder. Windows of little variety (zero fill, padding) are not
sampled: every hive has them. Prints what it removed.
"""

import os
import sys
import zlib

WINDOW = 32
SAMPLE_ONE_IN = 16  # a window is sampled when its CRC says so: the same windows whatever their offset
MIN_DISTINCT_BYTES = 8
LIMIT_BYTES = 2048


def sampled_windows(data):
    for at in range(0, len(data) - WINDOW + 1):
        window = data[at:at + WINDOW]
        crc = zlib.crc32(window)
        if crc % SAMPLE_ONE_IN == 0 and len(set(window)) >= MIN_DISTINCT_BYTES:
            yield crc, window


def shared_index(folders):
    index = set()
    for folder in folders:
        for root, _, names in os.walk(folder):
            for name in names:
                with open(os.path.join(root, name), "rb") as file:
                    index.update(window for _, window in sampled_windows(file.read()))
    return index


def main():
    if len(sys.argv) < 2:
        sys.exit("usage: drop_shared_copies.py CORPUS [SHARED_FOLDER...]")
    corpus, shared = sys.argv[1], [f for f in sys.argv[2:] if os.path.isdir(f)]
    if not shared:
        return
    index = shared_index(shared)
    for name in sorted(os.listdir(corpus)):
        path = os.path.join(corpus, name)
        with open(path, "rb") as file:
            data = file.read()
        matched = len({window for _, window in sampled_windows(data) if window in index})
        if matched * SAMPLE_ONE_IN > LIMIT_BYTES:
            os.remove(path)
            print(f"left out {name}: about {matched * SAMPLE_ONE_IN} bytes of a shared hive")


if __name__ == "__main__":
    main()
