#!/usr/bin/env python3
"""A lossy network between the tracker and the simulator stand-in, on 127.0.0.1.

The tracker's serverport names the relay's tracker side; the relay passes
what the tracker sends on to the stand-in's port, with the port in the ISI
packet changed to the relay's simulator side, so that the stand-in's packets
come through the relay as well.

In each direction it drops a share of the datagrams that the protocol
recovers from and repeats a share of all datagrams (sent twice, back to
back). Recovered are the simulator's packets that carry an ack word (the
stand-in, run with --resend, sends them again until their ACK comes) and the
tracker's ACKs (the packet is then sent again, and the tracker must know it).
Nothing in the old protocol brings back a lost car packet or a lost request,
so those are never dropped; races played through the relay hold no chat
lines or votes, which carry no ack word and cannot be told from a second one.
A fixed seed makes each run drop and repeat the same datagrams.
"""

import random
import selectors
import socket
import struct
import threading

# Packets of the simulator that carry an ack word: (length, ID) as the
# tracker recognises them; "SP" is compared on two characters.
ACKED_PACKETS = {
    (8, b"REN"), (8, b"CLR"), (12, b"SP"), (20, b"RST"), (56, b"CNL"), (60, b"NCN"),
    (60, b"PLP"), (60, b"PLL"), (64, b"REO"), (88, b"CPR"), (92, b"LAP"), (100, b"NPL"),
    (108, b"RES"),
}


def carries_ack_word(datagram):
    return any(len(datagram) == length and datagram.startswith(ident)
               for length, ident in ACKED_PACKETS)


def is_ack(datagram):
    return len(datagram) == 8 and datagram.startswith(b"ACK\0")


def is_isi(datagram):
    return len(datagram) == 24 and datagram.startswith(b"ISI\0")


class Direction:
    """Counts of one direction, for the test to see that the network did
    misbehave."""

    def __init__(self):
        self.passed = 0
        self.dropped = 0
        self.repeated = 0


class LossyRelay:
    def __init__(self, standin_port, seed, drop=0.10, repeat=0.05):
        self.standin_port = standin_port
        self.random = random.Random(seed)
        self.drop = drop
        self.repeat = repeat
        self.tracker_side = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.tracker_side.bind(("127.0.0.1", 0))
        self.simulator_side = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.simulator_side.bind(("127.0.0.1", 0))
        self.port = self.tracker_side.getsockname()[1]
        self.tracker_port = None  # the tracker's client port, from its ISI
        self.to_simulator = Direction()
        self.to_tracker = Direction()
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)

    def start(self):
        self._thread.start()
        return self

    def stop(self):
        self._stop.set()
        self._thread.join(5)
        self.tracker_side.close()
        self.simulator_side.close()

    def counts(self):
        return "to the simulator %s, to the tracker %s" % (
            vars(self.to_simulator), vars(self.to_tracker))

    def _run(self):
        with selectors.DefaultSelector() as selector:
            selector.register(self.tracker_side, selectors.EVENT_READ, self._from_tracker)
            selector.register(self.simulator_side, selectors.EVENT_READ, self._from_simulator)
            while not self._stop.is_set():
                for key, _ in selector.select(0.1):
                    datagram = key.fileobj.recv(65536)
                    key.data(datagram)

    def _from_tracker(self, datagram):
        if is_isi(datagram):
            self.tracker_port = struct.unpack_from("<H", datagram, 4)[0]
            port = self.simulator_side.getsockname()[1]
            datagram = datagram[:4] + struct.pack("<H", port) + datagram[6:]
        self._pass(datagram, is_ack(datagram), self.to_simulator,
                   lambda data: self.simulator_side.sendto(data, ("127.0.0.1", self.standin_port)))

    def _from_simulator(self, datagram):
        if self.tracker_port is None:
            return  # nobody to send it to yet: the stand-in speaks only after the ISI
        self._pass(datagram, carries_ack_word(datagram), self.to_tracker,
                   lambda data: self.tracker_side.sendto(data, ("127.0.0.1", self.tracker_port)))

    def _pass(self, datagram, recoverable, direction, send):
        # Both draws are made for every datagram, so the sequence of choices
        # stays the same whatever kind of packet comes.
        drop = self.random.random() < self.drop
        repeat = self.random.random() < self.repeat
        if drop and recoverable:
            direction.dropped += 1
            return
        send(datagram)
        direction.passed += 1
        if repeat:
            send(datagram)
            direction.repeated += 1
