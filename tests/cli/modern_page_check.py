#!/usr/bin/python3
"""Reads a modern index.html as a browser would and says what it holds.

    modern_page_check.py PAGE

The page must parse as HTML5 without a single parse error (html5lib in
strict mode), be UTF-8 with LF line ends, fetch nothing from elsewhere and
run no script; otherwise the check prints why on standard error and exits 1.
Then it prints one line per fact, fields separated by tabs:

    title TEXT / h1 TEXT / lang L / charset C / viewport V / parent HREF
    folder HREF TEXT COUNT              each sub-folder link, in order
    cell HREF SRC SRCSET WIDTH HEIGHT ALT LOADING CAPTION
    missing ADDRESS                     a link or picture whose file is absent
    columns N                           the grid's column count in its style

Exit 77 when html5lib is not installed (the test then skips).
"""
import os
import re
import sys
import urllib.parse

try:
    import html5lib
except ImportError:
    print("python3-html5lib is not installed", file=sys.stderr)
    sys.exit(77)


def fail(why):
    print(why, file=sys.stderr)
    sys.exit(1)


def text(element):
    return re.sub(r"\s+", " ", "".join(element.itertext())).strip()


def main():
    page = sys.argv[1]
    folder = os.path.dirname(page)
    raw = open(page, "rb").read()
    if not raw.startswith(b"<!DOCTYPE html>\n"):
        fail("the page does not begin with <!DOCTYPE html>")
    if b"\r" in raw:
        fail("the page has a CR")
    try:
        raw.decode("utf-8", errors="strict")
    except UnicodeDecodeError as e:
        fail("the page is not UTF-8: %s" % e)
    parser = html5lib.HTMLParser(strict=True, namespaceHTMLElements=False)
    try:
        doc = parser.parse(raw, transport_encoding="utf-8")
    except html5lib.html5parser.ParseError as e:
        fail("parse error: %s" % e)

    if doc.findall(".//script") or doc.findall(".//link") or doc.findall(".//iframe"):
        fail("the page has a script, a link element or a frame")
    out = []
    out.append(("lang", doc.get("lang")))
    for meta in doc.findall("./head/meta"):
        if meta.get("charset"):
            out.append(("charset", meta.get("charset")))
        if meta.get("name") == "viewport":
            out.append(("viewport", meta.get("content")))
    out.append(("title", text(doc.find("./head/title"))))
    out.append(("h1", text(doc.find(".//h1"))))
    style = text(doc.find("./head/style"))
    grid = re.search(r"\(100% - (\d+) \* var\(--espace\)\) / (\d+) - 1px", style)
    if grid:
        out.append(("columns", grid.group(2)))

    addresses = []
    parent = doc.find(".//p[@class='parent']/a")
    if parent is not None:
        out.append(("parent", parent.get("href")))
        addresses.append(parent.get("href"))
    for item in doc.findall(".//ul[@class='dossiers']/li"):
        link = item.find("a")
        count = item.find("span")
        out.append(("folder", link.get("href"), text(link), text(count)))
        addresses.append(link.get("href"))
    for item in doc.findall(".//ul[@class='vignettes']/li"):
        link = item.find("figure/a")
        img = link.find("img")
        caption = item.find("figure/figcaption")
        out.append(("cell", link.get("href"), img.get("src"), img.get("srcset") or "", img.get("width"),
                    img.get("height"), img.get("alt"), img.get("loading"), text(caption)))
        addresses += [link.get("href"), img.get("src")]
        for candidate in (img.get("srcset") or "").split(", "):
            if candidate:
                addresses.append(candidate.rsplit(" ", 1)[0])

    for address in addresses:
        if re.match(r"^[a-z]+:|^//", address):
            fail("the page fetches from elsewhere: %s" % address)
        if not os.path.exists(os.path.join(folder, urllib.parse.unquote(address))):
            out.append(("missing", address))
    for fields in out:
        print("\t".join(fields))


main()
