#!/usr/bin/env python3
"""The HTML page of tarvelo-cli in a real browser (headless Chromium).

Usage: html_page_browser_test.py TARVELO_CLI MAKE_SAMPLES CATALOGUE_FOLDER SAMPLES_SOURCE_FOLDER

Over the samples' page (made with --html beside --json): the numbers of its
tables, as the browser reads them, equal the JSON's; the page names nothing
to fetch and keeps its Content-Security-Policy; printed, its sections come in
order. Over files with hostile values (a script, an image whose error runs
one): the page's title, which the scripts would change, stays as it was.
Exits 77 (skipped) when Chromium is not installed.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
from html.parser import HTMLParser

SKIPPED = 77
# A policy number (20 characters, the field's width) that, were it markup,
# would set the page's title.
HOSTILE = "<svg onload=title=1>"


def browser():
    for name in ("chromium", "chromium-browser"):
        path = shutil.which(name)
        if path:
            return path
    return None


def chromium(args, page):
    command = [browser(), "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
               "--user-data-dir=" + os.path.join(os.path.dirname(page), "perfil")] + args + ["file://" + page]
    return subprocess.run(command, capture_output=True, text=True, timeout=120, check=True).stdout


class Tables(HTMLParser):
    """The rows of the DOM's tables: per row its header text and the data-v of its cells."""

    def __init__(self):
        super().__init__()
        self.rows = []  # (section id, row header, [data-v...])
        self.section = ""
        self.row = None
        self.in_header = False
        self.title = None
        self.in_title = False

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "section" and "id" in attrs:
            self.section = attrs["id"]
        elif tag == "tr":
            self.row = ["", []]
        elif tag == "th" and self.row is not None and attrs.get("scope") == "row":
            self.in_header = True
        elif tag == "td" and self.row is not None and "data-v" in attrs:
            self.row[1].append(float(attrs["data-v"]))
        elif tag == "title" and self.title is None:
            self.in_title = True
            self.title = ""

    def handle_endtag(self, tag):
        if tag == "tr" and self.row is not None:
            if self.row[1]:  # a row of numbers, not a header's
                self.rows.append((self.section, self.row[0].strip(), self.row[1]))
            self.row = None
        elif tag == "th":
            self.in_header = False
        elif tag == "title":
            self.in_title = False

    def handle_data(self, data):
        if self.in_header and self.row is not None:
            self.row[0] += data
        if self.in_title:
            self.title += data


def dom_of(page):
    parser = Tables()
    parser.feed(chromium(["--dump-dom"], page))
    return parser


def check_numbers(page, results, failures):
    dom = dom_of(page)
    fields = [row for row in dom.rows if row[0].startswith("campos-")]
    totals = [row for row in dom.rows if row[0] == "totais"]
    expected_fields = [(f["field"], [f["empty"], f["empty_percent"], f["invalid"], f["invalid_percent"]])
                       for file in results["files"] for f in file["fields"]]
    got_fields = [(name, values[:4]) for _, name, values in fields]
    if got_fields != expected_fields:
        failures.append("fields' tables: %r != JSON %r" % (got_fields, expected_fields))
    expected_totals = [(t["line"], [t["reference"], t["file_total"]] +
                        ([] if t["difference_percent"] is None else [t["difference_percent"]]))
                       for file in results["files"] for t in file["totals"]]
    got_totals = [(name, values[:len(expected)]) for (_, name, values), (_, expected) in zip(totals, expected_totals)]
    if got_totals != expected_totals or len(totals) != len(expected_totals):
        failures.append("totals' tables: %r != JSON %r" % (got_totals, expected_totals))
    if not expected_fields or not expected_totals:
        failures.append("the samples' JSON has no fields or no totals")
    return dom.title


def check_self_contained(page, failures):
    with open(page, encoding="utf-8") as f:
        text = f.read()
    if re.search(r"https?:", text, re.IGNORECASE):
        failures.append("the page names a URL: " + re.search(r".{0,40}https?:.{0,40}", text, re.I).group(0))
    if not re.search(r'<meta http-equiv="Content-Security-Policy" content="default-src \'none\';', text):
        failures.append("the page has no Content-Security-Policy forbidding what it does not hold")


def check_printed(page, folder, failures):
    pdf = os.path.join(folder, "pagina.pdf")
    chromium(["--print-to-pdf=" + pdf, "--no-pdf-header-footer"], page)
    text = subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True, text=True, check=True).stdout
    headings = ["Resultado", "Campos de cada arquivo", "Totais comparados com o QDP", "Sinistros sem apólice",
                "Registros com falha", "Regras de cada campo"]
    places = []
    for heading in headings:  # each after the one before
        places.append(text.find(heading, places[-1] if places else 0) if -1 not in places else -1)
    if -1 in places:
        failures.append("the printed sections are not all there in order: %r" % list(zip(headings, places)))


def hostile_page(cli, make_samples, catalogue, source, folder):
    """A claims file whose policies are markup that would run a script, listed as claims without a policy."""
    values = [HOSTILE, "\"><b>x</b>"]
    lines = []
    with open(os.path.join(source, "sinistros.txt"), encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if values and line and not line.startswith(("#", "@", "*|")):
                parts = line.split("|")
                parts[1] = values.pop(0)
                line = "|".join(parts)
            lines.append(line)
    text = os.path.join(folder, "hostil.txt")
    with open(text, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    claims = os.path.join(folder, "hostil.dbf")
    subprocess.run([make_samples, text, claims], check=True)
    page = os.path.join(folder, "hostil.html")
    subprocess.run([cli, "--catalogo", catalogue, "--riscos", os.path.join(folder, "riscos.dbf"), "--sinistros",
                    claims, "--html", page], check=True, stdout=subprocess.DEVNULL)
    return page


def main():
    cli, make_samples, catalogue, source = sys.argv[1:5]
    if browser() is None:
        print("SKIPPED: Chromium is not installed (as root: apt-get install chromium poppler-utils)")
        return SKIPPED
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        folder = os.path.realpath(folder)
        risks = os.path.join(folder, "riscos.dbf")
        claims = os.path.join(folder, "sinistros.dbf")
        subprocess.run([make_samples, os.path.join(source, "riscos.txt"), risks], check=True)
        subprocess.run([make_samples, os.path.join(source, "sinistros.txt"), claims], check=True)
        page = os.path.join(folder, "pagina.html")
        results = os.path.join(folder, "pagina.json")
        subprocess.run([cli, "--catalogo", catalogue, "--riscos", risks, "--sinistros", claims, "--html", page,
                        "--json", results], check=True, stdout=subprocess.DEVNULL)
        with open(results, encoding="utf-8") as f:
            title = check_numbers(page, json.load(f), failures)
        if not title or "tomado" in title:
            failures.append("the samples' page has no title of its own: %r" % title)
        check_self_contained(page, failures)
        # A code refused for the value of the field it depends on names that value.
        with open(page, encoding="utf-8") as f:
            if not re.search(r"permitido para o valor do campo COD_MOD: 6[1-5]<", f.read()):
                failures.append("a failing COD_CULT does not name its COD_MOD")
        check_printed(page, folder, failures)

        hostile = hostile_page(cli, make_samples, catalogue, source, folder)
        dump = chromium(["--dump-dom"], hostile)
        dom = Tables()
        dom.feed(dump)
        if dom.title != title:
            failures.append("a value in the file changed the page's title: %r (was %r)" % (dom.title, title))
        if "&lt;svg onload=title=1&gt;" not in dump or "<svg onload" in dump:
            failures.append("the hostile value is not shown as text in the browser")
    for failure in failures:
        print("FAILED: " + failure)
    print("%d checks failed" % len(failures) if failures else "the page passed every check in the browser")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
