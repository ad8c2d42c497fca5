#!/usr/bin/env python3
"""Writes the seed corpus of JamBaseFuzz: a few small JAM bases, sound and
damaged, each packed into one fuzz input the way JamBaseFuzz.cpp unpacks it
(see the opening comment there). The bases are built byte by byte here, not
with the program's own writer, so a writer fault cannot shape the seeds.

    python3 fuzz/make_seeds.py [OUTDIR]   (default fuzz/corpus/JamBaseFuzz)
"""

import os
import struct
import sys
import zlib

SIG = b"JAM\0"

# Subfield identifiers and attribute bits the reader knows.
OADDRESS, DADDRESS, SENDERNAME, RECEIVERNAME, SUBJECT = 0, 1, 2, 3, 6
ENCLOSEDFILE, ENCLOSEDFREQ = 9, 11
FTSKLUDGE, SEENBY2D, PATH2D, TZUTCINFO = 2000, 2001, 2002, 2004
MSG_LOCAL, MSG_PRIVATE, MSG_DELETED = 0x1, 0x4, 0x80000000
MSG_FILEREQUEST, MSG_FILEATTACH, MSG_TYPELOCAL = 0x1000, 0x2000, 0x800000

NO_LASTREAD, NO_TEXTFILE = 1, 2  # flag bits of the packed input


def base_header(active, mod=0, base_num=1, created=0x5F000000):
    hdr = SIG + struct.pack("<iiiii", created, mod, active, -1, base_num)
    return hdr + bytes(1000)


def subfield(lo_id, data, dat_len=None, hi_id=0):
    if dat_len is None:
        dat_len = len(data)
    return struct.pack("<HHi", lo_id, hi_id, dat_len) + data


def msg_header(subs, txt_off, txt_len, attr=MSG_TYPELOCAL, number=1,
               subfield_len=None):
    if subfield_len is None:
        subfield_len = len(subs)
    fixed = SIG + struct.pack(
        "<HH" + "i" * 11 + "I" + "i" * 5,
        1, 0, subfield_len, 0, 0, 0, 0, 0, 0,
        0x5F000100, 0x5F000200, 0x5F000300, number,
        attr, 0, txt_off, txt_len, 0, 0)
    assert len(fixed) == 76
    return fixed + subs


def names(frm, to, subj):
    return (subfield(SENDERNAME, frm) + subfield(RECEIVERNAME, to) +
            subfield(SUBJECT, subj))


def name_crc(name):
    """The name CRC as the index and last-read files keep it, signed."""
    crc = zlib.crc32(name.lower()) ^ 0xFFFFFFFF
    return crc - (1 << 32) if crc & 0x80000000 else crc


def lastread(crc, uid, last, high):
    return struct.pack("<iiii", crc, uid, last, high)


class Base:
    """A base in memory: messages appended as the format lays them out."""

    def __init__(self):
        self.hdr = bytearray(base_header(0))
        self.idx = bytearray()
        self.txt = bytearray()
        self.jlr = bytearray()
        self.active = 0

    def add(self, subs, text, attr=MSG_TYPELOCAL, **kw):
        off = len(self.hdr)
        txt_off = kw.pop("txt_off", len(self.txt))
        txt_len = kw.pop("txt_len", len(text))
        self.txt += text
        self.active += 0 if attr & MSG_DELETED else 1
        self.hdr += msg_header(subs, txt_off, txt_len, attr,
                               number=len(self.idx) // 8 + 1, **kw)
        self.idx += struct.pack("<ii", 0x12345678, off)
        self.hdr[12:16] = struct.pack("<i", self.active)
        return off

    def pack(self, delete=1, flags=0, hdr=None, idx=None, txt=None, jlr=None):
        hdr = bytes(self.hdr if hdr is None else hdr)
        idx = bytes(self.idx if idx is None else idx)
        txt = bytes(self.txt if txt is None else txt)
        jlr = bytes(self.jlr if jlr is None else jlr)
        assert max(len(hdr), len(idx), len(txt)) <= 0xFFFF
        head = struct.pack("<HHHBB", len(hdr), len(idx), len(txt), delete,
                           flags)
        return head + hdr + idx + txt + jlr


def seeds():
    out = {}

    # A sound base: three messages, CR and CR LF lines, a last-read file.
    b = Base()
    b.add(names(b"Sysop", b"All", b"Welcome") +
          subfield(OADDRESS, b"2:5020/100.1") +
          subfield(FTSKLUDGE, b"MSGID: 2:5020/100.1 1234abcd") +
          subfield(TZUTCINFO, b"0300"),
          b"one\rtwo\r\nthree\r")
    b.add(names(b"Jane Doe", b"Sysop", b"Re: Welcome") +
          subfield(SEENBY2D, b"5020/100 200") + subfield(PATH2D, b"5020/100"),
          b"\x1b[1;33mcolour\x1b[0m |14pipe|07\r" + b"x" * 300 + b"\rtail")
    b.add(names(b"Bob", b"Jane Doe", b""), b"", attr=MSG_LOCAL | MSG_PRIVATE)
    b.jlr = (lastread(name_crc(b"Sysop"), 1, 2, 3) + lastread(-1, -1, 1, 1) +
             lastread(name_crc(b"Bob"), 2, 3, 3))
    out["sound-three"] = b.pack(delete=2)

    # Attach and request subjects, an unknown subfield, a deleted message,
    # a header-less index record and a trailing partial index record.
    b = Base()
    b.add(names(b"A", b"B", b"subj") + subfield(ENCLOSEDFILE, b"FILE.ZIP") +
          subfield(4321, b"unknown", hi_id=7),
          b"attached\r", attr=MSG_FILEATTACH)
    b.add(subfield(ENCLOSEDFREQ, b"FILES") + names(b"C", b"D", b"freq"),
          b"request\r", attr=MSG_FILEREQUEST)
    b.add(names(b"E", b"F", b"gone"), b"", attr=MSG_DELETED, txt_len=0)
    b.idx += struct.pack("<ii", 0, -1) + b"\x01\x02\x03\x04"
    out["attach-freq-deleted"] = b.pack(delete=1, flags=NO_LASTREAD)

    # Line ends of every kind: LF only (ending in one), CR LF ending the text,
    # CR CR LF, LF CR, an LF after a CR LF, and a text of one LF.
    b = Base()
    b.add(names(b"Unix", b"All", b"lf only"), b"one\ntwo\n")
    b.add(names(b"Dos", b"All", b"cr lf"), b"one\r\ntwo\r\n")
    b.add(names(b"Odd", b"All", b"mixed"), b"a\r\r\nb\n\rc\r\n\nd")
    b.add(names(b"Lf", b"All", b"just lf"), b"\n")
    out["line-ends"] = b.pack(delete=2)

    # A fresh, empty base.
    b = Base()
    out["empty-base"] = b.pack(delete=1)

    # Damaged: a negative DatLen, then a DatLen that runs past the block.
    b = Base()
    b.add(subfield(SENDERNAME, b"Neg", dat_len=-5) + names(b"X", b"Y", b"Z"),
          b"negative datlen\r")
    b.add(names(b"P", b"Q", b"R") + subfield(SUBJECT, b"long", dat_len=300),
          b"past the block\r")
    b.add(subfield(SUBJECT, b"huge", dat_len=0x7FFFFFF0), b"overflow\r",
          subfield_len=0x7FFFFFFF)
    out["damaged-datlen"] = b.pack(delete=3)

    # Damaged: index records pointing past the header file, into the base
    # header, and at a negative offset other than -1.
    b = Base()
    b.add(names(b"Ok", b"All", b"fine"), b"fine\r")
    b.idx += struct.pack("<ii", 0, 60000) + struct.pack("<ii", 0, 8)
    b.idx += struct.pack("<ii", 0, -1024)
    hdr = bytes(b.hdr) + SIG + bytes(20)  # a header cut short by the end
    b.idx += struct.pack("<ii", 0, len(b.hdr))
    out["damaged-hdroffset"] = b.pack(delete=3, hdr=hdr)

    # Damaged: text ranges past the end, before the start, and overflowing.
    b = Base()
    b.add(names(b"T1", b"All", b"past end"), b"short\r", txt_len=5000)
    b.add(names(b"T2", b"All", b"negative"), b"", txt_off=-10, txt_len=20)
    b.add(names(b"T3", b"All", b"overflow"), b"",
          txt_off=0x7FFFFFF0, txt_len=0x7FFFFFF0)
    b.add(names(b"T4", b"All", b"minus len"), b"abc\r", txt_len=-1)
    out["damaged-txtlen"] = b.pack(delete=1)

    # Damaged: a base header of 600 bytes that still carries the signature,
    # and a last-read file whose size is not a multiple of 16.
    b = Base()
    b.add(names(b"S", b"All", b"short header"), b"text\r")
    short = bytes(b.hdr[:600])
    b.jlr = lastread(1, 1, 1, 1) + b"\xff" * 7
    out["damaged-short-header"] = b.pack(delete=1, hdr=short)
    out["damaged-lastread-tail"] = b.pack(delete=1)

    # A bad signature, and a base whose text file is missing.
    b = Base()
    b.add(names(b"N", b"All", b"no sig"), b"x\r")
    bad = bytearray(b.hdr)
    bad[3] = ord("!")
    out["bad-signature"] = b.pack(delete=1, hdr=bad)
    out["missing-text-file"] = b.pack(delete=1, flags=NO_TEXTFILE)
    return out


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    outdir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        here, "corpus", "JamBaseFuzz")
    os.makedirs(outdir, exist_ok=True)
    for name, data in sorted(seeds().items()):
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(data)
        print(f"{name}: {len(data)} bytes")


if __name__ == "__main__":
    main()
