#!/usr/bin/env python3
"""The resource file's two languages, read from the program's own resources:
every string, menu and dialog of the Chinese block stands in the English one with the same ids,
the same places (%1 ...), the same access keys and shortcuts and the same controls; the English
texts are plain ASCII (every code page shows them); the Chinese texts of tests/data/chinese-texts.txt
are still byte for byte what they were; and no C++ source holds a Chinese string literal but the
files whose bytes a stored file needs.
    resource_languages.py TARNWELL.EXE SRC_DIR [--write-chinese FILE]"""
import re, struct, sys
from pathlib import Path

ZH, EN = 0x0804, 0x0409
RT_MENU, RT_DIALOG, RT_STRING = 4, 5, 6
# Sources whose non-ASCII literals are bytes a stored file or another program needs.
STORED_BYTES = {"repair/RepairLog.cpp": "the repair log's keys and action names, its format"}

def read_res(path):
    """{(type, name, language): data} of the resources of a PE file."""
    data = Path(path).read_bytes()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    table = pe + 24 + optional
    for k in range(sections):
        name, _, rva, raw_size, raw = struct.unpack_from("<8sIIII", data, table + 40 * k)
        if name.rstrip(b"\0") == b".rsrc": break
    else:
        return {}
    base = raw
    def entries(at):
        named, ids = struct.unpack_from("<HH", data, base + at + 12)
        for e in range(named + ids):
            ident, target = struct.unpack_from("<II", data, base + at + 16 + 8 * e)
            if ident & 0x80000000:
                n = base + (ident & 0x7FFFFFFF)
                length = struct.unpack_from("<H", data, n)[0]
                ident = data[n + 2:n + 2 + 2 * length].decode("utf-16-le")
            yield ident, target
    out = {}
    for rtype, t in entries(0):
        for rname, n in entries(t & 0x7FFFFFFF):
            for lang, leaf in entries(n & 0x7FFFFFFF):
                data_rva, size = struct.unpack_from("<II", data, base + leaf)
                out[(rtype, rname, lang)] = data[raw + data_rva - rva:raw + data_rva - rva + size]
    return out

def wstr(data, at):
    end = at
    while struct.unpack_from("<H", data, end)[0]: end += 2
    return data[at:end].decode("utf-16-le"), end + 2

def strings(res, lang):
    out = {}
    for (t, block, l), data in res.items():
        if t != RT_STRING or l != lang: continue
        at = 0
        for i in range(16):
            n = struct.unpack_from("<H", data, at)[0]
            if n: out[(block - 1) * 16 + i] = data[at + 2:at + 2 + 2 * n].decode("utf-16-le")
            at += 2 + 2 * n
    return out

def menu_items(data):
    """(depth, is_popup, id, text) of a MENU template, walking its nested levels."""
    out = []
    def level(at, depth):
        while True:
            flags = struct.unpack_from("<H", data, at)[0]; at += 2
            ident = None
            if not flags & 0x10: ident = struct.unpack_from("<H", data, at)[0]; at += 2
            text, at = wstr(data, at)
            out.append((depth, bool(flags & 0x10), ident, text))
            if flags & 0x10: at = level(at, depth + 1)
            if flags & 0x80: return at
    level(4, 0)
    return out

def dialog(data):
    """(title, [(id, class, text)]) of a DIALOGEX template."""
    def sz_or_ord(at):
        if struct.unpack_from("<H", data, at)[0] == 0xFFFF: return struct.unpack_from("<H", data, at + 2)[0], at + 4
        return wstr(data, at)
    count = struct.unpack_from("<H", data, 16)[0]
    at = 26
    _, at = sz_or_ord(at)  # menu
    _, at = sz_or_ord(at)  # class
    title, at = wstr(data, at)
    at += 6  # point size, weight, italic, charset
    _, at = wstr(data, at)  # face
    controls = []
    for _ in range(count):
        at = (at + 3) & ~3
        ident = struct.unpack_from("<i", data, at + 20)[0]
        cls, p = sz_or_ord(at + 24)
        text, p = sz_or_ord(p)
        extra = struct.unpack_from("<H", data, p)[0]
        controls.append((ident, cls, text if isinstance(text, str) else ""))
        at = p + 2 + extra
    return title, controls

PLACES = re.compile(r"%[1-9]")
def key(text):
    m = re.search(r"&([^&])", text.split("\t")[0])
    return m.group(1).lower() if m else None

def chinese_texts(res):
    """Every Chinese text as 'kind id text' lines (line breaks as \\r and \\n)."""
    lines = [f"string {i} {t}" for i, t in sorted(strings(res, ZH).items())]
    for (t, n, l), data in sorted((k, v) for k, v in res.items() if k[2] == ZH and k[0] in (RT_MENU, RT_DIALOG)):
        if t == RT_MENU:
            lines += [f"menu {n} {'popup' if x[1] else x[2]} {x[3]}" for x in menu_items(data) if x[3]]
        else:
            title, controls = dialog(data)
            lines += [f"dialog {n} {title}"] + [f"dialog {n}.{c[0]} {c[2]}" for c in controls if c[2]]
    return [line.replace("\r", "\\r").replace("\n", "\\n") for line in lines]

def source_literals(src):
    literal = re.compile(r'"(?:[^"\\\n]|\\.)*"')
    for path in sorted(Path(src).rglob("*")):
        if path.suffix not in (".cpp", ".h"): continue
        for n, line in enumerate(path.read_text(encoding="utf-8").split("\n"), 1):
            for m in literal.finditer(line):
                # A quote inside a comment ("// the caption "扫描"") is no literal.
                if "//" in literal.sub("", line[:m.start()]): break
                yield path.relative_to(src).as_posix(), n, m.group(0)

def main():
    res, src = read_res(sys.argv[1]), sys.argv[2]
    faults = []
    zh, en = strings(res, ZH), strings(res, EN)
    if not zh: faults.append("no Chinese strings")
    for i in sorted(set(zh) | set(en)):
        if i not in en: faults.append(f"string {i}: no English"); continue
        if i not in zh: faults.append(f"string {i}: English only"); continue
        if sorted(set(PLACES.findall(zh[i]))) != sorted(set(PLACES.findall(en[i]))):
            faults.append(f"string {i}: places {PLACES.findall(zh[i])} in Chinese, {PLACES.findall(en[i])} in English")
    kinds = {}
    for (t, n, l), data in res.items():
        if t in (RT_MENU, RT_DIALOG) and l in (ZH, EN): kinds.setdefault((t, n), {})[l] = data
    for (t, n), by in sorted(kinds.items()):
        what = f"{'menu' if t == RT_MENU else 'dialog'} {n}"
        if set(by) != {ZH, EN}: faults.append(f"{what}: only in {sorted(hex(l) for l in by)}"); continue
        if t == RT_MENU:
            a, b = menu_items(by[ZH]), menu_items(by[EN])
            shape = lambda items: [(d, p, i, key(x), x.partition("\t")[2]) for d, p, i, x in items]
            if shape(a) != shape(b): faults.append(f"{what}: items, access keys or shortcuts differ")
            en_texts = [x[3] for x in b]
        else:
            (ta, ca), (tb, cb) = dialog(by[ZH]), dialog(by[EN])
            if [(c[0], c[1]) for c in ca] != [(c[0], c[1]) for c in cb]: faults.append(f"{what}: controls differ")
            en_texts = [tb] + [c[2] for c in cb]
        for x in en_texts:
            if any(not (32 <= ord(c) < 127 or c in "\t") for c in x): faults.append(f"{what}: not plain ASCII: {x!r}")
    for i, x in en.items():
        if any(not (32 <= ord(c) < 127 or c in "\t\r\n") for c in x): faults.append(f"string {i}: English not plain ASCII: {x!r}")

    lines = chinese_texts(res)
    if len(sys.argv) > 4 and sys.argv[3] == "--write-chinese":
        Path(sys.argv[4]).write_text("\n".join(lines) + "\n", encoding="utf-8")
    stored = Path(__file__).with_name("data") / "chinese-texts.txt"
    have = set(lines)
    for line in stored.read_text(encoding="utf-8").splitlines():
        if line not in have: faults.append(f"Chinese text changed or gone: {line}")

    for path, n, lit in source_literals(src):
        if any(ord(c) > 127 for c in lit) and path not in STORED_BYTES:
            faults.append(f"src/{path}:{n}: text literal {lit}")
    for f in faults: print(f)
    print(f"{len(zh)} strings, {len(kinds)} menus and dialogs in both languages; {len(faults)} faults")
    return 1 if faults else 0

if __name__ == "__main__":
    sys.exit(main())
