#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Each seed is a small input in the form its target reads: for the OnDatagram
target a byte picking the packet kind followed by the packet's bytes after
its ID, for the others as described in the target's source. Run it again
after changing an input format; the files are committed.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

KINDS = ["REN", "CLR", "RTP", "VTA", "SP", "RST", "VER", "STA", "ISM", "CNL",
         "NCN", "PLP", "PLL", "REO", "CPR", "LAP", "NPL", "RES", "MSO", "MCI"]
LENGTHS = {"REN": 8, "CLR": 8, "RTP": 8, "VTA": 8, "SP": 12, "RST": 20, "VER": 20,
           "STA": 28, "ISM": 40, "CNL": 56, "NCN": 60, "PLP": 60, "PLL": 60, "REO": 64,
           "CPR": 88, "LAP": 92, "NPL": 100, "RES": 108, "MSO": 132, "MCI": 204}
CHAT = {"!save": 200, "!delete": 201, "!deactivate": 202, "!activate": 203}


def packet(pid, fields=(), ack=None):
    """The simulator's bytes: ID, zero fill, fields as (offset, bytes)."""
    data = bytearray(LENGTHS[pid])
    data[0:len(pid)] = pid.encode()
    if pid == "SP":
        data[2:4] = b"1\0"
    for offset, value in fields:
        data[offset:offset + len(value)] = value
    if ack is not None:
        data[-2:] = struct.pack("<H", ack)
    return bytes(data)


def text(value, width):
    return value.encode("latin-1")[:width - 1].ljust(width, b"\0")


def time(h, m, s, c):
    return bytes([h, m, s, c])


def npl(pid, name, start, ack):
    return packet("NPL", [(4, text(name.lower(), 24)), (28, text(name, 32)), (60, text("XRT", 32)),
                          (95, bytes([pid, start]))], ack)


def mci(players, cars, node_count=200, finish=20):
    fields = [(4, struct.pack("<HHB", node_count, finish, players))]
    for index, (pid, lap, node, speed) in enumerate(cars):
        word = (node & 0x1FFF) | ((lap >> 8) << 13)
        fields.append((12 + 24 * index, struct.pack("<HBB", word, lap & 0xFF, pid)))
        fields.append((12 + 24 * index + 16, struct.pack("<H", speed)))
    return packet("MCI", fields)


def split(pid, t, ack):
    return packet("SP", [(4, t), (9, bytes([pid]))], ack)


def lap(pid, t, ack):
    return packet("LAP", [(84, t), (89, bytes([pid]))], ack)


def res(pid, total, best, position, ack):
    return packet("RES", [(84, struct.pack("<H", 0)), (93, bytes([1])), (95, bytes([pid])), (96, total),
                          (100, best), (104, bytes([position]))], ack)


def rst(laps, qual, track, ack):
    return packet("RST", [(4, bytes([laps, qual])), (8, text(track, 6))], ack)


# The fields the OnDatagram target fills from its input, as (offset, width,
# text); the same table as in on_datagram_fuzzer.cpp.
FIELDS = {
    "REN": [(6, 2, False)], "CLR": [(6, 2, False)], "RTP": [], "VTA": [(4, 4, False)],
    "SP": [(2, 1, False), (4, 4, False), (9, 3, False)],
    "RST": [(4, 2, False), (8, 6, True), (14, 2, False), (18, 2, False)],
    "VER": [(4, 8, True)],
    "STA": [(14, 1, False), (16, 2, False), (20, 6, True), (26, 2, False)],
    "ISM": [(8, 32, True)], "CNL": [(54, 2, False)], "NCN": [(58, 2, False)],
    "PLP": [(52, 1, False), (58, 2, False)], "PLL": [(52, 1, False), (58, 2, False)],
    "REO": [(62, 2, False)], "CPR": [(86, 2, False)],
    "LAP": [(84, 4, False), (89, 3, False)],
    "NPL": [(4, 24, True), (28, 32, True), (60, 32, True), (92, 2, False), (95, 2, False), (98, 2, False)],
    "RES": [(84, 2, False), (92, 2, False), (95, 10, False), (106, 2, False)],
    "MSO": [(4, 128, True)], "MCI": [(4, 5, False)],
}


def step(raw):
    """One OnDatagram step: the kind's index, then the fields it reads."""
    pid = "SP" if raw[:2] == b"SP" else raw[:3].decode("latin-1")
    out = bytearray([KINDS.index(pid)])
    for offset, width, is_text in FIELDS[pid]:
        field = raw[offset:offset + width]
        if is_text:
            field = field.split(b"\0")[0]
            out.append(len(field))
        out += field
    if pid == "MCI":
        cars = 0
        while cars < 8 and raw[12 + 24 * cars + 2] != 0:
            cars += 1
        out.append(cars)
        for car in range(cars):
            offset = 12 + 24 * car
            out += raw[offset:offset + 4] + raw[offset + 16:offset + 18]
    return bytes(out)


def chat(line):
    return bytes([CHAT[line]])


def race_steps(laps=2, qual=0, track="BL1"):
    steps = [step(packet("RTP")), step(mci(2, [])),
             step(npl(1, "Alice", 0, 1)), step(npl(2, "Bob", 1, 2)),
             step(rst(laps, qual, track, 3)),
             step(mci(2, [(1, 1, 50, 120), (2, 1, 40, 110)]))]
    ack = 4
    for number in range(1, laps + 1 if laps else 3):
        for pid in (1, 2):
            steps.append(step(split(pid, time(0, 0, 30 + pid, 0), ack)))
            ack += 1
        steps.append(step(mci(2, [(1, number, 120, 130), (2, number, 110, 125)])))
        for pid in (1, 2):
            steps.append(step(lap(pid, time(0, 1, 2 + pid, 50), ack)))
            ack += 1
        steps.append(step(mci(2, [(1, number + 1, 30, 100), (2, number + 1, 25, 99)])))
    steps.append(step(res(1, time(0, 2, 5, 0), time(0, 1, 3, 50), 0, ack)))
    steps.append(step(res(2, time(0, 2, 7, 0), time(0, 1, 4, 50), 1, ack + 1)))
    return steps


def on_datagram_seeds():
    seeds = {}
    seeds["race_end"] = race_steps() + [step(packet("REN", ack=90))]
    seeds["qualifying"] = race_steps(laps=0, qual=20) + [chat("!save"), step(packet("REN", ack=90))]
    seeds["practice_vote"] = race_steps(laps=0) + [step(packet("VTA", [(4, struct.pack("<i", 2))]))]
    seeds["host_version_state"] = [
        step(packet("RTP")), step(mci(1, [])), step(npl(7, "Carol", 0, 1)),
        step(packet("STA", [(14, bytes([1])), (16, bytes([0, 3])), (20, text("AS3", 6))])),
        step(packet("ISM", [(8, text("Host", 32))])), step(packet("VER", [(4, text("0.5Z", 8))])),
        step(split(7, time(0, 0, 40, 0), 2)), step(packet("PLP", [(52, bytes([7]))], 3)),
        step(packet("PLL", [(52, bytes([7]))], 4)), bytes([253])]
    seeds["chat_commands"] = [
        step(packet("RTP")), chat("!deactivate"), step(npl(1, "Dave", 0, 1)), chat("!activate"),
        bytes([251]), step(packet("RTP")), bytes([250]), chat("!save"), step(mci(1, [])),
        step(npl(1, "Dave", 0, 2)), step(split(1, time(0, 0, 20, 0), 3)), chat("!delete")]
    seeds["acks_and_senders"] = [
        step(packet("CLR", ack=1)), step(packet("CNL", ack=2)), step(packet("NCN", ack=3)),
        step(packet("REO", ack=4)), step(packet("CPR", ack=5)),
        bytes([254]) + step(packet("REN", ack=6)), bytes([255]) + step(packet("REN", ack=7))]
    # Raw datagrams: a length, then the bytes.
    seeds["garbage"] = b"".join(bytes([208]) + struct.pack("<H", n) + bytes(range(n % 256))[:n]
                                for n in (0, 1, 3, 7, 8, 12, 13, 203, 204, 205, 1000))
    return {name: b"".join(parts) if isinstance(parts, list) else parts for name, parts in seeds.items()}


def packets_seeds():
    seeds = {
        "res": res(3, time(0, 2, 5, 0), time(0, 1, 3, 50), 0, 9),
        "npl": npl(3, "Eve", 2, 8),
        "lap": lap(3, time(0, 1, 2, 3), 7),
        "split": split(3, time(0, 0, 31, 0), 6),
        "rst": rst(5, 0, "BL1", 5),
        "ver": packet("VER", [(4, text("0.5Z", 8))]),
        "sta": packet("STA", [(14, bytes([1])), (16, bytes([0, 3])), (20, text("AS3", 6))]),
        "ism": packet("ISM", [(8, text("Host", 32))]),
        "mso": packet("MSO", [(4, text("!save", 128))]),
        "mci": mci(3, [(1, 259, 5, 100), (2, 3, 8191, 65535), (3, 1, 0, 0)]),
        "vta": packet("VTA", [(4, struct.pack("<i", -1))]),
        "pll": packet("PLL", [(52, bytes([3]))], 4),
        "short": b"RE",
    }
    for pid in ("REN", "CLR", "RTP", "CNL", "NCN", "PLP", "REO", "CPR"):
        seeds[pid.lower()] = packet(pid, ack=1)
    return seeds


def ini_seeds():
    with open(os.path.join(ROOT, "src", "config", "settings_template.ini"), "rb") as file:
        template = file.read()
    return {
        "template": template,
        "template_crlf": template.replace(b"\n", b"\r\n"),
        "quotes_and_spaces": b"[s]\na = \"a b\" tail\nb = \"\"\nc =\nd = a ; b\ne = v  \n\tk = tab\n",
        "merged_headers": b"[a]\nx = 1\n[b]\ny = 2\n[a]\nz = 3",
        "malformed": b"[s]\nk = v\nkey=value\n# note\nafter = 1\n",
        "odd_headers": b"[main] ; c\nk = v\n[main];x\nk = w\n[]\nq = 1\n[\nr = 2\n",
        "before_header": b"k = v\n[s]\nk = w\n",
    }


def file_name_seeds():
    def pieces(*parts):
        out = bytearray()
        for part in parts:
            if isinstance(part, int):
                out.append(part)
            else:
                out.append(len(part))
                out += part.encode()
        return bytes(out)
    date, time_, track, mode, modeplus, player, opening, closing = range(0xF8, 0x100)
    race = bytes([1]) + text("BL1", 6) + bytes([5])
    qualifying = bytes([3]) + text("AS3", 6) + bytes([0, 20])
    return {
        "shipped": race + pieces("stats_", date, "_", time_, "_", track, "_", modeplus, ".xml"),
        "qualifying": qualifying + pieces("q_", modeplus, "_", mode, "_", player, ".xml"),
        "no_info": bytes([0]) + pieces("x_", modeplus, "_", mode, "_", track, ".xml"),
        "unclosed": race + pieces("a", opening, "b"),
        "odd_tags": race + pieces(opening, closing, "[date]", opening, "TRACK", "[MODE]"),
        "dots": bytes([1]) + text("..", 6) + bytes([0]) + pieces(track),
    }


def xml_writer_seeds():
    # Operation bytes as the target reads them (operation = byte % 13).
    DECL, START, NAMELESS, END, END_NAMED, ATTR, CONTENT, TEXT, I16, U16, I32, U32, U8 = range(13)
    def short(value):
        return bytes([len(value)]) + value
    return {
        "document": bytes([DECL, START, 0, ATTR, 1, TEXT]) + short(b"1.0") +
                    bytes([ATTR, 2, TEXT]) + short(b"1.33b") +
                    bytes([START, 1, CONTENT, TEXT]) + short(b"a<b & \"c\"") +
                    bytes([END, START, 2, END, END_NAMED, 0]),
        "nameless": bytes([START, 7, CONTENT, START, NAMELESS, 3, U16, 5, 0, CONTENT, I16, 255, 255, END]),
        "attribute_then_content": bytes([START, 7, ATTR, 8, I32, 1, 2, 3, 4, CONTENT, ATTR, 8, TEXT]) +
                                  short(b"tab\there\r\nline"),
        "left_open": bytes([START, 0, CONTENT, START, 1, ATTR, 7, TEXT]) + short(b"v"),
    }


# Binary InSim (version 9) packets captured from the simulator (reference
# sample list); byte 0 is the size divided by 4.
INSIM9_SAMPLES = {
    "ver": "05 02 01 00 30 2e 37 46 00 00 00 00 53 33 00 00 00 00 09 00",
    "tiny": "01 03 ff 15",
    "small_vta": "02 04 00 03 01 00 00 00",
    "sta": "07 05 fa 00 00 00 80 3f c5 48 00 36 0d 14 00 01 00 21 00 00 4c 41 31 58 00 00 00 01",
    "ncn": "0e 12 00 04 42 6f 6b 75 6a 69 73 68 69 6e 00 00 00 00 00 00 00 00 00 00 00 00 00 00 5e 37 43 "
           "79 6b 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01 02 04 00",
    "cnl": "02 13 00 23 00 16 00 00",
    "npl": "13 15 fa 3e 1d 04 81 00 5e 37 32 31 20 43 2e 42 69 73 73 65 79 00 00 00 00 00 00 00 00 00 00 "
           "00 2d 20 32 31 20 2d 00 70 c9 2d 94 00 45 43 48 5f 32 31 00 00 00 00 00 00 00 00 00 00 01 01 "
           "01 01 00 0e 1e 00 00 00 00 00 00 0f 00 64",
    "plp": "01 16 00 01",
    "lap": "05 18 00 3e dc 04 01 00 a6 c4 03 00 02 00 81 00 00 00 00 af",
    "spx": "04 19 00 36 26 0f 02 00 26 0f 02 00 01 00 00 c5",
    "res": "15 23 00 36 42 6f 6b 75 6a 69 73 68 69 6e 00 00 00 00 00 00 00 00 00 00 00 00 00 00 5e 37 32 "
           "31 20 43 2e 42 69 73 73 65 79 00 00 00 00 00 00 00 00 00 00 00 2d 20 32 31 20 2d 00 70 20 e3 "
           "74 00 82 81 24 00 24 08 01 00 00 00 02 00 21 00 81 00 01 03 00 00",
    "reo": "0b 24 00 02 01 03" + " 00" * 38,
    "rst": "07 11 00 00 0a 00 02 42 42 4c 31 00 00 00 01 01 63 34 92 01 6d 01 5f 00 ff 00 ff ff",
    "mci": "0f 26 01 02 00 00 01 00 03 01 40 00 34 10 16 fd e7 3f ff fe e9 1e 02 00 00 00 00 00 01 98 33 "
           "00 00 00 01 00 02 02 80 00 1f c0 11 fd d6 9f fc fe 59 1f 02 00 00 00 00 00 ff 97 30 00",
    "mso": "0d 0b 00 00 01 02 01 0e 5e 37 5e 37 43 79 6b 20 5e 37 3a 20 5e 38 5e 30 57 5e 31 4f 5e 32 57 "
           "5e 33 21 5e 34 21 5e 35 21 5e 36 21 5e 37 21 5e 39 21 00 00 00",
    "mtc": "09 0e 00 00 ff 00 00 00 4d 65 73 73 61 67 65 20 74 6f 20 61 6c 6c 20 63 6f 6e 6e 65 63 74 69 "
           "6f 6e 73 21 00",
}


def insim9_packets_seeds():
    """Each sample as the whole input; the target reads the input as one packet."""
    return {name: bytes.fromhex(value) for name, value in INSIM9_SAMPLES.items()}


def packet_stream_seeds():
    """A count of read lengths, the lengths, then the stream (see the target)."""
    race = b"".join(bytes.fromhex(INSIM9_SAMPLES[name]) for name in
                    ("ver", "ncn", "npl", "rst", "mci", "spx", "lap", "mso", "tiny", "res"))
    return {
        "whole": bytes([0]) + race,
        "bytewise": bytes([1, 0]) + race,
        "uneven": bytes([3, 6, 0, 200]) + race,
        "size_zero": bytes([1, 2]) + race[:40] + bytes(8) + race[40:],
        "half_packet": bytes([1, 9]) + race[:-3],
    }


def write(target, seeds):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as file:
            file.write(data)


if __name__ == "__main__":
    write("on_datagram_fuzzer", on_datagram_seeds())
    write("packets_fuzzer", packets_seeds())
    write("ini_file_fuzzer", ini_seeds())
    write("file_name_fuzzer", file_name_seeds())
    write("xml_writer_fuzzer", xml_writer_seeds())
    write("insim9_packets_fuzzer", insim9_packets_seeds())
    write("packet_stream_fuzzer", packet_stream_seeds())
