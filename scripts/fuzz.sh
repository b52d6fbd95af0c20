#!/usr/bin/env bash
# Builds the fuzz targets (clang's libFuzzer with AddressSanitizer and UBSan,
# preset "fuzz") and runs them against their seed corpora.
#
#   scripts/fuzz.sh short           every target for TARNBECK_FUZZ_SECONDS (60 s) each,
#                                   as the ctest tests of the fuzz build
#   scripts/fuzz.sh long [RUNS [TARGET...]]
#                                   every target (or those named) until RUNS executions
#                                   (10000000), split over FUZZ_JOBS processes (1); prints
#                                   a table of executions, time and findings per target
#   scripts/fuzz.sh run TARGET [libFuzzer options...]
#                                   one target on its corpora, e.g. to replay a finding
#
# New inputs go into build/fuzz/fuzz/corpus/<target>, the committed seeds in
# fuzz/corpus/<target> are only read. Findings land in build/fuzz/findings/.
#
# Needs clang with its libFuzzer runtime and libxml2's headers (Debian:
# clang-14 libclang-rt-14-dev libxml2-dev).
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh needs clang++ (Debian: clang-14 libclang-rt-14-dev libxml2-dev)" >&2
  exit 1
fi
ROOT=$PWD
BUILD=${TARNBECK_FUZZ_BUILD:-$ROOT/build/fuzz}
TARGETS=(packets_fuzzer on_datagram_fuzzer ini_file_fuzzer file_name_fuzzer xml_writer_fuzzer html_report_fuzzer
         insim9_packets_fuzzer packet_stream_fuzzer)
# Scratch files of the targets go to memory when it can be had.
if [ -z "${TMPDIR:-}" ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

build() {
  cmake --preset fuzz -B "$BUILD" >/dev/null
  cmake --build "$BUILD" -j2 --target fuzzers
}

corpus_options() {
  local target=$1 work=$BUILD/fuzz/corpus/$1
  mkdir -p "$work"
  local dict=$ROOT/fuzz/$target.dict
  if [ -f "$dict" ]; then printf '%s\n' "-dict=$dict"; fi
  # Further libFuzzer options of the target, one a line.
  if [ -f "$ROOT/fuzz/$target.options" ]; then grep -v '^$' "$ROOT/fuzz/$target.options"; fi
  printf '%s\n' "$work" "$ROOT/fuzz/corpus/$target"
}

long_run() {
  local runs=${1:-10000000} jobs=${FUZZ_JOBS:-1} failed=0
  shift || true
  local targets=("${TARGETS[@]}")
  if [ $# -gt 0 ]; then targets=("$@"); fi
  local stamp; stamp=$(date +%Y%m%d-%H%M%S)
  printf '%-22s %14s %10s %s\n' target executions seconds findings
  for target in "${targets[@]}"; do
    local logs=$BUILD/findings/$stamp/$target
    mkdir -p "$logs"
    mapfile -t corpora < <(corpus_options "$target")
    local start=$SECONDS
    (cd "$logs" && "$BUILD/fuzz/$target" -runs=$((runs / jobs)) -jobs="$jobs" -workers="$jobs" \
        -print_final_stats=1 -artifact_prefix="$logs/" "${corpora[@]}" >"$logs/driver.log" 2>&1) || true
    local executed
    executed=$(cat "$logs"/fuzz-*.log | sed -n 's/^stat::number_of_executed_units: *//p' |
               awk '{ total += $1 } END { print total + 0 }')
    local findings
    findings=$(find "$logs" -maxdepth 1 \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
               -o -name 'oom-*' \) | wc -l)
    printf '%-22s %14s %10s %s\n' "$target" "$executed" $((SECONDS - start)) "$findings"
    if [ "$findings" -ne 0 ] || [ "$executed" -lt "$runs" ]; then failed=1; fi
  done
  echo "logs and findings: $BUILD/findings/$stamp"
  return $failed
}

case "${1:-short}" in
  short)
    build
    ctest --test-dir "$BUILD" --output-on-failure -j2
    ;;
  long)
    build
    shift
    long_run "$@"
    ;;
  run)
    target=${2:?which target}
    shift 2
    build >/dev/null
    mapfile -t corpora < <(corpus_options "$target")
    "$BUILD/fuzz/$target" "$@" "${corpora[@]}"
    ;;
  *)
    echo "usage: $0 short | long [RUNS [TARGET...]] | run TARGET [libFuzzer options...]" >&2
    exit 2
    ;;
esac
