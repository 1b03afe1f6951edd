#!/usr/bin/env python3
"""check_help.py VELMAR_CHM - unpacks the built help file and checks it.

Wine's help viewer shows the window and the contents tree but cannot draw
the pages, so the pages are checked here from the compiled file itself:
unpacked with extract_chmLib (libchm-bin), every topic must be there, in
Windows-1251 and saying so, and must hold the facts a user comes for; the
contents tree and the index must reach every topic; no link may point to a
page or an anchor that the file does not hold.
"""
import os
import re
import subprocess
import sys
import tempfile

TOPICS = {
    "index.htm": ["velmar", "Open and Print"],
    "printing.htm": ["Open and Print", "velmar.exe", "LPT1", "кавычки", "*.TXT", "All"],
    "settings.htm": ["Print To", "Limiter(Decimal)", "Convert To Dos", "Skip empty",
                     "«...»", "LPT2", "LPT3", "RAW", "CUPS", "Ошибка", "300", "44", "Pins", "Auto"],
    "page_range.htm": ["Print", "Cancel", "Найдено", "страниц", "Esc", "Enter", "Просмотр",
                       "Страница", "(пустая, будет пропущена)", "PgDn", "Home", "End", "A4"],
    "log.htm": ["Запуск", "Открытие файла", "Ошибка", "Анализ", "Перекодировка в DOS",
                "Пустая страница пропущена", "Закрытие файла", "ini.ini"],
    "printers.htm": ["net use LPT1:", "/persistent:yes", "CUPS", "scripts/start.sh", "GDI",
                     "Generic / Text Only", "9100", "ESC K", "ESC *", "ESC ?", "ESC D", "ESC 4",
                     "ESC S", "ESC J", "ESC ( V", "ESC $", "ESC l", "ESC ( G", "ESC .", "ESC ^", "ESC r",
                     "/216", "/180", "Pins", "Пустая страница пропущена"],
    "recoding.htm": ["224", "128", "191", "866", "1251", "Ё", "№", "Ґ", "І", "UTF-8", "UTF-16",
                     "FF FE", "FE FF", "EF BB BF", "1125", "Code page", "27 116 n", "Printer setup", "FS 3"],
    "blank_pages.htm": ["32", "Пустая страница пропущена", "Skip empty"],
    "printer_setup.htm": ["Lines per page", "Printer setup", "PAGELINES", "SETUP", "66", "72",
                          "27 64 15", "27, 64, 15", "ESC @", "SI", "DC2", "ESC t", "ESC R", "ESC C",
                          "ESC 0", "ESC 2", "866", "ESC ( t", "Анализ", "Ошибка", "1000"],
    "settings_file.htm": ["ini.ini", "[MAIN]", "POPT", "LIMITER", "TODOS", "SKIPEMPTY", "RECT",
                          "Program Files", "Ошибка", "WATCH", "PINS"],
    "watching.htm": ["Watch folder", "WATCH", "Слежение за папкой", "printed", "failed",
                     "report (2).txt", "~", ".tmp", "2 секунды", "parallel1=file", "captures",
                     "timeout:", "#LPT1.asc", "config.txt", "net use", "Ошибка"],
}

# Recoding table rows that a user looks up: Windows-1251 byte, DOS byte.
RECODED = [("A0", "FF"), ("A1", "F6"), ("A2", "F7"), ("A4", "FD"), ("A8", "F0"), ("AA", "F2"),
           ("AF", "F4"), ("B0", "F8"), ("B7", "FA"), ("B8", "F1"), ("B9", "FC"), ("BA", "F3"),
           ("BF", "F5")]
LOOK_ALIKES = ["84, 93, 94, AB, BB", "91, 92", "82", "8B, 9B", "96, 97, AD", "95", "B2, B3",
               "A5, B4"]
# The rows of the table for a printer set to code page 1125.
RECODED_1125 = [("A5", "F2"), ("B4", "F3"), ("AA", "F4"), ("BA", "F5"), ("B2", "F6"), ("B3", "F7"),
                ("AF", "F8"), ("BF", "F9")]

# The recoding table itself, for the delimiters the help says never cut.
RECODE_SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "engine",
                             "recode.cpp")

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def read_text(folder, name):
    with open(os.path.join(folder, name), "rb") as f:
        data = f.read()
    try:
        return data.decode("cp1251")
    except UnicodeDecodeError as error:
        check(False, f"{name}: not Windows-1251 ({error})")
        return data.decode("cp1251", "replace")


def anchors_of(text):
    return set(re.findall(r'<a\s+name="([^"]+)"', text, re.I))


def table_1125():
    """The recoding table for code page 1125, as the engine has it."""
    with open(RECODE_SOURCE, encoding="utf-8") as f:
        source = f.read()
    table = source[source.index("Dos1125Table[256] = {"):]
    table = table[:table.index("};")]
    return [int(v, 16) for v in re.findall(r"0x([0-9A-Fa-f]{2})", table)]


def never_produced():
    """Byte values the recoding table turns no byte into: as delimiters they
    never end a page of a recoded file."""
    with open(RECODE_SOURCE, encoding="utf-8") as f:
        source = f.read()
    table = source[source.index("DosTable[256] = {"):]
    table = table[:table.index("};")]
    values = [int(v, 16) for v in re.findall(r"0x([0-9A-Fa-f]{2})", table)]
    check(len(values) == 256, f"{RECODE_SOURCE}: the table has {len(values)} entries")
    return set(range(256)) - set(values)


def listed_numbers(text):
    """"176, 178–180 и 254" as the set of numbers it names."""
    numbers = set()
    for low, high in re.findall(r"(\d+)(?:–(\d+))?", text):
        numbers.update(range(int(low), int(high or low) + 1))
    return numbers


def check_target(folder, source, target):
    """A link or a contents/index entry: page (and anchor) must exist."""
    page, _, anchor = target.partition("#")
    page = page or source   # "#anchor": a place on the same page
    if not check(os.path.isfile(os.path.join(folder, page)), f"{source}: {target}: no such page"):
        return None
    if anchor:
        check(anchor in anchors_of(read_text(folder, page)), f"{source}: {target}: no such anchor")
    return page


def sitemap_entries(text):
    """(name, local) of every sitemap object; local is None for a folder."""
    entries = []
    for body in re.findall(r'<OBJECT type="text/sitemap">(.*?)</OBJECT>', text, re.S | re.I):
        name = re.search(r'<param name="Name" value="([^"]*)"', body, re.I)
        local = re.search(r'<param name="Local" value="([^"]*)"', body, re.I)
        entries.append((name.group(1) if name else "", local.group(1) if local else None))
    return entries


def check_sitemap(folder, name, minimum):
    text = read_text(folder, name)
    entries = sitemap_entries(text)
    check(len(entries) >= minimum, f"{name}: {len(entries)} entries, expected at least {minimum}")
    reached = set()
    for entry_name, local in entries:
        check(entry_name.strip() != "", f"{name}: an entry without a name")
        if local is not None:
            page = check_target(folder, name, local)
            if page:
                reached.add(page)
    for topic in TOPICS:
        check(topic in reached, f"{name}: {topic} cannot be reached")
    return text, entries


def main():
    if len(sys.argv) != 2:
        print("usage: check_help.py VELMAR_CHM", file=sys.stderr)
        return 2
    chm = sys.argv[1]
    with tempfile.TemporaryDirectory() as folder:
        result = subprocess.run(["extract_chmLib", chm, folder], capture_output=True)
        if result.returncode != 0:
            print(f"check_help: extract_chmLib failed on {chm}", file=sys.stderr)
            return 1

        with open(os.path.join(folder, "#SYSTEM"), "rb") as f:
            system = f.read()
        check("Справка velmar".encode("cp1251") in system, "#SYSTEM: no Russian title")
        check(b"\x19\x04\x00\x00" in system, "#SYSTEM: language is not Russian (0x0419)")

        for topic, facts in TOPICS.items():
            if not check(os.path.isfile(os.path.join(folder, topic)), f"{topic}: missing"):
                continue
            text = read_text(folder, topic)
            check("charset=windows-1251" in text, f"{topic}: does not declare windows-1251")
            title = re.search(r"<title>([^<]+)</title>", text, re.I)
            check(title and title.group(1).strip(), f"{topic}: no title")
            for fact in facts:
                check(fact in text, f"{topic}: does not mention {fact!r}")
            for target in re.findall(r'href="([^"]+)"', text, re.I):
                if not re.match(r"[a-z]+:", target):
                    check_target(folder, topic, target)

        recoding = read_text(folder, "recoding.htm")
        for windows, dos in RECODED:
            check(re.search(rf"<td>{windows}</td>\s*<td>{dos}</td>", recoding),
                  f"recoding.htm: no row {windows} -> {dos}")
        for codes in LOOK_ALIKES:
            check(f"<td>{codes}</td>" in recoding, f"recoding.htm: no row for {codes}")
        engine_1125 = table_1125()
        for windows, dos in RECODED_1125:
            check(re.search(rf"<td>{windows}</td>\s*<td>{dos}</td>", recoding),
                  f"recoding.htm: no row {windows} -> {dos} for 1125")
            check(len(engine_1125) == 256 and engine_1125[int(windows, 16)] == int(dos, 16),
                  f"recoding.htm: {windows} -> {dos} for 1125 is not what the engine does")
        never = re.search(r"Разделители ([\d–,\sи]+?)\s+не\s+режут вовсе", recoding)
        if check(never, "recoding.htm: no list of the delimiters that never cut"):
            listed, expected = listed_numbers(never.group(1)), never_produced()
            check(listed == expected,
                  f"recoding.htm: never-cutting delimiters listed {sorted(listed)}, "
                  f"the table gives {sorted(expected)}")

        contents, entries = check_sitemap(folder, "contents.hhc", len(TOPICS))
        check(re.search(r"<UL>\s*<LI>.*<UL>", contents, re.S | re.I),
              "contents.hhc: no nested level, not a tree")
        check(entries and entries[0][1] == "index.htm", "contents.hhc: the first entry is not index.htm")

        index, entries = check_sitemap(folder, "index.hhk", 30)
        keywords = {name for name, _ in entries}
        for keyword in ["Ошибка", "ini.ini", "LPT1", "Print To", "перекодировка", "CUPS", "Watch folder",
                        "DOSBox-X, печать в папку", "vDos, печать в папку"]:
            check(keyword in keywords, f"index.hhk: no keyword {keyword!r}")

    for failure in failures:
        print(f"check_help: FAIL: {failure}")
    print(f"check_help: {len(TOPICS)} topics, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
