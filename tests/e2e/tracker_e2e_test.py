#!/usr/bin/env python3
"""End-to-end checks of the Linux program.

The real tarnbeck binary runs in a fresh folder of its own (so trbk.ini,
xmlstats/ and log.txt land there) and the simulator stand-in (lfs_standin,
whose process is named LFS.exe) plays race scripts against it over UDP on
127.0.0.1. Stats files are compared byte for byte and parsed with xmllint;
uploads go to a real FTP server (pyftpdlib) on 127.0.0.1:21.

Run one case: tracker_e2e_test.py CLASS.test_name. Needs TARNBECK_BIN,
STANDIN_BIN, SAMPLE_RACE, EXPECTED_DIR and SETTINGS_TEMPLATE in the
environment (ctest sets them). Exit code 77 means the case was skipped.
"""

import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

TARNBECK = os.environ.get("TARNBECK_BIN", "")
STANDIN = os.environ.get("STANDIN_BIN", "")
SAMPLE_RACE = os.environ.get("SAMPLE_RACE", "")
EXPECTED_DIR = os.environ.get("EXPECTED_DIR", "")
SETTINGS_TEMPLATE = os.environ.get("SETTINGS_TEMPLATE", "")

TICK_MS = 1000
SYSTEM_PYTHON = "/usr/bin/python3"

# The race setup most scripts start with: the race start, the first car
# packet (which makes the tracker ask who is in the race) and two players.
RACE_SETUP = """
RST laps=5 track=SO1 weather=2 wind=1 ack=1
expect NLI 350
expect ACK 1
MCI nodes=500 finish=10 players=2
expect VER 0
NPL id=4 user=dave name="Dave" car=UF1 start=0 ack=2
NPL id=5 user=erin name="Erin" car=XFR start=1 ack=3
expect ACK 3
"""

# Lap 1 for both players and the first split of lap 2.
RACE_LAPS = """
MCI nodes=500 finish=10 players=2 car(id=4 lap=1 node=150 speed=7000) car(id=5 lap=1 node=140 speed=6900)
SP id=4 split=1 time=0:30.00 ack=10
SP id=5 split=1 time=0:30.40 ack=11
MCI nodes=500 finish=10 players=2 car(id=4 lap=1 node=160 speed=7100) car(id=5 lap=1 node=150 speed=7050)
MCI nodes=500 finish=10 players=2 car(id=4 lap=2 node=20 speed=6500) car(id=5 lap=2 node=15 speed=6400)
LAP id=4 time=1:00.50 ack=12
LAP id=5 time=1:01.10 ack=13
MCI nodes=500 finish=10 players=2 car(id=4 lap=2 node=40 speed=6600) car(id=5 lap=2 node=35 speed=6550)
MCI nodes=500 finish=10 players=2 car(id=4 lap=2 node=150 speed=7200) car(id=5 lap=2 node=145 speed=7150)
SP id=4 split=1 time=0:29.80 ack=14
SP id=5 split=1 time=0:30.20 ack=15
MCI nodes=500 finish=10 players=2 car(id=4 lap=2 node=155 speed=7300) car(id=5 lap=2 node=150 speed=7250)
expect ACK 15
"""


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def udp_port_is_free(port):
    """Whether port can be bound on 127.0.0.1. The tracker binds its client
    port on all interfaces, which takes the loopback port as well."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        try:
            probe.bind(("127.0.0.1", port))
            return True
        except OSError:
            return False


def settings_text(server_port, client_port, **values):
    """A settings file like the template's, with the test's ports and no
    autostart change ("systemstart" left empty)."""
    main = {"lfs": "", "systemstart": "", "outputname": "race_[TRACK]_[MODE+].xml",
            "outputpath": "", "lfsparameters": "[INSIM]"}
    network = {"serverip": "127.0.0.1", "serverport": str(server_port),
               "clientport": str(client_port), "adminpw": "pw"}
    extra = {"ftpaddr": "", "httpaddr": "", "ftpuser": "", "ftppw": ""}
    # Keys the template does not have, only when asked for.
    for key in ("insimversion", "transport"):
        if key in values:
            network[key] = values[key]
    for section in (main, network, extra):
        for key in section:
            if key in values:
                section[key] = values[key]
    lines = []
    for name, section in (("main", main), ("network", network), ("extra", extra)):
        lines.append("[%s]" % name)
        lines.extend('%s = "%s"' % (key, value) if value == "" else "%s = %s" % (key, value)
                     for key, value in section.items())
        lines.append("")
    return "\r\n".join(lines)


class OutputLines:
    """Collects a process's output lines as they come, with arrival times."""

    def __init__(self, stream):
        self.lines = []
        self._changed = threading.Condition()
        self._thread = threading.Thread(target=self._read, args=(stream,), daemon=True)
        self._thread.start()

    def _read(self, stream):
        for raw in iter(stream.readline, b""):
            with self._changed:
                self.lines.append((time.monotonic(), raw.decode("latin-1").rstrip("\n")))
                self._changed.notify_all()
        stream.close()

    def text(self):
        with self._changed:
            return "\n".join(line for _, line in self.lines)

    def wait_for(self, pattern, timeout):
        """The first line matching pattern (a regular expression), waiting up
        to timeout seconds; None when none came."""
        deadline = time.monotonic() + timeout
        expression = re.compile(pattern)
        with self._changed:
            while True:
                for stamp, line in self.lines:
                    if expression.search(line):
                        return stamp, line
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self._changed.wait(left)

    def finish(self, timeout=5):
        self._thread.join(timeout)


class Tracker:
    """The tracker in a folder of its own (its lock lives there too), with its
    own autostart folder so nothing outside the folder is touched."""

    def __init__(self, test, settings=None, folder=None):
        self.test = test
        self.folder = folder or tempfile.mkdtemp(prefix="tarnbeck-e2e-")
        test.addCleanup(shutil.rmtree, self.folder, True)
        self.binary = os.path.join(self.folder, "tarnbeck")
        shutil.copy2(TARNBECK, self.binary)
        if settings is not None:
            with open(self.path("trbk.ini"), "w", newline="") as file:
                file.write(settings)
        self.environment = dict(os.environ, TARNBECK_TICK_MS=str(TICK_MS),
                                XDG_RUNTIME_DIR=self.folder, XDG_CONFIG_HOME=self.folder)
        self.process = None

    def path(self, *parts):
        return os.path.join(self.folder, *parts)

    def start(self, *arguments, environment=None, prefix=(), pass_fds=()):
        self.process = subprocess.Popen(list(prefix) + [self.binary] + list(arguments),
                                        cwd=self.folder, env=environment or self.environment,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        pass_fds=pass_fds)
        self.out = OutputLines(self.process.stdout)
        self.err = OutputLines(self.process.stderr)
        self.test.addCleanup(self.kill)
        return self

    def started(self):
        """Waits until the program is in its main loop."""
        found = self.out.wait_for("Tarnbeck is running", 10)
        self.test.assertIsNotNone(found, "tarnbeck did not start: " + self.err.text())
        return found[0]

    def wait(self, timeout):
        code = self.process.wait(timeout)
        self.out.finish()
        self.err.finish()
        return code

    def stop(self, timeout=15):
        self.process.send_signal(signal.SIGTERM)
        return self.wait(timeout)

    def kill(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def read(self, *parts, mode="rb"):
        with open(self.path(*parts), mode) as file:
            return file.read()

    def log(self):
        """log.txt as text; its bytes are the ANSI code page's (latin-1 here)."""
        if not os.path.exists(self.path("log.txt")):
            return ""
        return self.read("log.txt").decode("latin-1")


class StandIn:
    """lfs_standin playing a script (a text, or the path of a script file)."""

    def __init__(self, test, script, port, linger_ms=300, folder=None, options=()):
        self.test = test
        if os.path.exists(script):
            self.script = script
        else:
            handle, self.script = tempfile.mkstemp(suffix=".race", dir=folder)
            with os.fdopen(handle, "w") as file:
                file.write(script)
        self.process = subprocess.Popen(
            [STANDIN, "--port", str(port), "--linger", str(linger_ms), "--isi-timeout", "30"]
            + list(options) + [self.script],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.started = time.monotonic()
        self.out = OutputLines(self.process.stdout)
        self.err = OutputLines(self.process.stderr)
        test.addCleanup(self.kill)
        # The stand-in is named LFS.exe once it listens.
        test.assertIsNotNone(self.out.wait_for("listening on|waiting for the tracker", 10), self.err.text())

    def wait(self, timeout):
        code = self.process.wait(timeout)
        self.ended = time.monotonic()
        self.out.finish()
        self.err.finish()
        return code

    def finished_ok(self, timeout):
        code = self.wait(timeout)
        self.test.assertEqual(code, 0, "stand-in failed:\n" + self.out.text() + "\n" + self.err.text())

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def replies(self):
        """(seconds since the stand-in started, text) of every tracker reply."""
        found = []
        for _, line in self.out.lines:
            match = re.match(r"\[\s*([0-9.]+)s\] <- (.*)$", line)
            if match:
                found.append((float(match.group(1)), match.group(2)))
        return found


def xpath(path, expression):
    result = subprocess.run(["xmllint", "--xpath", expression, path],
                            capture_output=True, text=True, encoding="latin-1")
    return result.stdout.strip()


def wait_until(condition, timeout, step=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(step)
    return condition()


class LinuxProgramCase(unittest.TestCase):
    def tracker_with_ports(self, **values):
        self.server_port = free_udp_port()
        self.client_port = free_udp_port()
        return Tracker(self, settings_text(self.server_port, self.client_port, **values))

    def assertValidXml(self, path):
        result = subprocess.run(["xmllint", "--noout", path], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)


class StartUp(LinuxProgramCase):
    def test_first_start_writes_the_template_byte_for_byte(self):
        tracker = Tracker(self).start()
        tracker.started()
        with open(SETTINGS_TEMPLATE, "rb") as file:
            template = file.read()
        self.assertGreater(len(template), 0)
        self.assertEqual(tracker.read("trbk.ini"), template)
        self.assertEqual(tracker.stop(), 0)
        self.assertIn("Tarnbeck stopped.", tracker.out.text())

        # An existing settings file is never touched.
        with open(tracker.path("trbk.ini"), "ab") as file:
            file.write(b"\r\n; mine")
        changed = tracker.read("trbk.ini")
        tracker.start().started()
        self.assertEqual(tracker.stop(), 0)
        self.assertEqual(tracker.read("trbk.ini"), changed)

    def test_a_second_instance_is_refused_and_touches_nothing(self):
        first = Tracker(self).start()
        first.started()
        before = {name: first.read(name) for name in os.listdir(first.folder)}
        self.assertIn("tarnbeck.lock", before)
        # The same folder through the folder option: the same tracker.
        second_folder = tempfile.mkdtemp(prefix="tarnbeck-e2e-")
        second = Tracker(self, folder=second_folder).start("--folder", first.folder)
        self.assertEqual(second.wait(10), 0)
        self.assertEqual(second.err.text(), "Tarnbeck is already running")
        self.assertEqual(sorted(os.listdir(second_folder)), ["tarnbeck"])
        self.assertEqual({name: first.read(name) for name in os.listdir(first.folder)}, before)
        # The first one runs on, untouched.
        self.assertIsNone(first.process.poll())
        self.assertEqual(first.stop(), 0)

    def test_trackers_of_two_folders_run_side_by_side(self):
        league1 = self.tracker_with_ports()
        league2 = self.tracker_with_ports()
        # One session: the runtime folder no longer decides.
        league2.environment["XDG_RUNTIME_DIR"] = league1.folder
        league1.start().started()
        league2.start().started()
        for tracker in (league1, league2):
            self.assertTrue(os.path.exists(tracker.path("tarnbeck.lock")))
            self.assertEqual(tracker.stop(), 0)
            self.assertEqual(tracker.err.text(), "")

    def test_folder_option_keeps_settings_lock_and_stats_in_that_folder(self):
        tracker = Tracker(self)
        folder = tempfile.mkdtemp(prefix="tarnbeck-e2e-folder-")
        self.addCleanup(shutil.rmtree, folder, True)
        # A relative name is taken from the current folder (the tracker's).
        relative = os.path.relpath(folder, tracker.folder)
        tracker.start("--folder", relative)
        tracker.started()
        with open(SETTINGS_TEMPLATE, "rb") as file:
            template = file.read()
        with open(os.path.join(folder, "trbk.ini"), "rb") as file:
            self.assertEqual(file.read(), template)
        self.assertIn("settings %s/trbk.ini" % os.path.realpath(folder), tracker.out.text())
        self.assertEqual(tracker.stop(), 0)
        self.assertEqual(sorted(os.listdir(folder)), ["tarnbeck.lock", "trbk.ini"])
        self.assertEqual(os.listdir(tracker.folder), ["tarnbeck"])

        # A race saved there lands in the folder's xmlstats; the log stays in
        # the current folder.
        self.server_port = free_udp_port()
        self.client_port = free_udp_port()
        with open(os.path.join(folder, "trbk.ini"), "w", newline="") as file:
            file.write(settings_text(self.server_port, self.client_port))
        script = RACE_SETUP + RACE_LAPS + 'MSO "!save"\nexpect MST "/echo ^2race stats were saved!"\n'
        standin = StandIn(self, script, self.server_port, folder=tracker.folder)
        tracker.start("-startlfs", "--folder", folder)
        tracker.started()
        standin.finished_ok(60)
        stats = os.path.join(os.path.realpath(folder), "xmlstats", "race_SO1_race5.xml")
        self.assertValidXml(stats)
        self.assertTrue(wait_until(lambda: "was saved" in tracker.log(), 5), tracker.log())
        self.assertIn("Stats file %s was saved" % stats, tracker.log())
        self.assertEqual(tracker.stop(), 0)
        # -startlfs still counts after the folder option: it names where lfs is missing.
        self.assertIn("lfs in the [main] section of %s/trbk.ini" % os.path.realpath(folder),
                      tracker.err.text())
        self.assertFalse(os.path.exists(tracker.path("xmlstats")))

    def test_folder_option_that_cannot_be_used_ends_the_program_at_once(self):
        missing = os.path.join(tempfile.gettempdir(), "tarnbeck-e2e-no-such-folder")
        cases = [
            (["--folder"], "tarnbeck: --folder needs the name of a folder"),
            (["--folder", missing], "tarnbeck: --folder %s: no such folder" % missing),
            (["--folder", "tarnbeck"], "tarnbeck: --folder tarnbeck: not a folder"),
        ]
        for arguments, message in cases:
            with self.subTest(message):
                tracker = Tracker(self).start(*arguments)
                self.assertEqual(tracker.wait(10), 2)
                self.assertEqual(tracker.err.text(), message)
                self.assertEqual(tracker.out.text(), "")
                self.assertEqual(os.listdir(tracker.folder), ["tarnbeck"])
                self.assertFalse(os.path.exists(missing))

    def test_network_settings_that_cannot_work_are_named_and_used(self):
        port = free_udp_port()
        cases = [
            ({"clientport": "abc"},
             ['%s: clientport "abc" is not a port number; using 0']),
            ({"serverport": "0", "clientport": "70000"},
             ['%s: serverport "0" is port 0, which cannot be used; using 0',
              '%s: clientport "70000" is out of range (1 to 65535); using 4464']),
        ]
        for values, expected in cases:
            with self.subTest(values):
                tracker = Tracker(self, settings_text(port, port, **values)).start()
                tracker.started()
                self.assertEqual(tracker.stop(), 0)
                settings = tracker.path("trbk.ini")
                self.assertEqual(tracker.err.text().split("\n"), [line % settings for line in expected])
        with self.subTest("no [network] section"):
            tracker = Tracker(self, "[main]\r\noutputname = x.xml\r\n").start()
            tracker.started()
            self.assertEqual(tracker.stop(), 0)
            self.assertEqual(tracker.err.text(), '%s: there is no [network] section; using serverip "", '
                             'serverport 0 and clientport 0' % tracker.path("trbk.ini"))

    def test_help_prints_the_usage_and_touches_nothing(self):
        tracker = Tracker(self).start("--help")
        self.assertEqual(tracker.wait(10), 0)
        self.assertIn("usage: tarnbeck [--folder DIR] [-startlfs]", tracker.out.text())
        self.assertIn("  --folder DIR  the program folder", tracker.out.text())
        self.assertEqual(os.listdir(tracker.folder), ["tarnbeck"])

    def test_settings_file_that_cannot_be_created(self):
        tracker = Tracker(self)
        environment = dict(tracker.environment)
        prefix = ()
        if os.geteuid() == 0:
            # root writes anywhere: run as nobody, who cannot write here.
            if shutil.which("setpriv") is None:
                self.skipTest("setpriv is needed to drop root rights")
            prefix = ("setpriv", "--reuid=65534", "--regid=65534", "--clear-groups")
            os.chmod(tracker.folder, 0o755)
        else:
            os.chmod(tracker.folder, 0o555)
            self.addCleanup(os.chmod, tracker.folder, 0o755)
        config_folder = tempfile.mkdtemp(prefix="tarnbeck-e2e-config-")
        self.addCleanup(shutil.rmtree, config_folder, True)
        os.chmod(config_folder, 0o777)
        environment["XDG_CONFIG_HOME"] = config_folder
        tracker.start(environment=environment, prefix=prefix)
        self.assertEqual(tracker.wait(10), 1)
        # The lock beside the settings file cannot be made there either.
        self.assertEqual(tracker.err.text().split("\n"), [
            "Tarnbeck: %s cannot be locked; a second Tarnbeck would not be noticed."
            % tracker.path("tarnbeck.lock"),
            "The ini file could not be created"])
        self.assertFalse(os.path.exists(tracker.path("trbk.ini")))


class WholeRace(LinuxProgramCase):
    def test_sample_race_gives_the_exact_stats_file(self):
        tracker = self.tracker_with_ports()
        standin = StandIn(self, SAMPLE_RACE, self.server_port)
        tracker.start()
        ready = tracker.started()

        # Linked at the first tick: the ISI comes about one period after start.
        isi = standin.out.wait_for(r"<- ISI ", 10)
        self.assertIsNotNone(isi, standin.out.text())
        self.assertLess(isi[0] - ready, TICK_MS / 1000 + 1.0)
        self.assertIn("<- ISI port=%d flags=0x23 byte7=1 password=\"pw\"" % self.client_port, isi[1])

        standin.finished_ok(60)
        self.assertEqual([text for _, text in standin.replies()[1:3]], ["GTH 0", "NLI 350"])
        stats = tracker.path("xmlstats", "race_BL1_race3.xml")
        with open(os.path.join(EXPECTED_DIR, "sample_race.xml"), "rb") as file:
            expected = file.read()
        self.assertEqual(tracker.read("xmlstats", "race_BL1_race3.xml"), expected)
        self.assertValidXml(stats)
        self.assertEqual(xpath(stats, "string(//PLAYER[1]/NAME)"), "Bob")
        self.assertEqual(xpath(stats, "count(//LAP)"), "9")
        self.assertEqual(xpath(stats, "count(//SPLIT)"), "18")

        # The next tick logs the saved file (no FTP address is set).
        self.assertTrue(wait_until(lambda: "was saved" in tracker.log(), 5), tracker.log())
        self.assertRegex(tracker.log(), r"^\d\d\.\d\d \d\d:\d\d:\d\d Stats file %s was saved\n\n$"
                         % re.escape(stats))
        self.assertEqual(tracker.stop(), 0)

    def test_chat_commands(self):
        tracker = self.tracker_with_ports()
        script = RACE_SETUP + """
MCI nodes=500 finish=10 players=2 car(id=4 lap=1 node=150 speed=7000)
SP id=4 split=1 time=0:30.00 ack=10
MCI nodes=500 finish=10 players=2 car(id=4 lap=1 node=160 speed=7100)
expect ACK 10
MSO "!save "
MSO "!Save"
MSO "Dave: !save"
MSO "!save"
expect MST "/echo ^2race stats were saved!"
LAP id=4 time=1:00.50 ack=11
expect ACK 11
MSO "!save"
expect MST "/echo ^2race stats were saved!"
MSO "!delete"
expect MST "/echo ^2race stats were deleted!"
MSO "!save"
expect MST "/echo ^1race stats were not saved"
MSO "!activate"
MSO "!deactivate"
expect MST "/echo ^3program deactivated. Reactivate with !activate."
expect NLI 0
NPL id=6 user=finn name="Finn" car=RB4 start=2 ack=50
LAP id=4 time=1:00.40 ack=51
MSO "!save"
MSO "!delete"
wait 300ms
MSO "!activate"
expect MST "/echo ^3 Tarnbeck was reactivated!"
expect NLI 350
RTP
"""
        standin = StandIn(self, script, self.server_port, folder=tracker.folder)
        tracker.start().started()
        standin.finished_ok(60)
        replies = [text for _, text in standin.replies()]
        self.assertEqual([text for text in replies if text.startswith("MST")], [
            'MST "/echo ^2race stats were saved!"',
            'MST "/echo ^2race stats were saved!"',
            'MST "/echo ^2race stats were deleted!"',
            'MST "/echo ^1race stats were not saved"',
            'MST "/echo ^3program deactivated. Reactivate with !activate."',
            'MST "/echo ^3 Tarnbeck was reactivated!"',
        ])
        self.assertNotIn("ACK 50", replies)
        self.assertNotIn("ACK 51", replies)

        # "!save" keeps the race: the second save holds the lap that came
        # between the two. Saved again before the tick took it, the file is
        # handled once, as it is then.
        stats = tracker.path("xmlstats", "race_SO1_race5.xml")
        self.assertValidXml(stats)
        self.assertEqual(xpath(stats, "string(//LAP[1]/LAPTIME)"), "00:01:00:50")
        self.assertEqual(xpath(stats, "count(//PLAYER)"), "2")
        self.assertTrue(wait_until(lambda: tracker.log().count("was saved") == 1, 5), tracker.log())
        self.assertEqual(tracker.stop(), 0)
        self.assertEqual(tracker.log().count("was saved"), 1, tracker.log())


class FtpServer:
    """pyftpdlib on 127.0.0.1:21, the port the program always uses."""

    user = "racer"
    password = "pit-lane-7"

    def __init__(self, test):
        self.root = tempfile.mkdtemp(prefix="tarnbeck-e2e-ftp-")
        test.addCleanup(shutil.rmtree, self.root, True)
        os.mkdir(os.path.join(self.root, "stats"))
        self.process = None
        for _ in range(20):
            if self._start():
                test.addCleanup(self.stop)
                return
            time.sleep(0.5)
        test.skipTest("port 21 on 127.0.0.1 is busy or cannot be bound; the upload check "
                      "needs it, because the program always uploads to port 21")

    def _start(self):
        try:
            with socket.socket() as probe:
                probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
                probe.bind(("127.0.0.1", 21))
        except OSError:
            return False
        self.process = subprocess.Popen(
            [SYSTEM_PYTHON, "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", "21", "-u", self.user,
             "-P", self.password, "-d", self.root, "-w"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            try:
                with socket.create_connection(("127.0.0.1", 21), 1) as connection:
                    if connection.recv(3) == b"220":
                        return True
            except OSError:
                pass
            if self.process.poll() is not None:
                return False
            time.sleep(0.1)
        self.stop()
        return False

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            self.process.terminate()
            self.process.wait()


class Upload(LinuxProgramCase):
    RACE_END = RACE_SETUP + """
MCI nodes=500 finish=10 players=2 car(id=4 lap=1 node=150 speed=7000)
SP id=4 split=1 time=0:30.00 ack=10
MCI nodes=500 finish=10 players=2 car(id=4 lap=1 node=160 speed=7100)
LAP id=4 time=1:00.50 ack=11
MCI nodes=500 finish=10 players=2 car(id=4 lap=2 node=40 speed=6600)
REN ack=12
expect MST "/echo ^2race stats were saved!"
expect ACK 12
# The next tick uploads the file; the next datagram after that hears of it.
expect MST "/echo %s" within=20s poke=300ms
expect GTH 0
"""

    def run_race(self, password, announcement):
        ftp = FtpServer(self)
        tracker = self.tracker_with_ports(ftpaddr="ftp://127.0.0.1/stats/",
                                          httpaddr="http://stats.example/lfs/",
                                          ftpuser=ftp.user, ftppw=password)
        standin = StandIn(self, self.RACE_END % announcement, self.server_port,
                          folder=tracker.folder)
        tracker.start().started()
        standin.finished_ok(60)
        self.assertEqual(tracker.stop(), 0)
        return ftp, tracker

    def test_saved_race_is_uploaded_at_the_next_tick_and_announced(self):
        ftp, tracker = self.run_race(FtpServer.password, "^2race Stats were uploaded sucessfully!")
        name = "race_SO1_race5.xml"
        with open(os.path.join(ftp.root, "stats", name), "rb") as file:
            uploaded = file.read()
        self.assertEqual(uploaded, tracker.read("xmlstats", name))
        self.assertValidXml(os.path.join(ftp.root, "stats", name))
        self.assertRegex(tracker.log(),
                         r"^\d\d\.\d\d \d\d:\d\d:\d\d\n"
                         r"http://stats\.example/lfs/race_SO1_race5\.xml\n"
                         r"http://[^\n]*/lfsreport/index\.php\?qfile=&rfile="
                         r"stats\.example%2Flfs%2Frace_SO1_race5\.xml\n\n$")

    def test_failed_upload_is_logged_and_announced(self):
        ftp, tracker = self.run_race("wrong", "^1uploading race Stats failed!")
        self.assertEqual(os.listdir(os.path.join(ftp.root, "stats")), [])
        stats = tracker.path("xmlstats", os.listdir(tracker.path("xmlstats"))[0])
        self.assertRegex(tracker.log(), "^\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d Couldn\u00b4t log into ftp; "
                         + re.escape(stats) + " was not uploaded\n\n$")
        self.assertValidXml(stats)


class SilentFtpServer:
    """Takes connections on 127.0.0.1:21 and never says a word."""

    def __init__(self, test):
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            self.listener.bind(("127.0.0.1", 21))
        except OSError:
            self.listener.close()
            test.skipTest("port 21 on 127.0.0.1 is busy or cannot be bound")
        self.listener.listen(8)
        self.connections = []
        test.addCleanup(self.close)
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                return
            self.connections.append(connection)

    def close(self):
        self.listener.close()
        for connection in self.connections:
            connection.close()


class StopDuringUpload(LinuxProgramCase):
    """A server that never greets holds an upload; a stop is still taken."""

    RACE = Upload.RACE_END.split("# The next tick")[0]

    def stalled_upload(self):
        SilentFtpServer(self)
        tracker = self.tracker_with_ports(ftpaddr="ftp://127.0.0.1/stats/", ftpuser="racer", ftppw="pw")
        standin = StandIn(self, self.RACE, self.server_port, folder=tracker.folder)
        tracker.start().started()
        standin.finished_ok(60)
        # A few ticks: the upload has begun and waits for the greeting.
        time.sleep(1.0)
        return tracker, tracker.path("xmlstats", "race_SO1_race5.xml")

    def test_a_second_stop_signal_abandons_the_upload_at_once(self):
        tracker, stats = self.stalled_upload()
        tracker.process.send_signal(signal.SIGTERM)
        self.assertIsNotNone(tracker.out.wait_for("Tarnbeck is stopping", 5))
        stopping = time.monotonic()
        tracker.process.send_signal(signal.SIGTERM)
        self.assertEqual(tracker.wait(10), 0)
        self.assertLess(time.monotonic() - stopping, 3)
        self.assertIn(stats + " was not uploaded", tracker.log())
        self.assertValidXml(stats)

    def test_one_stop_signal_waits_for_the_upload_within_the_stop_budget(self):
        tracker, stats = self.stalled_upload()
        stopping = time.monotonic()
        self.assertEqual(tracker.stop(45), 0)
        # The server never greets: the upload gives up at its connect time-out.
        self.assertLess(time.monotonic() - stopping, 35)
        self.assertIn(stats + " was not uploaded", tracker.log())
        self.assertValidXml(stats)


def binary_insim_script(script):
    """The script with what the binary protocol takes from other packets than
    the text protocol: the track's nodes in RST, the start order in REO."""
    script = re.sub(r"^(RST [^\n]*?)( ack=\d+)$", r"\1 nodes=600 finish=20\2", script, count=1, flags=re.M)
    return re.sub(r"^(STA )", "REO order=1,2,3 ack=5\n\\1", script, count=1, flags=re.M)


class BinaryInSim(LinuxProgramCase):
    """The binary InSim 9 over TCP and UDP against the stand-in in that protocol."""

    def run_standin(self, script, transport, extra=(), **values):
        tracker = self.tracker_with_ports(insimversion="9", transport=transport, **values)
        standin = StandIn(self, script, self.server_port, folder=tracker.folder,
                          options=["--insim", "9", "--" + transport] + list(extra))
        tracker.start().started()
        standin.finished_ok(60)
        return tracker, standin

    def test_sample_race_gives_the_stats_file_of_the_text_protocol(self):
        with open(SAMPLE_RACE) as file:
            script = binary_insim_script(file.read())
        with open(os.path.join(EXPECTED_DIR, "sample_race.xml"), "rb") as file:
            expected = file.read()
        # Carried by one protocol only: the binary RES marks every result
        # confirmed (its Confirm byte, the document's PENALTYFLAGS, is 2);
        # the text protocol's sample sends 0.
        expected = expected.replace(b"<PENALTYFLAGS>0</PENALTYFLAGS>", b"<PENALTYFLAGS>2</PENALTYFLAGS>")
        for transport in ("tcp", "udp"):
            with self.subTest(transport):
                tracker, _ = self.run_standin(script, transport)
                self.assertEqual(tracker.stop(), 0)
                self.assertEqual(tracker.read("xmlstats", "race_BL1_race3.xml"), expected)

    def test_commands_only_from_the_host_or_an_admin(self):
        # On a host the game texts go to everyone (MTC); a guest would see MSL.
        script = RACE_SETUP + RACE_LAPS + """
ISM host="League"
NCN ucid=7 user=guest name="Guest" admin=0
NCN ucid=8 user=marshal name="Marshal" admin=1
MSO "!delete" ucid=7
MSO "!save" ucid=8
expect MTC "^2race stats were saved!"
MSO "!save" ucid=0
expect MTC "^2race stats were saved!"
"""
        for transport in ("tcp", "udp"):
            with self.subTest(transport):
                tracker, standin = self.run_standin(script, transport)
                replies = [text for _, text in standin.replies()]
                self.assertNotIn("deleted", " ".join(replies))
                self.assertEqual(tracker.stop(), 0)
                self.assertIn("!delete from guest was ignored", tracker.err.text())
                self.assertValidXml(tracker.path("xmlstats", "race_SO1_race5.xml"))

    def test_a_closed_link_writes_the_race_and_a_later_tick_links_again(self):
        script = RACE_SETUP + RACE_LAPS + """
wait 500ms
close
expect NLI 350 within=10s
"""
        tracker, standin = self.run_standin(script, "tcp")
        stats = tracker.path("xmlstats", "race_SO1_race5.xml")
        self.assertValidXml(stats)
        self.assertEqual(xpath(stats, "count(//LAP)"), "4")
        self.assertEqual(tracker.stop(), 0)

    def test_a_host_that_is_down_is_tried_quietly_at_every_tick(self):
        tracker = self.tracker_with_ports(insimversion="9", transport="tcp")
        tracker.start().started()
        time.sleep(3)
        stat = open("/proc/%d/stat" % tracker.process.pid).read().split()
        used = (int(stat[13]) + int(stat[14])) / os.sysconf("SC_CLK_TCK")
        fds = len(os.listdir("/proc/%d/fd" % tracker.process.pid))
        time.sleep(3)
        stat = open("/proc/%d/stat" % tracker.process.pid).read().split()
        self.assertLess((int(stat[13]) + int(stat[14])) / os.sysconf("SC_CLK_TCK") - used, 0.5, "a busy loop")
        self.assertEqual(len(os.listdir("/proc/%d/fd" % tracker.process.pid)), fds)
        self.assertEqual(tracker.stop(), 0)
        self.assertEqual(tracker.err.text().count("cannot be linked"), 1, tracker.err.text())

    def test_keep_alive_is_answered(self):
        # The stand-in fails when a keep-alive goes unanswered until the next.
        script = RACE_SETUP + "wait 3500ms\n"
        tracker, _ = self.run_standin(script, "tcp", extra=["--keepalive", "1"])
        self.assertEqual(tracker.stop(), 0)

    def test_an_unknown_protocol_version_is_said_and_nothing_links(self):
        tracker = self.tracker_with_ports(insimversion="8")
        tracker.start().started()
        self.assertIsNotNone(tracker.err.wait_for('insimversion "8" is not a protocol this program speaks', 5),
                             tracker.err.text())
        self.assertEqual(tracker.stop(), 0)


class LinkLifetime(LinuxProgramCase):
    def test_simulator_gone_ends_the_link_and_writes_the_race(self):
        tracker = self.tracker_with_ports()
        standin = StandIn(self, RACE_SETUP + RACE_LAPS, self.server_port, folder=tracker.folder)
        tracker.start().started()
        standin.finished_ok(60)
        self.assertFalse(udp_port_is_free(self.client_port), "the link should hold the port")

        # Within about a second of the next tick the thread has ended: the
        # port is free and the race it held was written.
        self.assertTrue(wait_until(lambda: udp_port_is_free(self.client_port), 10))
        freed = time.monotonic()
        self.assertLess(freed - standin.ended, TICK_MS / 1000 + 1.5)
        stats = tracker.path("xmlstats", "race_SO1_race5.xml")
        self.assertTrue(os.path.exists(stats))
        self.assertValidXml(stats)
        self.assertEqual(xpath(stats, "count(//PLAYER)"), "2")
        self.assertEqual(xpath(stats, "string(//PLAYER[NAME='Dave']/PLLAPCOUNT)"), "2")
        self.assertEqual(xpath(stats, "string(//PLAYER[NAME='Dave']//LAP[1]/LAPTIME)"), "00:01:00:50")
        self.assertTrue(wait_until(lambda: "was saved" in tracker.log(), 5), tracker.log())

        # The simulator comes back: a fresh link, a new ISI, a fresh race.
        again = StandIn(self, "RTP\nexpect NLI 350\n", self.server_port, folder=tracker.folder)
        again.finished_ok(30)
        self.assertIn("ISI port=%d" % self.client_port, again.out.text())
        self.assertEqual(tracker.stop(), 0)

    def test_sigterm_mid_race_writes_the_race_and_exits_cleanly(self):
        tracker = self.tracker_with_ports()
        standin = StandIn(self, RACE_SETUP + RACE_LAPS, self.server_port, linger_ms=60000,
                          folder=tracker.folder)
        tracker.start().started()
        self.assertIsNotNone(standin.out.wait_for(r"<- ACK 15", 30), standin.out.text())
        stopping = time.monotonic()
        self.assertEqual(tracker.stop(), 0)
        self.assertLess(time.monotonic() - stopping, 5)
        stats = tracker.path("xmlstats", "race_SO1_race5.xml")
        self.assertValidXml(stats)
        self.assertEqual(xpath(stats, "count(//LAP)"), "4")
        # The file saved on the way out was handled before the exit.
        self.assertRegex(tracker.log(), r"Stats file %s was saved" % re.escape(stats))
        self.assertTrue(udp_port_is_free(self.client_port))

    def test_unusable_ports_end_the_program_with_a_message(self):
        cases = [
            ({"serverip": "no-such-host.invalid"}, "The serverport could not bind"),
            ({}, "The clientport could not bind"),
        ]
        for values, message in cases:
            with self.subTest(message):
                tracker = self.tracker_with_ports(**values)
                blocker = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
                self.addCleanup(blocker.close)
                # Held on loopback, the port cannot be bound on all interfaces.
                blocker.bind(("127.0.0.1", self.client_port))
                standin = StandIn(self, "wait 1s\n", self.server_port, folder=tracker.folder)
                tracker.start().started()
                self.assertEqual(tracker.wait(15), 1)
                lines = tracker.err.text().splitlines()
                self.assertEqual(lines[-1], "Network Error: " + message)
                # Only the network layer's own reports of the failure come before it.
                for line in lines[:-1]:
                    self.assertRegex(line, r"^Tarnbeck network: ")
                standin.kill()
                blocker.close()

    def test_startlfs_launches_the_simulator_which_is_then_linked(self):
        server_port = free_udp_port()
        client_port = free_udp_port()
        folder = tempfile.mkdtemp(prefix="tarnbeck-e2e-game-")
        self.addCleanup(shutil.rmtree, folder, True)
        game = os.path.join(folder, "lfs standin")
        shutil.copy2(STANDIN, game)
        with open(os.path.join(folder, "race one.race"), "w") as file:
            file.write(RACE_SETUP + RACE_LAPS + "REN ack=20\nexpect ACK 20\n")
        tracker = Tracker(self, settings_text(
            server_port, client_port, lfs=game,
            lfsparameters="[INSIM] --isi-timeout 20 'race one.race'"))
        tracker.start("-startlfsx").started()
        stats = tracker.path("xmlstats", "race_SO1_race5.xml")
        self.assertTrue(wait_until(lambda: os.path.exists(stats), 30), tracker.err.text())
        self.assertTrue(wait_until(lambda: "was saved" in tracker.log(), 5))
        self.assertValidXml(stats)
        self.assertEqual(tracker.stop(), 0)

    def test_startlfs_without_a_simulator_path_says_where_to_set_it(self):
        tracker = Tracker(self).start("-startlfs")
        tracker.started()
        self.assertEqual(tracker.stop(), 0)
        self.assertIn("lfs in the [main] section of %s" % tracker.path("trbk.ini"),
                      tracker.err.text())


class KeepAlive(LinuxProgramCase):
    def test_silent_simulator_gets_a_gth_after_23_passes_then_every_pass(self):
        tracker = self.tracker_with_ports()
        standin = StandIn(self, "wait 30s\n", self.server_port, linger_ms=0, folder=tracker.folder)
        tracker.start().started()
        standin.finished_ok(60)
        replies = standin.replies()
        self.assertEqual(replies[0][1][:4], "ISI ")
        start = replies[0][0]
        gth = [stamp - start for stamp, text in replies if text == "GTH 0"]
        self.assertEqual([text for _, text in replies if text != "GTH 0"][1:], [])
        # One right after the ISI; then a 3-second first wait and 23 one-second
        # passes go by before the next.
        self.assertLess(gth[0], 0.5)
        self.assertGreater(len(gth), 2, replies)
        self.assertGreater(gth[1], 25.0, gth)
        self.assertLess(gth[1], 27.5, gth)
        for earlier, later in zip(gth[1:], gth[2:]):
            self.assertGreater(later - earlier, 0.8, gth)
            self.assertLess(later - earlier, 1.5, gth)

    def test_traffic_every_few_seconds_means_no_keep_alive(self):
        tracker = self.tracker_with_ports()
        standin = StandIn(self, "RTP\nwait 2s\n" * 15, self.server_port, folder=tracker.folder)
        tracker.start().started()
        standin.finished_ok(60)
        replies = [text for _, text in standin.replies()]
        self.assertEqual(replies[1:], ["GTH 0", "NLI 350"], replies)


def process_cpu_seconds(pid):
    """User and system CPU time the process has used so far."""
    with open("/proc/%d/stat" % pid) as file:
        fields = file.read().rsplit(")", 1)[1].split()
    # After the name: state is field 3, utime field 14 and stime field 15.
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def process_resources(pid):
    """(resident KiB, open descriptors, threads) of a running process."""
    with open("/proc/%d/status" % pid) as file:
        rss = next(int(line.split()[1]) for line in file if line.startswith("VmRSS:"))
    return rss, len(os.listdir("/proc/%d/fd" % pid)), len(os.listdir("/proc/%d/task" % pid))


def socket_descriptors(pid):
    folder = "/proc/%d/fd" % pid
    found = []
    for name in os.listdir(folder):
        try:
            if os.readlink(os.path.join(folder, name)).startswith("socket:"):
                found.append(int(name))
        except OSError:
            pass  # closed meanwhile
    return found


class ManyDescriptors(LinuxProgramCase):
    OPEN = 1030

    def hold_descriptors(self):
        """Descriptors 3 to 1032 open here, to be passed on: the program's own
        then get numbers above 1023, beyond what select() can wait on."""
        import resource
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        wanted = self.OPEN + 200
        if soft < wanted:
            if hard < wanted:
                self.skipTest("the descriptor limit (%d) is below %d" % (hard, wanted))
            resource.setrlimit(resource.RLIMIT_NOFILE, (wanted, hard))
        null = os.open(os.devnull, os.O_RDONLY)
        held = range(3, 3 + self.OPEN)
        made = []
        for fd in held:
            try:
                os.fstat(fd)
            except OSError:
                os.dup2(null, fd, inheritable=False)
                made.append(fd)
        os.close(null)
        self.addCleanup(lambda: [os.close(fd) for fd in made])
        return held

    def test_with_1030_descriptors_open_it_links_tracks_saves_and_idles(self):
        held = self.hold_descriptors()
        tracker = self.tracker_with_ports()
        with open(SAMPLE_RACE) as file:
            script = file.read() + "\nwait 5s\n"
        standin = StandIn(self, script, self.server_port, folder=tracker.folder)
        tracker.start(pass_fds=held).started()
        self.assertIsNotNone(standin.out.wait_for(r"<- ACK 42", 60), standin.out.text())
        pid = tracker.process.pid
        sockets = socket_descriptors(pid)
        self.assertTrue(sockets, "the link has no sockets")
        self.assertGreater(min(sockets), 1023, sockets)
        self.assertGreaterEqual(len(os.listdir("/proc/%d/fd" % pid)), self.OPEN)

        # Linked and idle: one wait a second and the tick, next to no CPU.
        time.sleep(0.5)
        before = process_cpu_seconds(pid)
        time.sleep(3)
        used = process_cpu_seconds(pid) - before
        self.assertLess(used, 0.15, "%.2f s of CPU in 3 s of idling" % used)

        standin.finished_ok(30)
        with open(os.path.join(EXPECTED_DIR, "sample_race.xml"), "rb") as file:
            self.assertEqual(tracker.read("xmlstats", "race_BL1_race3.xml"), file.read())
        self.assertEqual(tracker.stop(), 0)
        self.assertNotIn("select", tracker.err.text())


def long_race_script():
    """Eight laps of Fern Bay with six drivers, three splits a lap: two of
    them named alike, one who leaves and comes back, pit stops, the packets
    that are only acknowledged, results and the race end. Every numbered
    packet has an ack word of its own, as the simulator's are."""
    ack = iter(range(2, 60000))
    names = ["Ann", "Sam", "Kim", "Sam", "Lou", "Max"]
    ids = [1, 2, 3, 4, 5, 6]
    lines = ["RST laps=8 track=FE2 weather=2 wind=1 ack=1", "expect NLI 350", "expect ACK 1",
             "MCI nodes=800 finish=30 players=6", "expect VER 0"]
    for index, name in enumerate(names):
        lines.append('NPL id=%d user=u%d name="%s" car=XRT start=%d ack=%d'
                     % (ids[index], index, name, index, next(ack)))
    lines += ["STA finished=0 laps=8 track=FE2 weather=2", 'ISM host="Long race"', 'VER version="0.6B"']

    def cars(lap, node, order):
        return " ".join("car(id=%d lap=%d node=%d speed=%d)"
                        % (ids[i], lap, max(node - 6 * place, 1), 8000 + 37 * ((lap * 7 + i * 13) % 29))
                        for place, i in enumerate(order))

    for lap in range(1, 9):
        # The order turns a little each lap, so positions change.
        order = sorted(range(6), key=lambda i: (i * 5 + lap * 3) % 6)
        for split, node in enumerate((220, 420, 620), start=1):
            lines.append("MCI nodes=800 finish=30 players=6 " + cars(lap, node, order))
            for place, i in enumerate(order):
                lines.append("SP id=%d split=%d time=0:%02d.%02d ack=%d"
                             % (ids[i], split, 18 * split + place, (lap * 11 + i) % 100, next(ack)))
            lines.append("MCI nodes=800 finish=30 players=6 " + cars(lap, node + 8, order))
        lines.append("MCI nodes=800 finish=30 players=6 " + cars(lap + 1, 40, order))
        for place, i in enumerate(order):
            lines.append("LAP id=%d time=1:%02d.%02d ack=%d" % (ids[i], 10 + place, (lap * 7 + i) % 100,
                                                            next(ack)))
            if lap == 8:
                lines.append("RES id=%d total=%d:%02d.%02d best=1:%02d.00 pos=%d pits=%d ack=%d"
                             % (ids[i], 9 + place // 3, (10 * place) % 60, i, 10 + place, place,
                                1 if i == 2 else 0, next(ack)))
        lines.append("MCI nodes=800 finish=30 players=6 " + cars(lap + 1, 60, order))
        lines.append("CLR ack=%d" % next(ack) if lap % 2 else "REO ack=%d" % next(ack))
        if lap == 3:
            lines.append("PLP id=3 ack=%d" % next(ack))
        if lap == 4:
            lines.append("PLL id=6 ack=%d" % next(ack))
            lines.append("CNL ack=%d" % next(ack))
        if lap == 5:
            # Max comes back under a new id: he takes his old record over.
            lines.append("NCN ack=%d" % next(ack))
            ids[5] = 16
            lines.append('NPL id=16 user=u5 name="Max" car=FZR start=5 ack=%d' % next(ack))
            lines.append("CPR ack=%d" % next(ack))
        last = next(ack)
        lines.append("CLR ack=%d" % last)
        lines.append("expect ACK %d" % last)
    lines += ["REN ack=%d" % next(ack), 'expect MST "/echo ^2race stats were saved!"']
    return "\n".join(lines) + "\n"


class Chaos(LinuxProgramCase):
    """Races through a network that drops and repeats datagrams give the
    stats file of a run without loss, byte for byte."""

    def play(self, script, seed=None):
        """Plays the script, through the lossy relay when a seed is given;
        the bytes of the one stats file written, and the relay."""
        from lossy_relay import LossyRelay
        standin_port = free_udp_port()
        client_port = free_udp_port()
        relay = None
        options = ()
        server_port = standin_port
        if seed is not None:
            relay = LossyRelay(standin_port, seed).start()
            self.addCleanup(relay.stop)
            server_port = relay.port
            options = ("--resend", "300")
        tracker = Tracker(self, settings_text(server_port, client_port))
        standin = StandIn(self, script, standin_port, folder=tracker.folder, options=options)
        tracker.start().started()
        code = standin.wait(240)
        detail = "seed %s; %s" % (seed, relay.counts() if relay else "no relay")
        self.assertEqual(code, 0, "stand-in failed (%s):\n%s\n%s" % (detail, standin.out.text()[-3000:],
                                                                     standin.err.text()))
        self.assertTrue(wait_until(lambda: "was saved" in tracker.log(), 10), tracker.log())
        self.assertEqual(tracker.stop(), 0)
        saved = os.listdir(tracker.path("xmlstats"))
        self.assertEqual(len(saved), 1, "%s (%s)" % (saved, detail))
        self.assertEqual(tracker.log().count("was saved"), 1, tracker.log())
        return tracker.read("xmlstats", saved[0]), relay, standin

    def assertMisbehaved(self, relay):
        """The seed gave drops and repeats both ways, and the stand-in resent."""
        for direction in (relay.to_tracker, relay.to_simulator):
            self.assertGreater(direction.dropped, 0, relay.counts())
            self.assertGreater(direction.repeated, 0, relay.counts())

    def test_sample_race_through_a_lossy_network(self):
        with open(os.path.join(EXPECTED_DIR, "sample_race.xml"), "rb") as file:
            loss_free = file.read()
        seed = int(os.environ.get("TARNBECK_CHAOS_SEED", "5"))
        stats, relay, standin = self.play(SAMPLE_RACE, seed)
        self.assertMisbehaved(relay)
        self.assertIn("-> again: ", standin.out.text())
        self.assertEqual(stats, loss_free, "seed %d; %s" % (seed, relay.counts()))

    def test_longer_race_through_a_lossy_network(self):
        script = long_race_script()
        loss_free, _, _ = self.play(script)
        seed = int(os.environ.get("TARNBECK_CHAOS_SEED", "11"))
        stats, relay, _ = self.play(script, seed)
        self.assertMisbehaved(relay)
        self.assertEqual(stats, loss_free, "seed %d; %s" % (seed, relay.counts()))
        # Two drivers named Sam, and Max, who came back: six records.
        with tempfile.NamedTemporaryFile(suffix=".xml") as file:
            file.write(stats)
            file.flush()
            self.assertValidXml(file.name)
            self.assertEqual(xpath(file.name, "count(//PLAYER)"), "6")
            self.assertEqual(xpath(file.name, "count(//PLAYER[NAME='Sam'])"), "2")
            self.assertEqual(xpath(file.name, "count(//PLAYER[NAME='Sam']//LAP)"), "16")
            self.assertEqual(xpath(file.name, "string(//PLAYER[NAME='Max']/STARTORDER)"), "Rejoined")


def short_race_script(number, ack):
    """One race of one lap with two drivers on a track named for its number,
    so each race has a stats file of its own; ack gives the ack words."""
    track = "S%04d" % number
    lines = ["RST laps=1 track=%s ack=%d" % (track, next(ack)),
             "MCI nodes=300 finish=10 players=2",
             "expect VER 0",
             'NPL id=1 user=ann name="Ann" car=XFG start=0 ack=%d' % next(ack),
             'NPL id=2 user=bob name="Bob" car=XRG start=1 ack=%d' % next(ack),
             "MCI nodes=300 finish=10 players=2 car(id=1 lap=1 node=150 speed=9000) "
             "car(id=2 lap=1 node=140 speed=8900)",
             "SP id=1 split=1 time=0:20.%02d ack=%d" % (number % 100, next(ack)),
             "SP id=2 split=1 time=0:20.%02d ack=%d" % ((number + 7) % 100, next(ack)),
             "MCI nodes=300 finish=10 players=2 car(id=1 lap=2 node=20 speed=8000) "
             "car(id=2 lap=2 node=15 speed=7900)",
             "LAP id=1 time=0:40.%02d ack=%d" % (number % 100, next(ack)),
             "RES id=1 total=0:40.%02d best=0:40.%02d pos=0 ack=%d" % (number % 100, number % 100, next(ack)),
             "LAP id=2 time=0:41.%02d ack=%d" % (number % 100, next(ack)),
             "RES id=2 total=0:41.%02d best=0:41.%02d pos=1 ack=%d" % (number % 100, number % 100, next(ack))]
    end = next(ack)
    lines += ["REN ack=%d" % end, 'expect MST "/echo ^2race stats were saved!"', "expect ACK %d" % end]
    return "\n".join(lines) + "\n"


class Soak(LinuxProgramCase):
    RACES = 1000
    TICK_MS = 50

    def test_a_thousand_races_through_one_tracker_leave_resources_flat(self):
        ack = iter(range(1, 60000))
        script = "".join(short_race_script(number, ack) for number in range(1, self.RACES + 1))
        script += "wait 4s\n"  # idle, while the last figures are taken
        tracker = self.tracker_with_ports(outputname="soak_[TRACK].xml")
        tracker.environment["TARNBECK_TICK_MS"] = str(self.TICK_MS)
        standin = StandIn(self, script, self.server_port, folder=tracker.folder,
                          options=("--quiet",))
        tracker.start().started()
        pid = tracker.process.pid
        stats = tracker.path("xmlstats")

        def saved():
            return len(os.listdir(stats)) if os.path.isdir(stats) else 0

        # Warmed up: the first 50 races are in, the buffers have their sizes.
        self.assertTrue(wait_until(lambda: saved() >= 50, 120), standin.err.text())
        start = process_resources(pid)
        started = time.monotonic()
        self.assertTrue(wait_until(lambda: saved() >= self.RACES, 600),
                        "%d of %d races saved; %s" % (saved(), self.RACES, standin.err.text()))
        self.assertTrue(wait_until(lambda: tracker.log().count("was saved") >= self.RACES, 10))
        end = process_resources(pid)
        took = time.monotonic() - started
        standin.finished_ok(60)
        self.assertEqual(tracker.stop(), 0)

        figures = "start %s, end %s (KiB, descriptors, threads) over %.0f s" % (start, end, took)
        print(figures)
        self.assertLessEqual(end[0], start[0] + 512, figures)
        self.assertLessEqual(end[1], start[1], figures)
        self.assertLessEqual(end[2], start[2], figures)

        names = sorted(os.listdir(stats))
        self.assertEqual(names, ["soak_S%04d.xml" % number for number in range(1, self.RACES + 1)])
        self.assertEqual(tracker.log().count("was saved"), self.RACES)
        for name in (names[0], names[len(names) // 2], names[-1]):
            path = os.path.join(stats, name)
            self.assertValidXml(path)
            self.assertEqual(xpath(path, "count(//PLAYER)"), "2")
            self.assertEqual(xpath(path, "count(//LAP)"), "2")


def test_names(suite):
    for item in suite:
        if isinstance(item, unittest.TestSuite):
            yield from test_names(item)
        else:
            yield "%s.%s" % (type(item).__name__, item._testMethodName)


def run_module(module, required):
    """Runs the named cases of a module of end-to-end cases; --list names them all."""
    if sys.argv[1:] == ["--list"]:
        # Every case of the module, one a line, for the build to register.
        for name in test_names(unittest.defaultTestLoader.loadTestsFromModule(module)):
            print(name)
        return
    for name, value in required:
        if not value:
            sys.exit("%s is not set" % name)
    suite = unittest.defaultTestLoader.loadTestsFromNames(sys.argv[1:], module)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    if not result.wasSuccessful():
        sys.exit(1)
    if result.skipped and result.testsRun == len(result.skipped):
        sys.exit(77)


def main():
    run_module(sys.modules[__name__],
               (("TARNBECK_BIN", TARNBECK), ("STANDIN_BIN", STANDIN), ("SAMPLE_RACE", SAMPLE_RACE),
                ("EXPECTED_DIR", EXPECTED_DIR), ("SETTINGS_TEMPLATE", SETTINGS_TEMPLATE)))


if __name__ == "__main__":
    main()
