#!/usr/bin/env python3
"""Report pages as a browser shows them: headless Chromium loads each page from disk, runs its
scripts, and the resulting DOM is read back. A run of a PNML net with a hostile file name must
show its bound (the JSON record's), every chart drawn, the net drawn and the name as text; a
failed run must show its error; neither may record a script error or hold an injected element.

    browser_test.py ZELBO     (exit 77, skipped, without chromium)
"""
import html.parser
import json
import os
import shutil
import subprocess
import sys
import tempfile

HOSTILE = "<script>alert(1)</script>&\"q'.pnml"
NET = """<?xml version="1.0" encoding="UTF-8"?>
<pnml xmlns="http://www.pnml.org/version-2009/grammar/pnml">
  <net id="n" type="http://www.pnml.org/version-2009/grammar/ptnet"><page id="top">
    <place id="&lt;script&gt;alert(1)&lt;/script&gt;"><initialMarking><text>1</text></initialMarking></place>
    <place id="p&quot;'&amp;"/>
    <transition id="&lt;img src=x onerror=alert(2)&gt;"/>
    <transition id="t&amp;"/>
    <arc id="a1" source="&lt;script&gt;alert(1)&lt;/script&gt;" target="&lt;img src=x onerror=alert(2)&gt;"/>
    <arc id="a2" source="&lt;img src=x onerror=alert(2)&gt;" target="p&quot;'&amp;"/>
    <arc id="a3" source="p&quot;'&amp;" target="t&amp;"/>
    <arc id="a4" source="t&amp;" target="&lt;script&gt;alert(1)&lt;/script&gt;"/>
  </page></net>
</pnml>
"""
DEADLOCK = ".stpn dead\n.place p .preset {b} .poset {a} .mark\n.place q .preset {a} .poset {b}\n" \
           ".place r .poset {b}\n.delay p .fix 2\n.delay q .fix 3\n.delay r .fix 1\n.tse (a b 0)\n"


class Dom(html.parser.HTMLParser):
    """Elements with their attributes and text, in document order."""

    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.elements, self.open = [], []
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        element = {"tag": tag, "attrs": dict(attrs), "text": "", "parent": self.open[-1] if self.open else None}
        self.elements.append(element)
        if tag not in ("meta", "br", "img", "input", "link", "hr"):
            self.open.append(element)

    def handle_endtag(self, tag):
        if any(e["tag"] == tag for e in self.open):
            while self.open.pop()["tag"] != tag:
                pass

    def handle_data(self, data):
        for element in self.open:
            element["text"] += data

    def find(self, tag=None, **attrs):
        return [e for e in self.elements if (tag is None or e["tag"] == tag)
                and all(e["attrs"].get(k.replace("_", "-")) == v for k, v in attrs.items())]

    def inside(self, element, tag):
        """The elements of a tag inside an element."""
        def within(e):
            while e is not None and e is not element:
                e = e["parent"]
            return e is element
        return [e for e in self.find(tag) if within(e)]

    def one(self, tag=None, **attrs):
        found = self.find(tag, **attrs)
        assert len(found) == 1, (tag, attrs, len(found))
        return found[0]


def load(page):
    """The DOM of a page after its scripts ran in headless Chromium."""
    profile = tempfile.mkdtemp()
    try:
        out = subprocess.run(
            ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--no-first-run", "--user-data-dir=" + profile,
             "--virtual-time-budget=5000", "--dump-dom", "file://" + os.path.abspath(page)],
            capture_output=True, text=True, timeout=60, check=True).stdout
    finally:
        shutil.rmtree(profile, ignore_errors=True)
    return Dom(out)


def check_page(dom, charts):
    """What every page must be: its script ran to the end without error, each chart drawn,
    and no element but its own (four scripts, nothing with an event handler)."""
    body = dom.one("body")
    assert body["attrs"]["data-ready"] == "true", body["attrs"]
    assert body["attrs"]["data-script-errors"] == "0", dom.one(id="script-errors")["text"]
    canvases = dom.find("canvas")
    assert len(canvases) == charts == int(body["attrs"]["data-charts"]), len(canvases)
    assert all(c["attrs"].get("data-drawn") == "true" for c in canvases)
    assert len(dom.find("script")) == 4 and not dom.find("img")
    assert not [e for e in dom.elements if any(a.startswith("on") for a in e["attrs"])]


def main():
    if not shutil.which("chromium"):
        print("report.browser: skipped, chromium is not installed (scripts/install-deps installs it)")
        return 77
    zelbo = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as work:
        os.mkdir(os.path.join(work, "<script>alert(1)<"))  # the file name holds a slash
        with open(os.path.join(work, HOSTILE), "w") as f:
            f.write(NET)
        with open(os.path.join(work, "dead.stpn"), "w") as f:
            f.write(DEADLOCK)
        run = lambda *args: subprocess.run([zelbo, "-pp", "0", *args], cwd=work, capture_output=True).returncode
        assert run("-seed", "7", "-ss", "400", "-delay", ".uni 1 1", "-critical", "3", "-json", "ok.json", "-report",
                   "ok.html", HOSTILE) == 0
        assert run("-seed", "7", "-ss", "10", "-report", "dead.html", "dead.stpn") == 1
        with open(os.path.join(work, "ok.json")) as f:
            record = json.load(f)

        ok = load(os.path.join(work, "ok.html"))
        check_page(ok, charts=2)
        assert ok.one(id="model-file")["text"] == HOSTILE
        target = record["targets"][0]  # the names as the file writes them
        cells = ok.inside(ok.one(id="result-0"), "td")
        assert cells[0]["text"] == f"TSE({target['source']}, {target['destination']}, 1)", cells[0]
        assert float(cells[2]["attrs"]["data-value"]) == record["result"]["bound"]
        assert float(cells[3]["attrs"]["data-value"]) == record["result"]["half_width"]
        assert ok.one(data_fact="samples")["attrs"]["data-value"] == "400"
        assert ok.one(data_fact="seed")["attrs"]["data-value"] == "7"
        assert len(ok.inside(ok.one(id="net"), "svg")) == 1
        assert len(ok.find("g", **{"class": "node"})) == 4
        # The critical places as ranked, their names as text; the drawing coloured by them.
        rows = ok.inside(ok.one("table", **{"class": "critical"}), "tr")[1:]
        assert len(rows) == len(target["critical"]) > 0
        for k, (row, c) in enumerate(zip(rows, target["critical"])):
            assert row["text"].startswith(f"{k + 1}{c['place']}{c['place_id']}"), (row["text"], c)
        assert ok.find("ellipse", fill="#d7301f")

        dead = load(os.path.join(work, "dead.html"))
        check_page(dead, charts=0)
        assert "hidden" not in dead.one(id="failure")["attrs"]
        assert dead.one(id="run-error")["text"] == "Error: No low priority transition is enabled."
    print("report.browser: 2 pages passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
