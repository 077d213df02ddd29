#!/usr/bin/env python3
"""Reads a Kestrin history file on its own, from the format alone (header with
its version, then records: in version 2 a marker, then the payload's length,
its CRC-32 and the fields; version 1 has no marker), replays it, and prints the
texts newest first, pinned first, one per line ('|' for line ends). A second
reader of the format beside the program's own.
   history_reader.py <History.dat>"""
import struct
import sys
import zlib

MARKER = b"\xfe\xffKr"
data = open(sys.argv[1], "rb").read()
if data[:8] != b"KESTRINH":
    sys.exit("not a history file")
version = struct.unpack_from("<I", data, 8)[0]
if version not in (1, 2):
    sys.exit("a history file of version %d" % version)
framing = 12 if version == 2 else 8
entries = []  # oldest first: [id, kind, pinned, text]
at = 12
while at + framing + 27 <= len(data):
    if version == 2 and data[at:at + 4] != MARKER:
        nxt = data.find(MARKER, at + 1)
        at = nxt if nxt >= 0 else len(data)
        continue
    length, crc = struct.unpack_from("<II", data, at + framing - 8)
    payload = data[at + framing:at + framing + length]
    if len(payload) != length or length < 27 or zlib.crc32(payload) != crc:
        at += 1 if version == 2 else framing + length
        continue
    at += framing + length
    op, ident, time, kind, flags, size = struct.unpack_from("<BQQBBQ", payload, 0)
    body = payload[27:]
    found = [e for e in entries if e[0] == ident]
    if op == 1 and kind in (1, 2, 3):
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
