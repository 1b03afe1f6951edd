#!/usr/bin/env python3
"""make_seeds.py - writes the hand-made seed inputs of the fuzz targets into
fuzz/corpus/TARGET/seed-NAME. Coverage alone does not find well-formed,
checksummed settings values or Windows-1251 text that is recoded, so those
come from here. Inputs that once failed are kept beside them as
fuzz/corpus/TARGET/regression-NAME and are never regenerated."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def value(data):
    """A structure as the settings file stores it: hex digits and checksum."""
    return (data.hex().upper() + "%02X" % (sum(data) % 256)).encode()


def int32(n):
    return struct.pack("<i", n)


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "seed-" + name), "wb") as f:
        f.write(data)


RECT = struct.pack("<4i", 100, 80, 450, 280)
FULL_INI = (b"[MAIN]\r\nLIMITER=" + value(b"\x0c") + b"\r\nTODOS=" + value(int32(1)) +
            b"\r\nSKIPEMPTY=" + value(int32(0)) + b"\r\nPOPT=LPT1\r\nRECT=" + value(RECT) + b"\r\n")

# ---- profile: control byte (bit 7 no file, bits 0-1 writes), writes, file
def profile_write_struct(key, data):
    return bytes([0, key, len(data)]) + data


def profile_write_string(text):
    return bytes([1, 0, len(text)]) + text


profile = {
    "well-formed": b"\x00" + FULL_INI,
    "well-formed-lf": b"\x00" + FULL_INI.replace(b"\r\n", b"\n"),
    "well-formed-cr": b"\x00" + FULL_INI.replace(b"\r\n", b"\r"),
    "lower-case": b"\x00" + FULL_INI.lower(),
    "blanks-and-quotes": b"\x00 [ main ] \n todos = " + value(int32(1)) + b" \n\tPOPT = \"C:\\out\\a b.prn\" \n",
    "bad-values": b"\x00[MAIN]\r\nLIMITER=0C0D\r\nTODOS=01000000\r\nSKIPEMPTY=0100000001FF\r\nRECT=zz\r\n",
    "two-sections": b"\x00[MAIN]\r\nPOPT=first\r\n[Other]\r\nTODOS=" + value(int32(0)) +
                    b"\r\n[MAIN]\r\nPOPT=second\r\nLIMITER=" + value(b"\x0a") + b"\r\n",
    "comments-and-junk": b"\x00; comment\r\n[MAIN\r\n=x\r\n[MAIN]\r\n;TODOS=" + value(int32(0)) +
                         b"\r\nnoequals\r\nLIMITER = " + value(b"\x23") + b"\r\n\x00\xff\r\n",
    "binary": b"\x00" + bytes(range(256)),
    "no-file-writes": b"\x83" + profile_write_struct(0, b"\x2a") + profile_write_string(b"PRN") +
                      profile_write_struct(3, RECT),
    "writes-into-file": b"\x03" + profile_write_struct(1, int32(0)) + profile_write_string(b"  \\\\host\\EPSON  ") +
                        profile_write_struct(2, int32(2)) + FULL_INI,
    "writes-into-cr-file": b"\x02" + profile_write_struct(0, b"\x0c") + profile_write_string(b"'q'") +
                           FULL_INI.replace(b"\r\n", b"\r"),
    "write-line-break": b"\x01" + profile_write_string(b"X\r\nLIMITER=0A0A") + FULL_INI,
    "write-long-string": b"\x01" + profile_write_string(b"L" * 255) + b"[MAIN]\nPOPT=old\n",
    "long-value": b"\x00[MAIN]\nPOPT=" + b"v" * 600 + b"\nRECT=" + value(RECT) + b"\n",
    "section-only": b"\x01" + profile_write_struct(1, int32(1)) + b"[MAIN]",
}
for name, data in profile.items():
    write("profile", name, data)

# ---- decimal: text; its first four bytes are also a number to write
decimal = {
    "zero": b"0", "twelve": b"12", "minus-one": b"-1", "max": b"4294967295", "wraps": b"4294967296",
    "blanks-sign": b" \t\n\r\x0b\x0c+7x", "lone-sign": b"-", "sign-blank": b"+ 5",
    "high-byte": b"\xa05", "int-min": b"\x00\x00\x00\x80", "long": b"9" * 40,
    "minus-wrap": b"-2147483649", "count-max": b"\xff\xff\xff\xff",
}
for name, data in decimal.items():
    write("decimal", name, data)

# ---- command_line: a whole command line, also taken as a tail
command_line = {
    "plain": b"velmar.exe report.txt",
    "quoted-program": b"\"C:\\Program Files\\velmar.exe\" C:\\a.txt",
    "quoted-file": b"\"C:\\Documents and Settings\\user\\report.txt\" more",
    "unterminated": b"\"C:\\dir name\\file.txt",
    "tab-inside": b"a\tb c",
    "long": b"x" * 300,
    "exactly-255": b"y" * 255 + b" z",
    "controls": b"velmar.exe \x01\x1f\t\r\n file",
}
for name, data in command_line.items():
    write("command_line", name, data)

# ---- print_job: delimiter, answer, From, To, output kind, old output / 4,
#      fault, name length, settings length (255: none), settings, file
PRINT, CANCEL = 0, 2
NEW, OLD = 0, 1
THE_INPUT, MISSING_FOLDER, EMPTY_NAME, A_FOLDER, INPUT_MISSING = 200, 201, 202, 203, 204
# Printer kinds; their name byte also says which letters change case.
QUEUE, REFUSING, NEAR_MISS = 160, 162, 163
HEAP, READ, WRITE = 0x40, 0x80, 0xC0
SHORT_WRITE = WRITE | 0x10
# The settings text runs on: its last two characters repeated 1 + name / 2 times.
STRETCH = 0x20


def job(file, settings=None, delimiter=12, answer=PRINT, first=1, last=127, kind=NEW, old=0, fault=0, name=5):
    settings_part = b"\xff" if settings is None else bytes([len(settings)]) + settings
    header = bytes([delimiter, answer, first & 0xFF, last & 0xFF, kind, old, fault, name])
    return header + settings_part + file


def switches(todos, skip):
    text = b"[MAIN]\r\n"
    if todos is not None:
        text += b"TODOS=" + value(int32(todos)) + b"\r\n"
    if skip is not None:
        text += b"SKIPEMPTY=" + value(int32(skip)) + b"\r\n"
    return text


THREE = b"page one\r\n\fpage two\r\n\fpage three\r\n"
RUSSIAN = "Привет, мир! Ёлка № 5 «ёлочка» — тест\r\n\f \r\n\fЁё ЇїІіЄєҐґЎў\r\n".encode("cp1251")
print_job = {
    "three-pages": job(THREE, switches(0, 0)),
    "second-page": job(THREE, switches(0, 0), first=2, last=2),
    "russian-both-on": job(RUSSIAN, None),
    "russian-todos-off": job(RUSSIAN, switches(0, None)),
    "russian-skip-only": job(RUSSIAN, switches(2, 1)),
    "dos-text": job("Привет мир абвгдежзийклмноп".encode("cp866"), switches(1, 1)),
    "every-byte": job(bytes(range(256)) * 2, switches(1, 0), delimiter=0xC0),
    "line-feeds": job(b"a\r\nb\r\n\r\n  \r\nc", switches(1, 1), delimiter=10),
    "cr-only-settings": job(THREE + b"\f", switches(0, 1).replace(b"\r\n", b"\r")),
    "old-output-longer": job(b"new", switches(0, 0), kind=OLD, old=20),
    "old-output-cancel": job(THREE, switches(0, 0), answer=CANCEL, kind=OLD, old=5),
    "from-zero": job(THREE, switches(0, 0), first=0, last=3),
    "from-negative": job(THREE, switches(0, 0), first=-2, last=3),
    "to-negative": job(THREE, switches(0, 0), first=2, last=-1),
    "from-above-to": job(THREE, switches(0, 0), first=3, last=2),
    "answer-other": job(THREE, switches(0, 0), answer=3),
    "empty-file": job(b"", switches(1, 1)),
    "delimiters-only": job(b"\f" * 40, None),
    "ends-with-delimiter": job(b"one\ftwo\f", switches(0, 1)),
    "output-is-input": job(THREE, None, kind=THE_INPUT),
    "output-missing-folder": job(THREE, None, kind=MISSING_FOLDER),
    "output-empty-name": job(THREE, None, kind=EMPTY_NAME),
    "output-folder": job(THREE, None, kind=A_FOLDER),
    "input-missing": job(THREE, None, kind=INPUT_MISSING),
    "long-names": job(THREE, switches(0, 0), name=239),
    "heap-line": job(THREE, None, fault=HEAP | 0),
    "heap-image": job(THREE, None, fault=HEAP | 1),
    "heap-table": job(THREE, None, fault=HEAP | 2),
    "heap-table-second": job(THREE, None, fault=HEAP | 3, kind=OLD, old=3),
    "short-read": job(THREE, None, fault=READ | 0),
    "write-fails-first": job(THREE, switches(0, 0), fault=WRITE | 0, kind=OLD, old=30),
    "write-fails-second": job(THREE, switches(0, 0), fault=WRITE | 1),
    "delimiter-above-32": job(b"  #\r\n#  ", switches(0, 1), delimiter=ord("#")),
    "recoded-delimiter": job(bytes([ord("a"), 0xC0, ord("b"), 0xE0, 0xE0, 0xC0, ord("c")]), None, delimiter=128),
    "queue-three-pages": job(THREE, switches(0, 0), kind=QUEUE, name=0),
    "queue-other-case": job(THREE, switches(0, 0), first=2, last=2, kind=QUEUE, name=0xA5),
    "queue-russian": job(RUSSIAN, None, kind=QUEUE, name=0xFF),
    "queue-cancel": job(THREE, switches(0, 0), answer=CANCEL, kind=QUEUE),
    "queue-all-blank": job(b" \r\n\f\t\f", switches(0, 1), kind=QUEUE),
    "queue-empty-range": job(THREE, switches(0, 0), first=3, last=2, kind=QUEUE),
    "queue-write-fails-first": job(THREE, switches(0, 0), fault=WRITE | 0, kind=QUEUE),
    "queue-write-fails-second": job(THREE, switches(0, 0), fault=WRITE | 1, kind=QUEUE, name=3),
    "queue-short-write": job(THREE, switches(0, 0), fault=SHORT_WRITE | 2, kind=QUEUE),
    "queue-no-memory-list": job(THREE, None, fault=HEAP | 1, kind=QUEUE),
    "queue-no-memory-name": job(THREE, None, fault=HEAP | 2, kind=QUEUE),
    "queue-no-memory-image": job(THREE, None, fault=HEAP | 3, kind=QUEUE),
    "refusing": job(THREE, switches(0, 0), kind=REFUSING, name=0x11),
    "refusing-nothing-written": job(THREE, switches(0, 0), answer=CANCEL, kind=REFUSING),
    "refusing-write-fails": job(THREE, switches(0, 0), fault=WRITE | 0, kind=REFUSING),
    "near-miss": job(THREE, switches(0, 0), kind=NEAR_MISS, name=0x40),
    "near-miss-no-memory-list": job(THREE, None, fault=HEAP | 1, kind=NEAR_MISS),
    # The printer's form: set-up bytes and pages by line count.
    "setup-three-pages": job(THREE, switches(0, 0) + b"SETUP=27 64 15\r\n"),
    "setup-commas-second-page": job(THREE, switches(0, 0) + b"SETUP=27, 64,15\r\n", first=2, last=2),
    "setup-blank-first": job(b" \r\n\ftext\f", switches(0, 1) + b"SETUP=15\r\n"),
    "setup-cancel": job(THREE, switches(0, 0) + b"SETUP=27 64\r\n", answer=CANCEL, kind=OLD, old=4),
    "setup-word": job(THREE, switches(1, 0) + b"SETUP=ESC @\r\n", kind=OLD, old=4),
    "setup-above-255": job(THREE, switches(0, 0) + b"SETUP=27 256\r\n"),
    "setup-stray-comma": job(THREE, switches(0, 0) + b"SETUP=27,,64\r\n"),
    "setup-quoted": job(THREE, switches(0, 0) + b"SETUP=\"27 64\"\r\n"),
    "setup-write-fails": job(THREE, switches(0, 0) + b"SETUP=27 64\r\n", fault=WRITE | 0, kind=OLD, old=9),
    "setup-page-write-fails": job(THREE, switches(0, 0) + b"SETUP=27 64\r\n", fault=WRITE | 1),
    # "15 1" and " 1" 126 times is 256 characters, one too many; 125 times is 254.
    "setup-stretched-256": job(THREE, switches(0, 0) + b"SETUP=15 1", fault=STRETCH, name=250),
    "setup-stretched-254": job(THREE, switches(0, 0) + b"SETUP=15 1", fault=STRETCH, name=248),
    "setup-queue": job(THREE, switches(0, 0) + b"SETUP=27 64 15\r\n", kind=QUEUE),
    "setup-queue-write-fails": job(THREE, switches(0, 0) + b"SETUP=27 64 15\r\n", fault=WRITE | 0, kind=QUEUE),
    "setup-queue-short-write": job(THREE, switches(0, 0) + b"SETUP=18\r\n", fault=SHORT_WRITE | 0, kind=QUEUE),
    "setup-queue-malformed": job(THREE, switches(0, 0) + b"SETUP=x\r\n", kind=QUEUE),
    "pagelines-report": job(b"".join(b"line %d\r\n" % n for n in range(1, 151)),
                            switches(0, 0) + b"PAGELINES=" + value(int32(66)) + b"\r\n", first=2, last=2),
    "pagelines-exact": job(b"a\nb\nc\nd\n", switches(0, 1) + b"PAGELINES=" + value(int32(2)) + b"\r\n"),
    "pagelines-form-feeds": job(b"a\nb\n\fc\nd\ne\f", switches(0, 1) + b"PAGELINES=" + value(int32(2)) + b"\r\n"),
    "pagelines-line-feed-delimiter": job(b"a\nb\nc", switches(0, 0) + b"PAGELINES=" + value(int32(2)) + b"\r\n",
                                         delimiter=10),
    "pagelines-recoded": job(RUSSIAN, b"[MAIN]\r\nPAGELINES=" + value(int32(1)) + b"\r\nSETUP=27 116 17\r\n",
                             kind=QUEUE),
}
for name, data in print_job.items():
    write("print_job", name, data)


# ---- layout: byte 0 code page and carriage, byte 1 set-up length and form,
# the set-up bytes, then the file (pages at form feeds)
def layout_seed(name, text, codepage_1125=False, columns=80, setup=b"", form_lines=0):
    head = bytes([(1 if codepage_1125 else 0) | ((columns - 8) << 1),
                  len(setup) | ((form_lines // 8) << 4)])
    write("layout", name, head + setup + text)


CP866_REPORT = "Отчёт за март\r\nИтого: ".encode("cp866")
layout_seed("plain-pages", b"one\r\ntwo\r\n\fthree\r\n\f")
layout_seed("cyrillic-1125", CP866_REPORT + b"\xf2\xf3\xf4\xf5", codepage_1125=True)
layout_seed("bold-underline", b"a\x1bEbold\x1bF \x1b-1under\x1b-0 x\bx y\b_\r\n")
layout_seed("pitches", b"\x1bM12\x1bg15\x1bP10\x0fcond\x12\x0ewide\x14\x1bW1w\x1bW0\n")
layout_seed("spacing-forms", b"\x1b0a\n\x1b3\x10b\n\x1bA\x0cc\n\x1bC\x03" + b"l\n" * 8 +
            b"\x1bC\x00\x01" + b"m\n" * 8 + b"\x1b@z")
layout_seed("graphics", b"a\x1b*\x00\x04\x00GRPH\x1bK\x02\x00\n\n\x1b^\x00\x01\x00AB"
            b"\x1b(^\x02\x00XY\x1b.\x01\x0a\x0a\x02\x10\x00\x01XY\xfeZ"
            b"\x1b&\x00AA\x00\x01\x00QQQ\x1bD\x08\x10\x00b")
layout_seed("cut-command", b"x\x1bK\x08\x00ABC\fDEFGHy\x1bC\f\x0cz")
layout_seed("wrap-narrow", b"w" * 50 + b"\t\tq" * 3 + b"\r\n", columns=8)
layout_seed("long-page", b"line\r\n" * 70 + b"\f" + b"x\r\n" * 66 + b"\f")
layout_seed("setup-condensed", b"condensed from the set-up\r\n", setup=b"\x0f", form_lines=40)
layout_seed("overstrike-crowd", (b"".join(bytes([33 + i % 90]) + b"\r" for i in range(400))))
# Bit images: every drawn mode, bands joined by ESC 3 24, ESC ? reassigning
# K, an image past a narrow carriage, one cut by a page's end, text after.
layout_seed("bit-images", b"".join(b"\x1b*" + bytes([m, 5, 0]) + bytes([0x81, 0xff, 0, 0x3c, 0xaa]) * (3 if m >= 32 else 1)
                                   for m in (0, 1, 2, 3, 4, 5, 6, 7, 32, 33, 38, 39, 40)) +
            b"x\r\n\x1b3\x18\x1bL\x04\x00\xff\xf0\x0f\xff\n\x1bL\x04\x00\xff\x0f\xf0\xff\n"
            b"\x1b?K\x27\x1bK\x02\x00\x80\x00\x01\xff\xff\xffy\x1bZ\x03\x00\x01\x02\x0c\x04z")
layout_seed("bit-image-narrow", b"ab\x1bK\x40\x00" + bytes(range(0x40)) + b"c\r\n", columns=8)
layout_seed("tabs-italic-scripts", b"\x1bD\x04\x08\x02a\tb\tc\td\r\n\x1bD\x00\te\x1b@\tf\x1b4i\x1b5"
            b"\x1bS\x00s\x1bS\x01t\x1bTu\x1bB\x05\x03v\x1bb\x01\x07\x02w\n")

# ---- print_job, Unicode input and the printer's code page
def with_code_page(text, code_page):
    return text + b"CODEPAGE=" + value(int32(code_page)) + b"\r\n"


UKRAINIAN = "Ґанок, Єва, Іван, Їжак: ґ є і ї — №1 «лапки»\r\n\fСторінка друга\r\n"
unicode_jobs = {
    "utf8-mark": job(b"\xef\xbb\xbf" + UKRAINIAN.encode("utf-8"), switches(1, 0)),
    "utf8-plain-1125": job(UKRAINIAN.encode("utf-8"), with_code_page(switches(1, 0), 1125)),
    "utf16le-1125": job(b"\xff\xfe" + UKRAINIAN.encode("utf-16-le"), with_code_page(switches(1, 1), 1125)),
    "utf16be": job(b"\xfe\xff" + UKRAINIAN.encode("utf-16-be"), switches(1, 0), delimiter=0x8F),
    "utf8-shrinks-delimiter": job("абв\fгде\f".encode("utf-8"), switches(1, 0), first=2, last=3),
    "cp1251-ukrainian-1125": job(UKRAINIAN.encode("cp1251"), with_code_page(switches(1, 0), 1125)),
    "mark-only": job(b"\xef\xbb\xbf", switches(1, 1)),
}
for name, data in unicode_jobs.items():
    write("print_job", name, data)

# ---- recode: stored code page (bits 0-1: 866, 1125, 0, 1251), image
TEXT = "Привет, мир! Ґґ Єє Іі Її Ўў Ёё № ° · • „“ ‘’ – — … ■ ╔═╗ √ ∙ ¤ \u00a0 €\r\n\f"
recode = {
    "utf8-866": b"\x00" + TEXT.encode("utf-8"),
    "utf8-1125": b"\x01" + TEXT.encode("utf-8"),
    "utf8-mark-ascii": b"\x00\xef\xbb\xbfplain\r\n",
    "utf8-mark-bad": b"\x01\xef\xbb\xbf\xd0\x9f\xc0\xaf\xe0\x80\xaf\xed\xa0\x80\xf4\x90\x80\x80\xf0\x9f\x98\x80\xd0",
    "utf8-no-cyrillic": b"\x00" + "naïve café — ok".encode("utf-8"),
    "utf8-invalid-late": b"\x00" + "Привет".encode("utf-8") + b" \xff",
    "utf16le": b"\x00\xff\xfe" + TEXT.encode("utf-16-le") + b"\x00\xd8A\x00\x3d\xd8\x00\xde\x41",
    "utf16be-1125": b"\x01\xfe\xff" + TEXT.encode("utf-16-be") + b"\xdc\x00",
    "utf16-mark-only": b"\x02\xff\xfe",
    "cp1251": b"\x00" + TEXT.encode("cp1251", "replace"),
    "cp1251-1125": b"\x01" + TEXT.encode("cp1251", "replace"),
    "cp1251-stored-1251": b"\x03" + TEXT.encode("cp1251", "replace"),
    "cp866": b"\x00" + "Привет мир абвгдежзийклмноп".encode("cp866"),
    "every-byte": b"\x01" + bytes(range(256)) + bytes(range(224, 256)) * 3,
    "empty": b"\x00",
    "utf8-long": b"\x00" + ("Счёт № 5 — итого, «ёлка» " * 12).encode("utf-8"),
    "utf8-long-bad-late": b"\x01" + ("Ґанок і Їжак — " * 10).encode("utf-8") + b"\xc0" + "кінець".encode("utf-8"),
    "utf8-mark-long-bad": b"\x00\xef\xbb\xbf" + ("Привет, мир — " * 8).encode("utf-8") + b"\xe2\x80" + "ещё".encode("utf-8"),
}
for name, data in recode.items():
    write("recode", name, data)
