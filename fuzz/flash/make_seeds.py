#!/usr/bin/env python3
"""Writes the flash fuzz targets' seed files from the test corpus's movies: small DoAction
bodies (action), ABC files (abc), DefineShape bodies (shape), ADPCM sound data (adpcm) and
the Pixel Bender kernels beside the movies (pixel_bender).

    fuzz/flash/make_seeds.py [CORPUS]      default: ../shared/corpus beside the project
"""
import glob
import os
import struct
import sys
import zlib
import lzma

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "..", "..", "shared", "corpus")
LIMIT = 4096  # bytes per seed
PER_TARGET = 40


def plain_body(data):
    """The bytes after the 8-byte header, decompressed."""
    if data[:3] == b"FWS":
        return data[8:]
    if data[:3] == b"CWS":
        return zlib.decompressobj().decompress(data[8:])
    if data[:3] == b"ZWS" and len(data) > 17:
        props = data[12:17]
        header = props + struct.pack("<Q", 0xFFFFFFFFFFFFFFFF)
        try:
            return lzma.LZMADecompressor(lzma.FORMAT_ALONE).decompress(header + data[17:])
        except lzma.LZMAError:
            return b""
    return b""


def tags(body, sprite=False):
    """(code, bytes) of every tag, sprites' inner tags included."""
    if not sprite:
        if not body:
            return
        nbits = body[0] >> 3
        at = (5 + 4 * nbits + 7) // 8 + 4
    else:
        at = 4
    while at + 2 <= len(body):
        (code_len,) = struct.unpack_from("<H", body, at)
        at += 2
        code, length = code_len >> 6, code_len & 0x3F
        if length == 0x3F:
            if at + 4 > len(body):
                return
            (length,) = struct.unpack_from("<I", body, at)
            at += 4
        data = body[at:at + length]
        at += length
        if code == 0:
            if not sprite:
                return
            return
        yield code, data
        if code == 39:
            yield from tags(data, True)


def main():
    found = {"action": [], "abc": [], "shape": [], "adpcm": []}
    for path in sorted(glob.glob(os.path.join(CORPUS, "*", "*", "test.swf"))):
        try:
            data = open(path, "rb").read()
            for code, tag in tags(plain_body(data)):
                if code == 12 and 8 < len(tag) <= LIMIT:
                    found["action"].append(tag[:-1] if tag.endswith(b"\0") else tag)
                elif code == 82 and len(tag) > 4:
                    name_end = tag.find(b"\0", 4)
                    abc = tag[name_end + 1:]
                    if 0 < len(abc) <= LIMIT:
                        found["abc"].append(abc)
                elif code == 72 and 0 < len(tag) <= LIMIT:
                    found["abc"].append(tag)
                elif code in (2, 22, 32, 83) and len(tag) <= LIMIT:
                    version = {2: 0, 22: 1, 32: 2, 83: 3}[code]
                    found["shape"].append(bytes([version, 0, 40]) + tag)
                elif code == 14 and len(tag) > 7 and (tag[2] >> 4) == 1 and len(tag) <= LIMIT:
                    found["adpcm"].append(bytes([tag[2] & 0x0F]) + tag[7:])
        except (OSError, zlib.error, struct.error):
            continue
    for path in sorted(glob.glob(os.path.join(CORPUS, "**", "*.pbj"), recursive=True)):
        with open(path, "rb") as f:
            kernel = f.read()
        if len(kernel) <= LIMIT:
            found.setdefault("pixel_bender", []).append(kernel)
    for target, seeds in found.items():
        folder = os.path.join(HERE, "seeds", target)
        os.makedirs(folder, exist_ok=True)
        unique = sorted(set(seeds), key=lambda s: (len(s), s))
        step = max(1, len(unique) // PER_TARGET)
        for index, seed in enumerate(unique[::step][:PER_TARGET]):
            with open(os.path.join(folder, "%s-%02d" % (target, index)), "wb") as out:
                out.write(seed)
        print(target, min(len(unique), PER_TARGET), "of", len(unique))


if __name__ == "__main__":
    main()
