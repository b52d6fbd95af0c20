#!/usr/bin/env bash
# Builds the benchmarks (preset "bench", optimised) and runs them all, then
# prints the figures the README's performance section quotes: OnDatagram time
# and heap allocations per packet kind, loopback ingest against a bare
# recvfrom loop, binary InSim decoding per packet and TCP ingest against a
# bare recv loop, the stats document against one fwrite (and their ratio),
# the race report of a 40-player race beside its stats document, the time
# from the race-end datagram to the stats file on disk, and peak memory of a
# one-hour replay against idle.
#
#   scripts/bench.sh [Google Benchmark options...]
#
# Results also go to build/bench/results.json; TMPDIR decides where the
# benchmarks write their files. Needs Google Benchmark (Debian:
# libbenchmark-dev).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${TARNBECK_BENCH_BUILD:-$PWD/build/bench}

cmake --preset bench -B "$BUILD" >/dev/null
cmake --build "$BUILD" -j2 --target benchmarks

echo "=== Machine"
echo "cores: $(nproc)"
echo "cpu:   $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)"
echo "load:  $(cut -d' ' -f1-3 /proc/loadavg)"

echo "=== Benchmarks"
"$BUILD/bench/tarnbeck_bench" --benchmark_out="$BUILD/results.json" --benchmark_out_format=json "$@"

echo "=== Race report, 40 players, 100 laps"
"$BUILD/bench/html_report_bench" --benchmark_out="$BUILD/report_results.json" --benchmark_out_format=json "$@"

echo "=== One-hour replay, 40 players"
"$BUILD/bench/replay_memory" | tee "$BUILD/replay.txt"

echo "=== Summary"
python3 - "$BUILD/results.json" "$BUILD/replay.txt" "$BUILD/report_results.json" <<'PY'
import json, sys
runs = {b["name"]: b for path in (sys.argv[1], sys.argv[3])
        for b in json.load(open(path))["benchmarks"] if b.get("run_type") != "aggregate"}
def find(prefix):
    for name, run in runs.items():
        if name.startswith(prefix):
            return run
    sys.exit("missing benchmark " + prefix)
for name, run in runs.items():
    if name.startswith("runPackets/"):
        print("OnDatagram %-28s %9.1f ns/packet %6.2f allocations/packet"
              % (name.split("/")[1], run["real_time"], run["allocs/packet"]))
handler, bare = find("socketHandlerLoop"), find("bareRecvfromLoop")
print("ingest: SocketHandler loop %.0f datagrams/s, bare recvfrom %.0f datagrams/s, ratio %.2f (goal >= 0.5)"
      % (handler["items_per_second"], bare["items_per_second"], handler["items_per_second"] / bare["items_per_second"]))
for name, run in runs.items():
    if name.startswith("decodePackets/"):
        print("InSim 9 decode %-20s %9.1f ns/packet %6.2f allocations/packet"
              % (name.split("/")[1], run["real_time"], run["allocs/packet"]))
tcp, bare_tcp = find("socketHandlerTcpLoop"), find("bareRecvLoop")
print("TCP ingest: SocketHandler + TcpSocket + stream cutter %.0f packets/s, bare recv %.0f packets/s, ratio %.2f"
      % (tcp["items_per_second"], bare_tcp["items_per_second"], tcp["items_per_second"] / bare_tcp["items_per_second"]))
document = find("documentAgainstOneFwrite")
print("stats document: %.2f ms (%.2f ms CPU), one fwrite of the same %d bytes %.2f ms (%.2f ms CPU), in turn"
      % (document["document_ms"], document["document_cpu_ms"], document["document_bytes"],
         document["fwrite_ms"], document["fwrite_cpu_ms"]))
print("stats document / fwrite: %.2f (goal <= 3, aim 2)" % document["document/fwrite"])
report, xml = find("reportOfTheBigRace"), find("statsDocumentOfTheBigRace")
print("race report: %.2f ms for %d bytes of HTML, the stats document of the same race %.2f ms for %d bytes"
      % (report["real_time"], report["page_bytes"], xml["real_time"], xml["document_bytes"]))
race_end = find("raceEndToStatsFile")
print("race end to stats file on disk (REN over loopback, %d bytes): %.2f ms"
      % (race_end["file_bytes"], race_end["real_time"]))
for line in open(sys.argv[2]):
    if "ratio" in line:
        print("one-hour replay: " + line.strip() + " (goal <= 1.5)")
PY
