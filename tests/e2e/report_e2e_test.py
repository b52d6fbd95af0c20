#!/usr/bin/env python3
"""End-to-end checks of the HTML race report.

The report command turns sample stats files (written by report_samples with
the program's own stats document) into pages; headless Chromium loads each
page from its file, with no network, and its DOM, console and requests are
checked; screenshots of the race, qualifying and 40-player pages go to
REPORT_SHOTS. The Linux program with htmlreport = 1 writes the report beside
the stats file of a race the stand-in plays and uploads it to a real FTP
server on 127.0.0.1.

Run one case: report_e2e_test.py CLASS.test_name (ctest sets the environment).
Exit code 77 means the case was skipped.
"""

import html.parser
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tracker_e2e_test as e2e  # noqa: E402

SAMPLES = os.environ.get("REPORT_SAMPLES_BIN", "")
SHOTS = os.environ.get("REPORT_SHOTS", "")
CHROMIUM = "/usr/bin/chromium"
CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--hide-scrollbars"]
# The browser's own service requests; none of them comes from the page.
BROWSER_SERVICE_HOSTS = ("google.com", "googleapis.com", "gvt1.com", "gstatic.com")


def report_command(*arguments):
    return subprocess.run([e2e.TARNBECK, "--report"] + list(arguments), capture_output=True, timeout=60)


def without_network():
    """A prefix that runs a command in a network namespace of its own, when
    this process may make one: the browser then cannot reach anything."""
    probe = subprocess.run(["unshare", "-n", "true"], capture_output=True)
    return ["unshare", "-n"] if probe.returncode == 0 else []


class Element:
    def __init__(self, tag, attributes, parent):
        self.tag = tag
        self.attributes = dict(attributes)
        self.parent = parent
        self.children = []
        self.text_parts = []

    def classes(self):
        return self.attributes.get("class", "").split()

    def text(self):
        return "".join(part if isinstance(part, str) else part.text() for part in self.text_parts)

    def all(self, tag=None, cls=None):
        for child in self.children:
            if (tag is None or child.tag == tag) and (cls is None or cls in child.classes()):
                yield child
            yield from child.all(tag, cls)


class DomParser(html.parser.HTMLParser):
    """The DOM that Chromium dumps, as a small tree."""
    VOID = {"meta", "link", "br", "img", "input", "hr", "source", "area", "base", "col", "embed", "wbr"}

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.root = Element("#document", [], None)
        self.current = self.root

    def handle_starttag(self, tag, attributes):
        element = Element(tag, attributes, self.current)
        self.current.children.append(element)
        self.current.text_parts.append(element)
        if tag not in self.VOID:
            self.current = element

    def handle_startendtag(self, tag, attributes):
        element = Element(tag, attributes, self.current)
        self.current.children.append(element)
        self.current.text_parts.append(element)

    def handle_endtag(self, tag):
        node = self.current
        while node is not self.root and node.tag != tag:
            node = node.parent
        if node is not self.root:
            self.current = node.parent

    def handle_data(self, data):
        self.current.text_parts.append(data)


class Browser:
    """Headless Chromium on one page file, with a fresh profile each time."""

    def __init__(self, test):
        if not os.path.exists(CHROMIUM):
            test.skipTest("chromium is not installed (scripts/install-deps.sh installs it)")
        self.test = test
        self.prefix = without_network()

    def run(self, page, *arguments):
        profile = tempfile.mkdtemp(prefix="tarnbeck-chromium-")
        self.test.addCleanup(shutil.rmtree, profile, True)
        net_log = os.path.join(profile, "net-log.json")
        command = self.prefix + [CHROMIUM] + CHROMIUM_FLAGS + [
            "--user-data-dir=" + profile, "--enable-logging=stderr", "--v=0",
            "--log-net-log=" + net_log] + list(arguments) + ["file://" + page]
        result = subprocess.run(command, capture_output=True, timeout=120)
        # The browser's own pages (chrome://) may talk to the console; the report may not.
        console = [line for line in result.stderr.decode("utf-8", "replace").splitlines()
                   if ":CONSOLE" in line and "source: chrome://" not in line]
        self.test.assertEqual(console, [], "the page wrote to the console")
        self.test.assertEqual(self.page_requests(net_log, page), set(), "the page asked for something")
        return result

    @staticmethod
    def page_requests(net_log, page):
        try:
            with open(net_log) as file:
                events = json.load(file).get("events", [])
        except (OSError, ValueError):
            return set()
        urls = {event.get("params", {}).get("url") for event in events} - {None, "file://" + page}
        return {url for url in urls
                if not any(host in url.split("/")[2:3][0] if url.count("/") >= 2 else False
                           for host in BROWSER_SERVICE_HOSTS)}

    def dom(self, page):
        result = self.run(page, "--dump-dom")
        self.test.assertEqual(result.returncode, 0, result.stderr.decode("utf-8", "replace")[-2000:])
        parser = DomParser()
        parser.feed(result.stdout.decode("utf-8"))
        return parser.root

    def screenshot(self, page, name, width, height):
        if not SHOTS:
            return None
        os.makedirs(SHOTS, exist_ok=True)
        shot = os.path.join(SHOTS, name)
        if os.path.exists(shot):
            os.remove(shot)
        self.run(page, "--screenshot=" + shot, "--window-size=%d,%d" % (width, height))
        self.test.assertTrue(os.path.exists(shot), "no screenshot of " + page)
        self.test.assertGreater(os.path.getsize(shot), 10000, "the screenshot is blank")
        return shot


class SampleReports(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="tarnbeck-report-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        subprocess.run([SAMPLES, self.folder], check=True, timeout=60)

    def path(self, name):
        return os.path.join(self.folder, name)

    def render(self, name):
        result = report_command(self.path(name + ".xml"))
        self.assertEqual(result.returncode, 0, result.stderr)
        return self.path(name + ".html")


class ReportCommand(SampleReports):
    def test_stats_files_become_reports_beside_them_or_where_asked(self):
        result = report_command(self.path("race.xml"))
        self.assertEqual((result.returncode, result.stderr), (0, b""))
        self.assertEqual(result.stdout.decode().strip(), self.path("race.html"))
        beside = open(self.path("race.html"), "rb").read()
        self.assertTrue(beside.startswith(b"<!DOCTYPE html>\n"))
        elsewhere = self.path("chosen name.htm")
        self.assertEqual(report_command(self.path("race.xml"), elsewhere).returncode, 0)
        # The same file gives the same page (its save time is the file's).
        self.assertEqual(open(elsewhere, "rb").read(), beside)
        mtime = os.path.getmtime(self.path("race.xml"))
        import time
        self.assertIn(time.strftime("%Y-%m-%d %H:%M", time.localtime(mtime)).encode(), beside)
        # The exact stats file of the whole-race check renders as well.
        shutil.copy(os.path.join(e2e.EXPECTED_DIR, "sample_race.xml"), self.path("sample.xml"))
        self.assertEqual(report_command(self.path("sample.xml")).returncode, 0)

    def test_files_that_are_no_stats_documents_exit_2_and_write_nothing(self):
        with open(self.path("race.xml"), "rb") as file:
            race = file.read()
        cases = {
            "broken.xml": race[:len(race) // 2],
            "page.xml": b"<html><body>not stats</body></html>",
            "empty.xml": b"",
            "bad-time.xml": race.replace(b"<BESTLAP>00:01:04:40", b"<BESTLAP>fast"),
        }
        for name, content in cases.items():
            with self.subTest(name):
                with open(self.path(name), "wb") as file:
                    file.write(content)
                before = sorted(os.listdir(self.folder))
                result = report_command(self.path(name))
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stdout, b"")
                lines = result.stderr.decode("latin-1").splitlines()
                self.assertEqual(len(lines), 1, lines)
                self.assertIn(name, lines[0])
                self.assertEqual(sorted(os.listdir(self.folder)), before)
        for arguments in ([], [self.path("missing.xml")], ["a", "b", "c"]):
            with self.subTest(arguments=arguments):
                result = report_command(*arguments)
                self.assertEqual(result.returncode, 2)
                self.assertEqual(len(result.stderr.decode().splitlines()), 1)


def results_rows(dom):
    table = next(dom.all("table", "results"))
    rows = []
    for row in next(table.all("tbody")).all("tr"):
        rows.append({cell.classes()[0]: cell.text() for cell in row.all("td")})
    return rows


def chart_lines(dom, section_id):
    section = next(s for s in dom.all("section") if s.attributes.get("id") == section_id)
    chart = next(section.all("svg", "chart"))
    return [path for path in chart.all("path", "line")]


class ReportPage(SampleReports):
    def test_race_page_in_the_browser(self):
        page = self.render("race")
        browser = Browser(self)
        dom = browser.dom(page)
        self.assertEqual(next(dom.all("h1")).text(), "BL1 \u2013 Race, 3 laps")
        rows = results_rows(dom)
        self.assertEqual([(r["pos"], r["name"], r["laps"], r["total"], r["gap"], r["best"], r["pits"], r["pen"])
                          for r in rows],
                         [("1", "Bob", "3", "3:14.70", "", "1:04.40", "0", ""),
                          ("2", "Alice", "3", "3:15.70", "+1.00", "1:05.10", "0", ""),
                          ("3", "Carol", "3", "3:59.80", "+45.10", "1:06.20", "1", "30 s"),
                          ("4", "D\u00e4n|^", "2", "", "+1 lap", "1:13.90", "", "")])
        fastest = [cell for cell in dom.all("td", "fastest")]
        self.assertEqual([cell.text() for cell in fastest], ["1:04.40"])
        # Colour codes as colours: Dän's name is red, then white.
        dan = [cell for cell in dom.all("td", "name")][3]
        self.assertEqual([(span.classes(), span.text()) for span in dan.all("span")],
                         [(["c1"], "D\u00e4"), (["c7"], "n|^")])
        self.assertEqual(len(chart_lines(dom, "lap-chart")), 4)
        self.assertEqual(len(chart_lines(dom, "lap-times")), 4)
        self.assertEqual([t.text() for path in chart_lines(dom, "lap-chart") for t in path.all("title")],
                         ["Bob", "Alice", "Carol", "D\u00e4n|^"])
        self.assertEqual(len(list(dom.all("section", "player"))), 4)
        self.assertFalse(list(dom.all("script")) + list(dom.all("img")) + list(dom.all("link")))
        browser.screenshot(page, "race.png", 1000, 1800)

    def test_qualifying_page_in_the_browser(self):
        page = self.render("qualifying")
        browser = Browser(self)
        dom = browser.dom(page)
        self.assertEqual(next(dom.all("h1")).text(), "AS3 \u2013 Qualifying, 20 minutes")
        self.assertEqual([(r["pos"], r["name"], r["gap"], r["best"]) for r in results_rows(dom)],
                         [("1", "Ben", "", "1:29.50"), ("2", "Anna", "+0.50", "1:30.00"),
                          ("3", "Cleo", "+0.50", "1:30.00"), ("", "Dora", "", "")])
        self.assertEqual(len(chart_lines(dom, "lap-times")), 4)
        self.assertFalse([s for s in dom.all("section") if s.attributes.get("id") == "lap-chart"])
        browser.screenshot(page, "qualifying.png", 1000, 1400)

    def test_forty_player_page_in_the_browser(self):
        page = self.render("big")
        browser = Browser(self)
        dom = browser.dom(page)
        rows = results_rows(dom)
        self.assertEqual(len(rows), 40)
        self.assertEqual([r["pos"] for r in rows], [str(i) for i in range(1, 41)])
        self.assertEqual(len(chart_lines(dom, "lap-chart")), 40)
        self.assertEqual(len(chart_lines(dom, "lap-times")), 40)
        styles = {(p.attributes.get("stroke"), p.attributes.get("stroke-dasharray")) for p in chart_lines(dom, "lap-chart")}
        self.assertEqual(len(styles), 40, "two players' lines look the same")
        legend = next(next(s for s in dom.all("section") if s.attributes.get("id") == "lap-chart").all("ul", "legend"))
        self.assertEqual(len(list(legend.all("li"))), 40)
        browser.screenshot(page, "big.png", 1000, 2600)
        # A phone: the page is as wide as the screen, tables and charts scroll inside it.
        browser.screenshot(page, "big-phone.png", 390, 1600)

    def test_hostile_names_show_literally(self):
        page = self.render("hostile")
        dom = Browser(self).dom(page)
        self.assertFalse(list(dom.all("script")) + list(dom.all("i")) + list(dom.all("u")))
        self.assertEqual([r["name"] for r in results_rows(dom)],
                         ["<script>alert(1)</script>", "&amp;", "\"quoted\" 'single'", "<>\"*/"])
        self.assertEqual({r["car"] for r in results_rows(dom)}, {"&car;"})
        self.assertEqual(next(dom.all("h1")).text(), "<b> \u2013 Race, 2 laps")
        self.assertIn("\"host\" & <i>", next(dom.all("header")).text())


class LiveReport(e2e.LinuxProgramCase):
    RACE = e2e.Upload.RACE_END % "^2race Stats were uploaded sucessfully!"

    def run_race(self, **values):
        ftp = e2e.FtpServer(self)
        tracker = self.tracker_with_ports(ftpaddr="ftp://127.0.0.1/stats/", httpaddr="http://stats.example/lfs/",
                                          ftpuser=ftp.user, ftppw=ftp.password)
        with open(tracker.path("trbk.ini"), "a", newline="") as file:
            file.write("".join("[output]\r\n%s = %s\r\n" % item for item in values.items()))
        standin = e2e.StandIn(self, self.RACE, self.server_port, folder=tracker.folder)
        tracker.start().started()
        standin.finished_ok(60)
        self.assertEqual(tracker.stop(), 0)
        return ftp, tracker

    def test_saved_race_gets_its_report_beside_it_uploaded_after_it(self):
        ftp, tracker = self.run_race(htmlreport="1")
        self.assertEqual(sorted(os.listdir(tracker.path("xmlstats"))), ["race_SO1_race5.html", "race_SO1_race5.xml"])
        page = tracker.read("xmlstats", "race_SO1_race5.html")
        with open(os.path.join(ftp.root, "stats", "race_SO1_race5.html"), "rb") as file:
            self.assertEqual(file.read(), page)
        self.assertIn(b"<title>SO1 &#8211; Race, 5 laps</title>", page)
        self.assertRegex(tracker.log(),
                         r"^\d\d\.\d\d \d\d:\d\d:\d\d\n"
                         r"http://stats\.example/lfs/race_SO1_race5\.xml\n"
                         r"http://[^\n]*rfile=stats\.example%2Flfs%2Frace_SO1_race5\.xml\n\n"
                         r"\d\d\.\d\d \d\d:\d\d:\d\d Race report http://stats\.example/lfs/race_SO1_race5\.html\n\n$")
        dom = Browser(self).dom(tracker.path("xmlstats", "race_SO1_race5.html"))
        self.assertEqual([r["name"] for r in results_rows(dom)], ["Dave", "Erin"])

    def test_without_the_key_nothing_changes(self):
        for values in ({}, {"htmlreport": "0"}, {"htmlreport": ""}):
            with self.subTest(values=values):
                ftp, tracker = self.run_race(**values)
                self.assertEqual(os.listdir(tracker.path("xmlstats")), ["race_SO1_race5.xml"])
                self.assertEqual(os.listdir(os.path.join(ftp.root, "stats")), ["race_SO1_race5.xml"])
                self.assertNotIn("Race report", tracker.log())


def main():
    e2e.run_module(sys.modules[__name__],
                   (("TARNBECK_BIN", e2e.TARNBECK), ("STANDIN_BIN", e2e.STANDIN),
                    ("REPORT_SAMPLES_BIN", SAMPLES), ("EXPECTED_DIR", e2e.EXPECTED_DIR)))


if __name__ == "__main__":
    main()
