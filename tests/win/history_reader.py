#!/usr/bin/env python3
"""Reads a Kestrin history file on its own, from the format alone (header with
its version, then records: in version 2 a marker, then the payload's length,
its CRC-32 and the fields; version 1 has no marker; version 3 follows an
Add's fields with its format table; version 4 seals version 3's payloads
with AES-256-GCM under the file's key, given in hex), replays it, and prints
the texts newest first, pinned first, one per line ('|' for line ends); with
--formats, each followed by the names of the formats it keeps. A second reader
of the format beside the program's own.
   history_reader.py <History.dat> [--key HEX] [--formats]"""
import struct
import sys
import zlib

from cryptography.exceptions import InvalidTag
from cryptography.hazmat.primitives.ciphers.aead import AESGCM

MARKER = b"\xfe\xffKr"
data = open(sys.argv[1], "rb").read()
if data[:8] != b"KESTRINH":
    sys.exit("not a history file")
version = struct.unpack_from("<I", data, 8)[0]
if version not in (1, 2, 3, 4):
    sys.exit("a history file of version %d" % version)
framing = 12 if version >= 2 else 8
start = 12
if version == 4:
    # generation, file id, the wrapped key's length and bytes
    file_id = data[16:32]
    start = 36 + struct.unpack_from("<I", data, 32)[0]
    cipher = AESGCM(bytes.fromhex(sys.argv[sys.argv.index("--key") + 1]))


def sealed_record(at):
    """A version 4 record's payload and its size, or None when it does not open."""
    length, generation = struct.unpack_from("<II", data, at + 4)
    sealed = data[at + 12:at + 12 + length + 16]
    if length < 27 or len(sealed) != length + 16:
        return None
    nonce = struct.pack("<IQ", generation, at)
    try:
        return cipher.decrypt(nonce, sealed, file_id + data[at:at + 12] + struct.pack("<Q", at)), 28 + length
    except InvalidTag:
        return None

STANDARD = {1: "CF_TEXT", 7: "CF_OEMTEXT", 8: "CF_DIB", 13: "CF_UNICODETEXT", 14: "CF_ENHMETAFILE",
            15: "CF_HDROP", 16: "CF_LOCALE", 17: "CF_DIBV5"}


def formats_of(body):
    """The data and the format names of a version 3 Add's body."""
    size, count = struct.unpack_from("<QH", body, 0)
    at, names = 10, []
    for _ in range(count):
        number, role, name_length = struct.unpack_from("<IBH", body, at)
        name = body[at + 7:at + 7 + name_length].decode("utf-8", "replace")
        at += 7 + name_length + 8
        names.append((name or STANDARD.get(number, "#%d" % number)) + ("" if role in (0, 1) else "(left out)"))
    return body[at:at + size], names
entries = []  # oldest first: [id, kind, pinned, text]
at = start
while at + framing + 27 <= len(data):
    if version >= 2 and data[at:at + 4] != MARKER:
        nxt = data.find(MARKER, at + 1)
        at = nxt if nxt >= 0 else len(data)
        continue
    if version == 4:
        opened = sealed_record(at)
        if opened is None:
            at += 1
            continue
        payload, size = opened
        at += size
    else:
        length, crc = struct.unpack_from("<II", data, at + framing - 8)
        payload = data[at + framing:at + framing + length]
        if len(payload) != length or length < 27 or zlib.crc32(payload) != crc:
            at += 1 if version >= 2 else framing + length
            continue
        at += framing + length
    op, ident, time, kind, flags, size = struct.unpack_from("<BQQBBQ", payload, 0)
    body, names = payload[27:], []
    if version >= 3 and op == 1:
        body, names = formats_of(body)
    found = [e for e in entries if e[0] == ident]
    if op == 1 and kind in (1, 2, 3, 4, 5):
        entries = [e for e in entries if e[0] != ident] + [[ident, kind, flags & 1, body, names]]
    elif op == 2 and found:
        entries.remove(found[0])
        entries.append(found[0])
    elif op == 3 and found:
        entries.remove(found[0])
    elif op == 4 and found:
        found[0][2] = flags & 1
shown = [e for e in reversed(entries) if e[2]] + [e for e in reversed(entries) if not e[2]]
for e in shown:
    text = e[3].decode("cp1252" if e[1] == 1 else "utf-8", "replace") if e[1] != 3 else "(bitmap)"
    line = text.replace("\r\n", "|").replace("\n", "|")
    if "--formats" in sys.argv[2:]:
        line += " [" + ", ".join(e[4]) + "]"
    print(line)
