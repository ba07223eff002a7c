#!/usr/bin/env python3
"""Reads the dialog templates (Dialogs.rc) and the string table (Strings.rc),
the resource scripts the Windows build compiles, and writes the tables the
Linux build takes them from: OUTDIR/DialogTemplates.cpp and
OUTDIR/StringTableData.cpp. It understands the subset of the resource language
those two files use and stops with the file and line of anything else, so a
statement the Windows build would compile never goes missing on Linux.

usage: gen-resources.py DIALOGS.rc STRINGS.rc OUTDIR"""
import os
import re
import sys

# The Win32 values of the names the scripts may use.
NAMES = {
    "WS_POPUP": 0x80000000, "WS_CHILD": 0x40000000, "WS_VISIBLE": 0x10000000,
    "WS_CAPTION": 0x00C00000, "WS_BORDER": 0x00800000, "WS_SYSMENU": 0x00080000,
    "WS_GROUP": 0x00020000, "WS_MINIMIZEBOX": 0x00020000, "WS_TABSTOP": 0x00010000,
    "DS_MODALFRAME": 0x0080, "DS_SETFONT": 0x0040, "WS_EX_APPWINDOW": 0x00040000,
    "BS_PUSHBUTTON": 0x0000, "BS_DEFPUSHBUTTON": 0x0001, "SS_LEFT": 0x0000,
    "LVS_REPORT": 0x0001, "LVS_SINGLESEL": 0x0004, "LVS_SHOWSELALWAYS": 0x0008,
    "LVS_SORTASCENDING": 0x0010,
    "IDOK": 1, "IDCANCEL": 2, "IDC_STATIC": -1,
}
# LANGUAGE statements, as the locale names the Linux side chooses by.
LANGUAGES = {
    ("LANG_ENGLISH", "SUBLANG_ENGLISH_US"): "en_US",
    ("LANG_CHINESE", "SUBLANG_CHINESE_TRADITIONAL"): "zh_TW",
    ("LANG_CHINESE", "SUBLANG_CHINESE_SIMPLIFIED"): "zh_CN",
}
TOKEN = re.compile(r'\s*(?:("(?:[^"]|"")*")|(-?\d+)|([A-Za-z_]\w*)|([,|]))')


class ScriptError(Exception):
    pass


def tokenize(path):
    """(line number, tokens) for each statement line; comments and blank lines
    dropped, strings unquoted (a doubled quote is one quote)."""
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            text = line.split("//", 1)[0].strip() if '"' not in line else line.strip()
            if not text:
                continue
            if text.startswith("#"):
                yield number, [text]
                continue
            tokens, pos = [], 0
            while pos < len(text):
                m = TOKEN.match(text, pos)
                if not m:
                    raise ScriptError(f"{path}:{number}: cannot read {text[pos:]!r}")
                if m.group(1) is not None:
                    body = m.group(1)[1:-1]
                    if "\\" in body:
                        raise ScriptError(f"{path}:{number}: escapes are not supported")
                    tokens.append(("str", body.replace('""', '"')))
                elif m.group(2) is not None:
                    tokens.append(("num", int(m.group(2))))
                elif m.group(3) is not None:
                    tokens.append(("name", m.group(3)))
                else:
                    tokens.append(("op", m.group(4)))
                pos = m.end()
            yield number, tokens


def value(tokens, where):
    """Value of a number, a known name, or names joined by |."""
    total = 0
    for i, (kind, v) in enumerate(tokens):
        if i % 2 == 1:
            if (kind, v) != ("op", "|"):
                raise ScriptError(f"{where}: expected |")
            continue
        if kind == "num":
            total |= v & 0xFFFFFFFF
        elif kind == "name" and v in NAMES:
            total |= NAMES[v] & 0xFFFFFFFF
        else:
            raise ScriptError(f"{where}: unknown value {v!r}")
    return total


def split_args(tokens):
    args, cur = [], []
    for t in tokens:
        if t == ("op", ","):
            args.append(cur)
            cur = []
        else:
            cur.append(t)
    args.append(cur)
    return args


def signed(n):
    return n - (1 << 32) if n & 0x80000000 else n


def read_dialogs(path):
    dialogs, dlg, in_body = [], None, False
    for number, tokens in tokenize(path):
        where = f"{path}:{number}"
        head = tokens[0]
        if isinstance(head, str):
            raise ScriptError(f"{where}: no preprocessor lines here")
        if len(tokens) >= 2 and head[0] == "num" and tokens[1] in (("name", "DIALOG"), ("name", "DIALOGEX")):
            rect = [value(a, where) for a in split_args(tokens[2:])]
            if dlg is not None or len(rect) != 4:
                raise ScriptError(f"{where}: bad dialog header")
            dlg = {"id": head[1], "cx": rect[2], "cy": rect[3], "style": 0, "exstyle": 0,
                   "caption": "", "font": None, "items": []}
        elif dlg is None:
            raise ScriptError(f"{where}: statement outside a dialog")
        elif head == ("name", "STYLE"):
            dlg["style"] = value(tokens[1:], where)
        elif head == ("name", "EXSTYLE"):
            dlg["exstyle"] = value(tokens[1:], where)
        elif head == ("name", "CAPTION") and len(tokens) == 2 and tokens[1][0] == "str":
            dlg["caption"] = tokens[1][1]
        elif head == ("name", "FONT"):
            args = split_args(tokens[1:])
            if len(args) != 2 or len(args[1]) != 1 or args[1][0][0] != "str":
                raise ScriptError(f"{where}: FONT takes a size and a face name")
            dlg["font"] = (value(args[0], where), args[1][0][1])
        elif head == ("name", "BEGIN") and not in_body:
            in_body = True
        elif head == ("name", "CONTROL") and in_body:
            args = split_args(tokens[1:])
            if len(args) != 8 or len(args[0]) != 1 or args[0][0][0] != "str" or args[2][0][0] != "str":
                raise ScriptError(f"{where}: CONTROL text, id, class, style, x, y, cx, cy")
            nums = [value(a, where) for a in args[3:]]
            dlg["items"].append({"text": args[0][0][1], "id": signed(value(args[1], where)),
                                 "class": args[2][0][1], "style": nums[0], "rect": nums[1:]})
        elif head == ("name", "END") and in_body:
            if dlg["font"] is None:
                raise ScriptError(f"{where}: dialog {dlg['id']} has no FONT")
            dialogs.append(dlg)
            dlg, in_body = None, False
        else:
            raise ScriptError(f"{where}: not understood")
    if dlg is not None:
        raise ScriptError(f"{path}: dialog {dlg['id']} not ended")
    return dialogs


def read_strings(path):
    strings, language, state, utf8 = [], None, "", False
    for number, tokens in tokenize(path):
        where = f"{path}:{number}"
        if isinstance(tokens[0], str):
            if tokens[0].replace(" ", "") != "#pragmacode_page(65001)":
                raise ScriptError(f"{where}: only #pragma code_page(65001) is allowed")
            utf8 = True
            continue
        head = tokens[0]
        if head == ("name", "LANGUAGE") and state == "":
            args = split_args(tokens[1:])
            key = tuple(a[0][1] for a in args if len(a) == 1)
            if key not in LANGUAGES:
                raise ScriptError(f"{where}: unknown language {key}")
            language = LANGUAGES[key]
        elif head == ("name", "STRINGTABLE") and state == "" and language:
            state = "table"
        elif head == ("name", "BEGIN") and state == "table":
            state = "body"
        elif state == "body" and head == ("name", "END"):
            state = ""
        elif state == "body" and len(tokens) == 2 and tokens[1][0] == "str":
            if not utf8:
                raise ScriptError(f"{where}: text before #pragma code_page(65001)")
            key = (value([head], where), language)
            if any((s[0], s[1]) == key for s in strings):
                raise ScriptError(f"{where}: string {key[0]} twice in {language}")
            strings.append((key[0], language, tokens[1][1]))
        else:
            raise ScriptError(f"{where}: not understood")
    if state:
        raise ScriptError(f"{path}: string table not ended")
    return strings


def c_string(text):
    """A C++ literal of the UTF-8 bytes, non-ASCII as escapes."""
    out = []
    for b in text.encode("utf-8"):
        if b in (0x22, 0x5C):
            out.append("\\" + chr(b))
        elif 0x20 <= b < 0x7F:
            out.append(chr(b))
        else:
            out.append(f"\\x{b:02x}\"\"")
    return '"' + "".join(out) + '"'


def write_dialogs(dialogs, source):
    lines = [f"// Generated from {source} by gen-resources.py; build output, not edited.",
             '#include "DialogTemplates.h"', "", "#include <iterator>", "", "namespace {", ""]
    for d in dialogs:
        lines.append(f"const CDlgItemTemplate g_items{d['id']}[] = {{")
        for i in d["items"]:
            x, y, cx, cy = i["rect"]
            lines.append(f"    {{{i['id']}, {c_string(i['class'])}, {c_string(i['text'])}, "
                         f"{x}, {y}, {cx}, {cy}, 0x{i['style']:08x}u}},")
        lines += ["};", ""]
    lines.append("const CDlgTemplate g_templates[] = {")
    for d in dialogs:
        size, face = d["font"]
        lines.append(f"    {{{d['id']}, {c_string(d['caption'])}, {c_string(face)}, {size}, "
                     f"{d['cx']}, {d['cy']}, 0x{d['style']:08x}u, 0x{d['exstyle']:08x}u, "
                     f"g_items{d['id']}, static_cast<int>(std::size(g_items{d['id']}))}},")
    lines += ["};", "", "} // namespace", "",
              "const CDlgTemplate* FindDialogTemplate(UINT nID) {",
              "    for (const CDlgTemplate& t : g_templates)",
              "        if (t.nID == nID)",
              "            return &t;",
              "    return nullptr;",
              "}", ""]
    return "\n".join(lines)


def write_strings(strings, source):
    lines = [f"// Generated from {source} by gen-resources.py; build output, not edited.",
             '#include "StringTableData.h"', "", "#include <iterator>", "",
             "const CStringResource g_stringResources[] = {"]
    for nid, language, text in strings:
        lines.append(f"    {{{nid}, \"{language}\", {c_string(text)}}},")
    lines += ["};", "const int g_nStringResources = static_cast<int>(std::size(g_stringResources));", ""]
    return "\n".join(lines)


def write(path, text):
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__.strip().splitlines()[-1])
    try:
        dialogs = read_dialogs(argv[1])
        strings = read_strings(argv[2])
    except (ScriptError, OSError) as e:
        sys.exit(f"gen-resources.py: {e}")
    os.makedirs(argv[3], exist_ok=True)
    write(os.path.join(argv[3], "DialogTemplates.cpp"),
                     write_dialogs(dialogs, os.path.basename(argv[1])))
    write(os.path.join(argv[3], "StringTableData.cpp"),
                     write_strings(strings, os.path.basename(argv[2])))


main(sys.argv)
