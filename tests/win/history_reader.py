#!/usr/bin/env python3
"""Reads a Kestrin history file on its own, from the format alone (header,
then records of length, CRC-32 and fields), replays it, and prints the texts
newest first, pinned first, one per line ('|' for line ends). A second reader
of the format beside the program's own.
   history_reader.py <History.dat>"""
import struct
import sys
import zlib

data = open(sys.argv[1], "rb").read()
if data[:12] != b"KESTRINH\x01\x00\x00\x00":
    sys.exit("not a history file")
entries = []  # oldest first: [id, kind, pinned, text]
at = 12
while at + 35 <= len(data):
    length, crc = struct.unpack_from("<II", data, at)
    payload = data[at + 8:at + 8 + length]
    at += 8 + length
    if len(payload) != length or zlib.crc32(payload) != crc:
        continue
    op, ident, time, kind, flags, size = struct.unpack_from("<BQQBBQ", payload, 0)
    body = payload[27:]
    found = [e for e in entries if e[0] == ident]
    if op == 1:
        entries = [e for e in entries if e[0] != ident] + [[ident, kind, flags & 1, body]]
    elif op == 2 and found:
        entries.remove(found[0])
        entries.append(found[0])
    elif op == 3 and found:
        entries.remove(found[0])
    elif op == 4 and found:
        found[0][2] = flags & 1
shown = [e for e in reversed(entries) if e[2]] + [e for e in reversed(entries) if not e[2]]
for e in shown:
    text = e[3].decode("utf-8" if e[1] == 2 else "cp1252", "replace") if e[1] != 3 else "(bitmap)"
    print(text.replace("\r\n", "|"))
