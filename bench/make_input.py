#!/usr/bin/env python3
"""make_input.py PATH MEGABYTES PAGE_BYTES DELIMITER - a Windows-1251 text
for bench_wine.sh: Russian words in lines of about 60 bytes ending CR LF,
cut into pages of about PAGE_BYTES bytes, each closed by the byte DELIMITER
(12 or 10; pages under 128 bytes are one line each). No page is blank, so all of them are written. Prints the page
count."""
import random
import sys

path, megabytes, page_bytes, delimiter = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
words = [w.encode("cp1251") for w in (
    "Привет", "мир", "счёт", "Сумма", "12345,67", "итого", "Иванов", "налог",
    "«заказ»", "№", "поставка", "—", "товар", "ведомость", "январь", "рубль")]
rng = random.Random(1)


def line(limit):
    parts, used = [], 0
    while True:
        w = rng.choice(words)
        if used + len(w) + 1 > limit:
            break
        parts.append(w)
        used += len(w) + 1
    return b" ".join(parts or [b"x"])


# A pool of distinct pages, drawn at random: enough variety, quick to make.
pool = []
for _ in range(256):
    if delimiter == 10:
        pool.append(line(page_bytes - 2) + b"\r\n")
    elif page_bytes < 128:
        # A line a page, closed by the delimiter after its line end.
        pool.append(line(page_bytes - 3) + b"\r\n" + bytes([delimiter]))
    else:
        body = b""
        while len(body) < page_bytes - 64:
            body += line(58) + b"\r\n"
        pool.append(body + bytes([delimiter]))
target = megabytes * 1000000
pages, written = 0, 0
with open(path, "wb") as out:
    chunk = []
    while written < target:
        page = rng.choice(pool)
        chunk.append(page)
        written += len(page)
        pages += 1
        if len(chunk) >= 4096:
            out.write(b"".join(chunk))
            chunk = []
    out.write(b"".join(chunk))
print(pages)
