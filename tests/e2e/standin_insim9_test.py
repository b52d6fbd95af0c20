#!/usr/bin/env python3
"""End-to-end checks of the simulator stand-in in binary InSim (version 9).

The real lfs_standin binary plays race scripts over TCP or UDP on
127.0.0.1 against a small tracker written here from the protocol's layouts:
it sends the ISI and the handshake's TINY requests, answers keep-alives,
cuts the stream by Size bytes and says "race stats were saved" at the race
end. Checked: the answers the stand-in gives, the packets it plays, the
expect lines in both wordings, keep-alive checks, and the close step.

Run one case: standin_insim9_test.py CLASS.test_name. Needs STANDIN_BIN and
SAMPLE_RACE in the environment (ctest sets them).
"""

import os
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

STANDIN = os.environ.get("STANDIN_BIN", "")
SAMPLE_RACE = os.environ.get("SAMPLE_RACE", "")

ISP_ISI, ISP_VER, ISP_TINY, ISP_SMALL, ISP_STA, ISP_ISM = 1, 2, 3, 4, 5, 10
ISP_MTC, ISP_RST, ISP_NCN, ISP_NPL, ISP_LAP, ISP_SPX, ISP_RES, ISP_REO, ISP_MCI = 14, 17, 18, 21, 24, 25, 35, 36, 38
TINY_NONE, TINY_CLOSE, TINY_REN, TINY_NCN, TINY_NPL, TINY_RST, TINY_SST, TINY_ISM, TINY_REO = 0, 2, 11, 13, 14, 19, 7, 10, 18


def free_port(kind):
    with socket.socket(socket.AF_INET, kind) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def isi(interval=350, admin=b"pw"):
    packet = bytearray(44)
    packet[0:4] = bytes([11, ISP_ISI, 1, 0])
    struct.pack_into("<HHBBH", packet, 4, 0, 32, 9, 0, interval)
    packet[12:12 + len(admin)] = admin
    packet[28:36] = b"Tarnbeck"
    return bytes(packet)


def tiny(request, sub):
    return bytes([1, ISP_TINY, request, sub])


def mtc(text):
    body = text.encode() + b"\0"
    body += b"\0" * (-len(body) % 4)
    return bytes([(8 + len(body)) // 4, ISP_MTC, 0, 0, 255, 0, 0, 0]) + body


class FakeTracker:
    """The tracker's end: connects (TCP) or sends (UDP), cuts packets."""

    def __init__(self, port, tcp):
        self.tcp = tcp
        self.port = port
        self.buffer = b""
        self.closed = False
        self.sock = None

    def connect(self, within=5.0):
        deadline = time.time() + within
        while True:
            try:
                if self.tcp:
                    self.sock = socket.create_connection(("127.0.0.1", self.port), timeout=1)
                else:
                    self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
                self.sock.settimeout(0.2)
                self.buffer = b""
                self.closed = False
                return
            except OSError:
                if time.time() > deadline:
                    raise
                time.sleep(0.05)

    def send(self, packet):
        if self.tcp:
            self.sock.sendall(packet)
        else:
            self.sock.sendto(packet, ("127.0.0.1", self.port))

    def packets(self, seconds):
        """Every packet that comes within the time (or until the stand-in
        closes the connection)."""
        deadline = time.time() + seconds
        while time.time() < deadline and not self.closed:
            try:
                data = self.sock.recv(65536)
            except socket.timeout:
                continue
            except ConnectionResetError:
                data = b""
            if not data:
                self.closed = True
                break
            self.buffer += data
            while self.buffer and self.buffer[0] and len(self.buffer) >= self.buffer[0] * 4:
                size = self.buffer[0] * 4
                packet, self.buffer = self.buffer[:size], self.buffer[size:]
                yield packet

    def close(self):
        if self.sock:
            self.sock.close()


class StandInCase(unittest.TestCase):
    def setUp(self):
        if not STANDIN:
            self.skipTest("STANDIN_BIN not set")
        self.folder = tempfile.mkdtemp(prefix="standin9-")
        self.process = None

    def tearDown(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def start(self, script, *options, tcp=True):
        port = free_port(socket.SOCK_STREAM if tcp else socket.SOCK_DGRAM)
        path = script
        if not os.path.exists(script):
            path = os.path.join(self.folder, "script.race")
            with open(path, "w") as file:
                file.write(script)
        self.process = subprocess.Popen(
            [STANDIN, "--insim", "9", "--tcp" if tcp else "--udp", "--port", str(port),
             "--isi-timeout", "10", "--linger", "200", *options, path],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        tracker = FakeTracker(port, tcp)
        if not tcp:
            time.sleep(0.2)  # the stand-in binds before it reads
        tracker.connect()
        return tracker

    def finish(self, within=10):
        output, _ = self.process.communicate(timeout=within)
        return self.process.returncode, output


class SampleRace(StandInCase):
    def play_sample(self, tcp):
        tracker = self.start(SAMPLE_RACE, tcp=tcp)
        tracker.send(isi())
        for request, sub in [(2, TINY_NCN), (3, TINY_NPL), (4, TINY_RST), (5, TINY_SST), (6, TINY_ISM),
                             (7, TINY_REO)]:
            tracker.send(tiny(request, sub))
        seen = []
        for packet in tracker.packets(15):
            seen.append(packet)
            if packet[1] == ISP_TINY and packet[3] == TINY_REN:
                tracker.send(mtc("^2race stats were saved!"))
        tracker.close()
        code, output = self.finish()
        self.assertEqual(code, 0, output)
        return seen, output

    def check_sample(self, seen):
        version = seen[0]
        self.assertEqual(version[1], ISP_VER)
        self.assertEqual(version[2], 1, "the ISI's ReqI")
        self.assertEqual(version[4:8], b"0.7F")
        self.assertEqual(version[12:14], b"S3")
        self.assertEqual(version[18], 9)
        kinds = [packet[1] for packet in seen]
        self.assertEqual(kinds.count(ISP_LAP), 9)
        self.assertEqual(kinds.count(ISP_SPX), 18)
        self.assertEqual(kinds.count(ISP_RES), 3)
        joins = [packet for packet in seen if packet[1] == ISP_NPL and packet[2] == 0]
        self.assertEqual([packet[3] for packet in joins], [1, 2, 3])
        self.assertEqual([packet[73] for packet in joins], [1, 2, 3], "players in the race")
        # The requests are answered with the players the script had sent by then.
        answered = [packet for packet in seen if packet[1] == ISP_NPL and packet[2] == 3]
        self.assertIn(len(answered), (0, 3))
        laps = [packet for packet in seen if packet[1] == ISP_LAP and packet[3] == 2]
        self.assertEqual([struct.unpack_from("<I", lap, 4)[0] for lap in laps], [65700, 64600, 64400])
        self.assertEqual([struct.unpack_from("<H", lap, 12)[0] for lap in laps], [1, 2, 3])
        results = [packet for packet in seen if packet[1] == ISP_RES]
        self.assertEqual(results[0][3], 2)
        self.assertEqual(struct.unpack_from("<I", results[0], 64)[0], 194700)
        self.assertEqual(results[0][28:31], b"Bob")
        cars = [packet for packet in seen if packet[1] == ISP_MCI and packet[3] == 3]
        self.assertEqual(struct.unpack_from("<H", cars[0], 4 + 20)[0], 9000)
        self.assertIn(bytes([1, ISP_TINY, 0, TINY_REN]), seen)

    def test_sample_race_over_tcp(self):
        seen, output = self.play_sample(tcp=True)
        self.check_sample(seen)
        self.assertIn('<- MTC ucid=255 "^2race stats were saved!"', output)
        self.assertIn("reply to TINY RST reqi=4: type 17", output)

    def test_sample_race_over_udp(self):
        seen, _ = self.play_sample(tcp=False)
        self.check_sample(seen)

    def test_requests_are_answered_from_what_was_sent(self):
        script = ('NPL id=7 ucid=3 user=zed name="Zed" car=RB4 start=0\n'
                  'RST laps=191 track=AS3 nodes=700 finish=12\n'
                  'STA laps=191 track=AS3\n'
                  'ISM host="Host"\n'
                  'wait 200ms\n'
                  'expect TINY NPL\n'
                  'expect SST 0\n')
        tracker = self.start(script)
        tracker.send(isi())
        answers = {}
        for packet in tracker.packets(1.0):
            if packet[1] == ISP_ISM and packet[2] == 0:
                for request, sub in [(21, TINY_NCN), (22, TINY_NPL), (23, TINY_RST), (24, TINY_SST),
                                     (25, TINY_ISM), (26, TINY_REO)]:
                    tracker.send(tiny(request, sub))
            if packet[2] >= 21:
                answers[packet[2]] = packet
        code, output = self.finish()
        self.assertEqual(code, 0, output)
        self.assertEqual(answers[21][1], ISP_NCN)
        self.assertEqual(answers[21][3], 3)
        self.assertEqual(answers[22][1], ISP_NPL)
        self.assertEqual(answers[22][3], 7)
        self.assertEqual(answers[23][1], ISP_RST)
        self.assertEqual(answers[23][4], 191)
        self.assertEqual(struct.unpack_from("<H", answers[23], 18)[0], 700)
        self.assertEqual(answers[24][1], ISP_STA)
        self.assertEqual(answers[25][1], ISP_ISM)
        self.assertEqual(answers[26][1:5], bytes([ISP_REO, 26, 1, 7]))


class LinkLife(StandInCase):
    def test_keep_alive_answered_then_not(self):
        for answering, code in [(True, 0), (False, 3)]:
            with self.subTest(answering=answering):
                tracker = self.start("wait 3500ms\n", "--keepalive", "1")
                tracker.send(isi())
                asked = 0
                for packet in tracker.packets(4.5):
                    if packet[1] == ISP_TINY and packet[3] == TINY_NONE:
                        asked += 1
                        if answering:
                            tracker.send(tiny(0, TINY_NONE))
                result, output = self.finish()
                tracker.close()
                self.assertEqual(result, code, output)
                self.assertGreaterEqual(asked, 2 if answering else 1)
                if not answering:
                    self.assertIn("no TINY_NONE answer", output)

    def test_the_trackers_keep_alive_is_answered_once(self):
        tracker = self.start("wait 600ms\n")
        tracker.send(isi())
        tracker.send(tiny(0, TINY_NONE))
        answers = [packet for packet in tracker.packets(0.4) if packet[1] == ISP_TINY]
        tracker.send(tiny(0, TINY_NONE))  # the tracker answers every one it gets
        answers += [packet for packet in tracker.packets(0.4) if packet[1] == ISP_TINY]
        code, output = self.finish()
        self.assertEqual(code, 0, output)
        self.assertEqual(answers, [bytes([1, ISP_TINY, 0, TINY_NONE])])

    def test_close_ends_the_connection_and_the_next_tracker_is_played_to(self):
        script = ('NPL id=1 name="Ann"\n'
                  'close\n'
                  'ISM host="After"\n'
                  'expect MST "/echo back"\n')
        tracker = self.start(script)
        tracker.send(isi())
        first = list(tracker.packets(3))
        self.assertTrue(tracker.closed, "the stand-in closed the connection")
        self.assertIn(ISP_NPL, [packet[1] for packet in first])
        tracker.close()
        tracker.connect()
        tracker.send(isi())
        second = []
        for packet in tracker.packets(3):
            second.append(packet)
            if packet[1] == ISP_ISM:
                tracker.send(mtc("back"))
        code, output = self.finish()
        self.assertEqual(code, 0, output)
        self.assertEqual([packet[1] for packet in second[:2]], [ISP_VER, ISP_ISM])

    def test_close_over_udp_sends_tiny_close(self):
        tracker = self.start("close\n", tcp=False)
        tracker.send(isi())
        packets = list(tracker.packets(1.0))
        code, output = self.finish()
        self.assertEqual(code, 0, output)
        self.assertIn(tiny(0, TINY_CLOSE), packets)

    def test_a_missing_reply_fails_with_its_line(self):
        tracker = self.start('ISM host="x"\nexpect MTC "never" within=300ms\n')
        tracker.send(isi())
        list(tracker.packets(1.0))
        code, output = self.finish()
        self.assertEqual(code, 3, output)
        self.assertIn('line 2: MTC "never" did not arrive', output)


def main():
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import tracker_e2e_test as e2e
    e2e.run_module(sys.modules[__name__], (("STANDIN_BIN", STANDIN), ("SAMPLE_RACE", SAMPLE_RACE)))


if __name__ == "__main__":
    main()
