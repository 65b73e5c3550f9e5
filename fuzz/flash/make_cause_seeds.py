#!/usr/bin/env python3
"""Writes seeds that reach the causes of crashes found in the engine's ActionScript 3
code, so that the fuzz targets start from them: a script halted while the player looks
up the document class (flash_movie_fuzzer, seeds/movie), and ABC files for the XML
printer's negative indent, an element put inside itself, a chain of nested elements
and endless recursion (flash_abc_fuzzer, seeds/abc).

    fuzz/flash/make_cause_seeds.py
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def u30(v):
    out = bytearray()
    while True:
        b = v & 0x7F
        v >>= 7
        out.append(b | (0x80 if v else 0))
        if not v:
            return bytes(out)


def s24(v):
    return struct.pack("<i", v)[:3]


class Abc:
    """A minimal ABC file: public names, strings, method bodies and scripts."""

    def __init__(self):
        self.strings, self.names, self.bodies, self.scripts = [], [], [], []
        self.public = self.string("")  # the public namespace's name

    def string(self, s):
        if s not in self.strings:
            self.strings.append(s)
        return self.strings.index(s) + 1

    def name(self, s):
        index = self.string(s)
        if index not in self.names:
            self.names.append(index)
        return self.names.index(index) + 1

    def method(self, code, exceptions=()):
        self.bodies.append((bytes(code), list(exceptions)))
        return len(self.bodies) - 1

    def script(self, init, traits=()):
        self.scripts.append((init, list(traits)))

    def finish(self):
        out = bytearray(b"\x10\x00\x2e\x00")
        out += u30(0) + u30(0) + u30(0)  # ints, uints, doubles
        out += u30(len(self.strings) + 1)
        for s in self.strings:
            data = s.encode()
            out += u30(len(data)) + data
        out += u30(2) + b"\x16" + u30(self.public)  # one namespace: the public one
        out += u30(0)  # namespace sets
        out += u30(len(self.names) + 1)
        for index in self.names:
            out += b"\x07" + u30(1) + u30(index)
        out += u30(len(self.bodies))
        for _ in self.bodies:
            out += u30(0) + u30(0) + u30(0) + b"\x00"  # no parameters, any type, no name
        out += u30(0) + u30(0)  # metadata, classes
        out += u30(len(self.scripts))
        for init, traits in self.scripts:
            out += u30(init) + u30(len(traits))
            for name, method in traits:
                out += u30(name) + b"\x01" + u30(0) + u30(method)
        out += u30(len(self.bodies))
        for i, (code, exceptions) in enumerate(self.bodies):
            out += u30(i) + u30(8) + u30(8) + u30(0) + u30(16) + u30(len(code)) + code
            out += u30(len(exceptions))
            for e in exceptions:
                out += b"".join(u30(x) for x in e)
            out += u30(0)  # traits
        return bytes(out)


def call(abc, function, argc):
    """findpropstrict f; (arguments pushed by the caller after this); callproperty."""
    return b"\x5d" + u30(abc.name(function)), b"\x46" + u30(abc.name(function)) + u30(argc)


def new_xml(abc, text):
    """new XML(text) left on the stack."""
    return b"\x5d" + u30(abc.name("XML")) + b"\x2c" + u30(abc.string(text)) + b"\x4a" + u30(abc.name("XML")) + u30(1)


def trace_top(abc):
    """trace(<top of stack>) through a local."""
    return b"\xd5" + b"\x5d" + u30(abc.name("trace")) + b"\xd1" + b"\x4f" + u30(abc.name("trace")) + u30(1)


def negative_indent():
    abc = Abc()
    code = b"\xd0\x30"
    code += b"\x60" + u30(abc.name("XML")) + b"\x24\xff" + b"\x61" + u30(abc.name("prettyIndent"))  # XML.prettyIndent = -1
    code += new_xml(abc, "<a><b>1</b><c/></a>")
    code += b"\x46" + u30(abc.name("toXMLString")) + u30(0) + trace_top(abc) + b"\x47"
    abc.script(abc.method(code))
    return abc.finish()


def own_ancestor():
    abc = Abc()
    code = b"\xd0\x30" + new_xml(abc, "<a><b><c/></b></a>") + b"\xd5"  # local 1 = a
    code += b"\xd1" + b"\x66" + u30(abc.name("b")) + b"\xd1"  # a.b, a
    code += b"\x4f" + u30(abc.name("appendChild")) + u30(1)  # a.b.appendChild(a)
    code += b"\xd1" + b"\x46" + u30(abc.name("toXMLString")) + u30(0) + trace_top(abc) + b"\x47"
    abc.script(abc.method(code))
    return abc.finish()


def nested_chain():
    # var x = <n/>; for (i = 0; i < 3000; i++) x = <n/>.appendChild(x)... printed at the end.
    abc = Abc()
    code = b"\xd0\x30" + new_xml(abc, "<n/>") + b"\xd5" + b"\x24\x00\xd6"  # x, i = 0
    loop = b"\x09" + new_xml(abc, "<n/>") + b"\xd1" + b"\x46" + u30(abc.name("appendChild")) + u30(1) + b"\xd5"
    loop += b"\xd2\xc0\xd6"  # i++
    loop += b"\xd2\x25" + u30(3000)  # i < 3000
    code += loop + b"\x15" + s24(-(len(loop) + 4))
    code += b"\xd1" + b"\x46" + u30(abc.name("toXMLString")) + u30(0) + trace_top(abc) + b"\x47"
    abc.script(abc.method(code))
    return abc.finish()


def endless_recursion():
    abc = Abc()
    f = abc.name("f")
    body = b"\xd0\x30\x5d" + u30(f) + b"\x4f" + u30(f) + u30(0) + b"\x47"
    code = b"\xd0\x30\x5d" + u30(f) + b"\x4f" + u30(f) + u30(0) + b"\x47"
    abc.script(abc.method(code), [(f, abc.method(body))])
    return abc.finish()


def tag(code, body):
    if len(body) < 63:
        return struct.pack("<H", code << 6 | len(body)) + body
    return struct.pack("<HI", code << 6 | 63, len(body)) + body


def rect(xmax, ymax, nbits=15):
    bits = format(nbits, "05b") + "".join(format(v, "0%db" % nbits) for v in (0, xmax, 0, ymax))
    bits += "0" * (-len(bits) % 8)
    return bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))


def movie(tags, version=10):
    body = rect(11000, 8000) + struct.pack("<HH", 24 << 8, 1) + tags + tag(0, b"")
    return b"FWS" + bytes([version]) + struct.pack("<I", 8 + len(body)) + body


def halt_in_class_lookup():
    # A lazy block whose script loops for ever and declares Test, linked as the document
    # class: the player runs the script when it looks the class up.
    abc = Abc()
    loop = b"\xd0\x30\x09\x10" + s24(-5)
    abc.script(abc.method(loop), [(abc.name("Test"), abc.method(b"\x47"))])
    tags = tag(69, b"\x08\x00\x00\x00") + tag(65, b"\x00\x01\x01\x00")
    tags += tag(82, struct.pack("<I", 1) + b"endless\x00" + abc.finish())
    tags += tag(76, b"\x01\x00\x00\x00Test\x00") + tag(1, b"")
    return movie(tags)


def write(folder, name, data):
    path = os.path.join(HERE, "seeds", folder)
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, name), "wb") as f:
        f.write(data)


if __name__ == "__main__":
    write("abc", "cause-xml-negative-indent", negative_indent())
    write("abc", "cause-xml-own-ancestor", own_ancestor())
    write("abc", "cause-xml-nested-chain", nested_chain())
    write("abc", "cause-endless-recursion", endless_recursion())
    write("movie", "cause-halt-in-class-lookup.swf", halt_in_class_lookup())
