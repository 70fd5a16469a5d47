#!/usr/bin/env python3
"""Writes zip archives byte by byte for the zip tool tests: archives that
ordinary tools refuse to make (overlapping entries, sizes that lie, the
encryption flag on plain data) and zip64 archives larger than 4 GiB that
take almost no disk space (the zero runs of stored entries are holes).

Usage: zipcraft.py KIND OUT [ARGS...]

  overlap-shared OUT N    N entries whose records all point at one local
                          header and one deflated stream
  overlap-nested OUT      an entry whose stored data holds a second entry's
                          local header and data
  declared OUT SIZE...    one small entry per SIZE, each declaring SIZE bytes
                          uncompressed (zip64 fields)
  inflates-beyond OUT     an entry declaring 1000 bytes whose deflated data
                          gives 1 MiB
  flagged OUT             a plain stored entry with the encryption flag set
  zip64-sparse OUT        "small.txt", then "huge.bin" stored, 4 GiB + 16
                          bytes of zeros with markers (see MARKERS), then
                          "after.txt" whose local header lies past 4 GiB;
                          zip64 end records
"""
import struct
import sys
import zlib

HUGE_SIZE = (4 << 30) + 16
# Offsets inside huge.bin that hold a non-zero byte (value = index + 1).
MARKERS = [0, (2 << 30) - 1, 2 << 30, (4 << 30) - 1, 4 << 30, HUGE_SIZE - 1]
MAX32 = 0xFFFFFFFF


class Writer:
    def __init__(self, path):
        self.f = open(path, "wb")
        self.central = []

    def tell(self):
        return self.f.tell()

    def local(self, name, method, crc, csize, usize, flag=0, zip64=False):
        name = name.encode()
        extra = b""
        if zip64:
            extra = struct.pack("<HHQQ", 1, 16, usize, csize)
            csize = usize = MAX32
        self.f.write(struct.pack("<IHHHHHIIIHH", 0x04034B50, 45 if zip64 else 20, flag, method, 0, 0x21,
                                 crc, csize, usize, len(name), len(extra)) + name + extra)

    def add_central(self, name, method, crc, csize, usize, offset, flag=0):
        self.central.append((name.encode(), method, crc, csize, usize, offset, flag))

    def finish(self):
        start = self.tell()
        for name, method, crc, csize, usize, offset, flag in self.central:
            fields = []
            if usize >= MAX32:
                fields.append(usize)
                usize = MAX32
            if csize >= MAX32:
                fields.append(csize)
                csize = MAX32
            if offset >= MAX32:
                fields.append(offset)
                offset = MAX32
            extra = struct.pack("<HH", 1, 8 * len(fields)) + b"".join(struct.pack("<Q", v) for v in fields) \
                if fields else b""
            self.f.write(struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 0x0314, 45 if fields else 20, flag, method,
                                     0, 0x21, crc, csize, usize, len(name), len(extra), 0, 0, 0, 0o100644 << 16,
                                     offset) + name + extra)
        size = self.tell() - start
        count = len(self.central)
        if count >= 0xFFFF or start >= MAX32:
            end64 = self.tell()
            self.f.write(struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, count, count, size, start))
            self.f.write(struct.pack("<IIQI", 0x07064B50, 0, end64, 1))
        self.f.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, min(count, 0xFFFF), min(count, 0xFFFF),
                                 min(size, MAX32), min(start, MAX32), 0))
        self.f.close()


def entry(w, name, data, method=0, flag=0, declared=None):
    """A whole entry at the current position; `declared` overrides the
    uncompressed size written in its records."""
    payload = zlib.compress(data)[2:-4] if method == 8 else data
    crc = zlib.crc32(data)
    usize = len(data) if declared is None else declared
    offset = w.tell()
    zip64 = usize >= MAX32
    w.local(name, method, crc, len(payload), usize, flag, zip64)
    w.f.write(payload)
    w.add_central(name, method, crc, len(payload), usize, offset, flag)


def main():
    kind, out = sys.argv[1], sys.argv[2]
    w = Writer(out)
    if kind == "overlap-shared":
        data = b"\0" * 100000
        payload = zlib.compress(data)[2:-4]
        crc = zlib.crc32(data)
        w.local("f0.bin", 8, crc, len(payload), len(data))
        w.f.write(payload)
        for i in range(int(sys.argv[3])):
            w.add_central("f%d.bin" % i, 8, crc, len(payload), len(data), 0)
    elif kind == "overlap-nested":
        inner = b"inner entry data"
        inner_name = b"b.txt"
        inner_local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 0, 0, 0x21, zlib.crc32(inner), len(inner),
                                  len(inner), len(inner_name), 0) + inner_name
        outer = inner_local + inner
        w.local("a.txt", 0, zlib.crc32(outer), len(outer), len(outer))
        inner_offset = w.tell()
        w.f.write(outer)
        w.add_central("a.txt", 0, zlib.crc32(outer), len(outer), len(outer), 0)
        w.add_central("b.txt", 0, zlib.crc32(inner), len(inner), len(inner), inner_offset)
    elif kind == "declared":
        for i, size in enumerate(sys.argv[3:]):
            entry(w, "d%d.bin" % i, b"small", declared=int(size))
    elif kind == "inflates-beyond":
        entry(w, "bomb.bin", b"\0" * (1 << 20), method=8, declared=1000)
    elif kind == "flagged":
        entry(w, "plain.txt", b"not really encrypted", flag=1)
    elif kind == "zip64-sparse":
        entry(w, "small.txt", b"before the big one\n")
        crc = zlib.crc32(b"")
        zeros = bytes(1 << 24)
        at = 0
        for i, m in enumerate(MARKERS):
            while at + len(zeros) <= m:
                crc = zlib.crc32(zeros, crc)
                at += len(zeros)
            crc = zlib.crc32(bytes(m - at), crc)
            crc = zlib.crc32(bytes([i + 1]), crc)
            at = m + 1
        offset = w.tell()
        w.local("huge.bin", 0, crc, HUGE_SIZE, HUGE_SIZE, zip64=True)
        start = w.tell()
        for i, m in enumerate(MARKERS):
            w.f.seek(start + m)
            w.f.write(bytes([i + 1]))
        w.add_central("huge.bin", 0, crc, HUGE_SIZE, HUGE_SIZE, offset)
        entry(w, "after.txt", b"past the 4 GiB offset\n")
    else:
        sys.exit("unknown kind " + kind)
    w.finish()


if __name__ == "__main__":
    main()
