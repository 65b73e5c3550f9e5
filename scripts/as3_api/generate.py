#!/usr/bin/env python3
"""Writes the declaration table of the player's ActionScript 3 API.

Reads the describeType listings of every class (one output.txt per package and SWF
version, under LISTINGS/PACKAGE/swfN/), the hand-written declarations of the packages
those listings leave out (more_classes.xml, same format) and the values of the constants
(constants.txt: "package::Class.NAME = value"), and writes src/flash/avm2/api/
declared_api.inc. Fails when a String/int/uint/Number constant has no value, or a value
names a constant that is not declared.

usage: generate.py LISTINGS [OUT]
"""
import os
import re
import sys
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))

# Depth of the top-level classes the listings extend but do not list.
TOP_LEVEL_DEPTH = {"Object": 0, "Error": 1}

KIND = {"method": 0, "readonly": 1, "readwrite": 2, "writeonly": 3, "constant": 4, "variable": 5}


def parse_listing(text):
    """The <type> elements of a listing (the lines that are not XML are notes)."""
    types = []
    block = []
    for line in text.splitlines():
        if line.startswith("<type "):
            block = [line]
        elif block:
            block.append(line)
            if line.startswith("</type>"):
                types.append(ET.fromstring("\n".join(block).replace(".<", ".&lt;")))
                block = []
    return types


def members_of(el, static):
    out = []
    for m in el:
        tag = m.tag
        if tag not in ("method", "accessor", "constant", "variable"):
            continue
        if m.get("declaredBy") == "Class":
            continue  # prototype, from Class
        params = sorted(m.findall("parameter"), key=lambda p: int(p.get("index")))  # listed sorted as text
        out.append({
            "kind": "method" if tag == "method" else m.get("access") if tag == "accessor" else tag,
            "name": m.get("name"),
            "type": m.get("returnType") if tag == "method" else m.get("type"),
            "declaredBy": m.get("declaredBy"),
            "uri": m.get("uri"),
            "static": static,
            "params": len(params),
            "optional": sum(1 for p in params if p.get("optional") == "true"),
            "paramTypes": " ".join(p.get("type") for p in params),
        })
    return out


def read_class(t):
    name = t.get("name")
    factory = t.find("factory")
    ancestors = [e.get("type") for e in factory.findall("extendsClass")] if factory is not None else []
    interfaces = [e.get("type") for e in factory.findall("implementsInterface")] if factory is not None else []
    ctor = factory.find("constructor") if factory is not None else None
    params = sorted(ctor.findall("parameter"), key=lambda p: int(p.get("index"))) if ctor is not None else []
    return {
        "name": name,
        "ancestors": ancestors,
        "interfaces": interfaces,
        "isInterface": "Object" not in ancestors and name != "Object",
        "final": t.get("final") == "true",
        "dynamic": t.get("dynamic") == "true",
        "base": t.get("base_class"),
        "ctorParams": len(params),
        "ctorOptional": sum(1 for p in params if p.get("optional") == "true"),
        "ctorTypes": " ".join(p.get("type") for p in params),
        "static": members_of(t, True),
        "instance": members_of(factory, False) if factory is not None else [],
    }


def main():
    listings = sys.argv[1]
    out_path = sys.argv[2] if len(sys.argv) > 2 else os.path.join(ROOT, "src/flash/avm2/api/declared_api.inc")
    sources = []  # (version, text)
    for package in sorted(os.listdir(listings)):
        for d in os.listdir(os.path.join(listings, package)):
            m = re.fullmatch(r"swf(\d+)", d)
            path = os.path.join(listings, package, d, "output.txt")
            if m and os.path.exists(path):
                with open(path, encoding="utf-8") as f:
                    sources.append((int(m.group(1)), f.read()))
    with open(os.path.join(HERE, "more_classes.xml"), encoding="utf-8") as f:
        more = f.read()
    sources.sort(key=lambda s: s[0])
    classes = {}
    order = []

    def take(version, t):
        c = read_class(t)
        known = classes.get(c["name"])
        if not known:
            c["version"] = version
            for m in c["static"] + c["instance"]:
                m["version"] = version
            classes[c["name"]] = c
            order.append(c["name"])
            return
        # Later listings add members: they first appear in this version.
        for side in ("static", "instance"):
            have = {(m["kind"] in ("method",), m["name"]) for m in known[side]}
            for m in c[side]:
                if (m["kind"] in ("method",), m["name"]) not in have:
                    m["version"] = version
                    known[side].append(m)
        known["ancestors"], known["interfaces"] = c["ancestors"], c["interfaces"]
        known["ctorParams"], known["ctorOptional"] = c["ctorParams"], c["ctorOptional"]
        known["ctorTypes"] = c["ctorTypes"]

    for version, text in sources:
        for t in parse_listing(text):
            take(version, t)
    # Hand-written classes: "<!-- swfN -->" before a run of <type> elements sets their version.
    version = 9
    for line_block in re.split(r"(?m)^(<!-- swf\d+ -->)$", more):
        m = re.fullmatch(r"<!-- swf(\d+) -->", line_block.strip())
        if m:
            version = int(m.group(1))
            continue
        for t in parse_listing(line_block):
            if t.get("name") in classes:
                sys.exit(f"more_classes.xml: {t.get('name')} is in the listings already")
            take(version, t)

    def depth(name):
        if name in classes:
            return len(classes[name]["ancestors"])
        return TOP_LEVEL_DEPTH.get(name, 1)

    for c in classes.values():
        anc = c["ancestors"]
        if c["isInterface"] or not anc:
            c["baseName"] = ""
            continue
        best = max(anc, key=depth)
        if [a for a in anc if depth(a) == depth(best)] != [best]:
            sys.exit(f"{c['name']}: cannot tell its base among {anc}")
        c["baseName"] = best

    # Own members: those it declares; instance variables and constants (which name no
    # declarer) are its own when its base does not have them.
    for c in classes.values():
        base = classes.get(c.get("baseName", ""))
        base_fields = {m["name"] for m in base["instance"] if m["kind"] in ("variable", "constant")} if base else set()
        own = []
        for m in c["instance"]:
            if m["kind"] in ("variable", "constant"):
                if m["name"] in base_fields:
                    continue
                m["declaredBy"] = c["name"]
            elif m["declaredBy"] != c["name"]:
                continue
            own.append(m)
        for m in c["static"]:
            m["declaredBy"] = c["name"]
        c["own"] = sorted(c["static"], key=lambda m: m["name"]) + sorted(own, key=lambda m: m["name"])

    # Constant values.
    values = {}
    with open(os.path.join(HERE, "constants.txt"), encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            m = re.fullmatch(r"(\S+)\.([A-Za-z0-9_]+)\s*=\s*(.*)", line)
            if not m:
                sys.exit(f"constants.txt:{number}: not 'package::Class.NAME = value'")
            values[(m.group(1), m.group(2))] = m.group(3)
    missing = []
    used = set()
    for c in classes.values():
        for m in c["own"]:
            if m["kind"] != "constant" or not m["static"]:
                continue
            key = (c["name"], m["name"])
            if key in values:
                used.add(key)
                m["value"] = values[key]
            elif m["type"] in ("String", "int", "uint", "Number"):
                missing.append(f"{c['name']}.{m['name']} ({m['type']})")
    unknown = sorted(f"{k[0]}.{k[1]}" for k in set(values) - used)
    if missing or unknown:
        for name in missing:
            print(f"no value: {name}", file=sys.stderr)
        for name in unknown:
            print(f"value of an undeclared constant: {name}", file=sys.stderr)
        sys.exit(1)

    def cstr(s):
        if s is None:
            return "nullptr"
        return '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'

    def literal(m):
        v = m.get("value")
        if v is None:
            return "nullptr"
        if m["type"] == "String":
            if not (v.startswith('"') and v.endswith('"')):
                sys.exit(f"{m['declaredBy']}.{m['name']}: a String value is quoted")
            return cstr(v[1:-1])
        float(v)  # a number
        return cstr(v)

    # Bases before the classes that extend them.
    placed, ordered = set(), []

    def place(name):
        if name in placed or name not in classes:
            return
        placed.add(name)
        c = classes[name]
        place(c["baseName"])
        for i in c["interfaces"]:
            place(i)
        ordered.append(c)

    for name in sorted(classes):
        place(name)

    lines = ["// The player's ActionScript 3 API as declared: written by scripts/as3_api/generate.py",
             "// from the describeType listings, more_classes.xml and constants.txt. Do not edit.", ""]
    lines.append("const DeclaredClass kDeclaredClasses[] = {")
    member_lines = []
    for c in ordered:
        pkg, _, local = c["name"].rpartition("::")
        first = len(member_lines)
        for m in c["own"]:
            member_lines.append(
                f"    {{DeclaredKind::k{m['kind'].capitalize()}, {'true' if m['static'] else 'false'}, {cstr(m['name'])}, "
                f"{cstr(m['type'])}, {m['params']}, {m['optional']}, {m['version']}, {literal(m)}, {cstr(m['uri'])}, "
                f"{cstr(m['paramTypes'])}}},")
        lines.append(
            f"    {{{cstr(pkg)}, {cstr(local)}, {cstr(c['baseName'])}, {cstr(' '.join(c['interfaces']))}, "
            f"{'true' if c['isInterface'] else 'false'}, {c['version']}, {c['ctorParams']}, {c['ctorOptional']}, "
            f"{first}, {len(member_lines) - first}, {cstr(c['ctorTypes'])}}},")
    lines.append("};")
    lines.append("")
    lines.append("const DeclaredMember kDeclaredMembers[] = {")
    lines.extend(member_lines)
    lines.append("};")
    text = "\n".join(lines) + "\n"
    os.makedirs(os.path.dirname(out_path), exist_ok=True)
    tmp = out_path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(tmp, out_path)
    print(f"{out_path}: {len(ordered)} classes, {len(member_lines)} members")


if __name__ == "__main__":
    main()
