#!/usr/bin/env python3
"""The reference job for quillet_structure_bench: BeautifulSoup (lxml parser)
reads a page file, its whole text and the text of every table cell.
Prints the seconds one job took (the interpreter's start not counted)."""
import sys
import time

from bs4 import BeautifulSoup


def job(path):
    with open(path, "rb") as f:
        soup = BeautifulSoup(f.read(), "lxml")
    text = soup.get_text()
    cells = [c.get_text() for table in soup.find_all("table")
             for row in table.find_all("tr") for c in row.find_all(["td", "th"])]
    return len(text), len(cells)


def main():
    path, runs = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 1
    start = time.perf_counter()
    for _ in range(runs):
        job(path)
    print((time.perf_counter() - start) / runs)


if __name__ == "__main__":
    main()
