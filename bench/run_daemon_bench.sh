#!/usr/bin/env bash
# How fast does the real tessellgroved take in a log? Builds the release preset, writes the
# demo definitions (one source, the two demo diagrams) into a fresh store, starts the daemon
# on an access log of LINES lines with a checkpoint every CHECKPOINT_MS milliseconds and times
# it until its metrics count every line parsed, and until the stored position reaches the end
# of the log (that time includes waiting for the checkpoint that stores it), then ends it with
# SIGTERM and shows the data and the daemon's CPU seconds.
#
#   bench/run_daemon_bench.sh [LINES [CHECKPOINT_MS]]   (default 1000000 lines, 1000 ms)
#
# TG_BENCH_BUILD names a build folder to take the programs from instead of building.
set -euo pipefail
cd "$(dirname "$0")/.."

lines=${1:-1000000}
checkpoint_ms=${2:-1000}
if [[ -n "${TG_BENCH_BUILD:-}" ]]; then
    build=$TG_BENCH_BUILD  # an existing build folder, used as it is (another version, say)
else
    cmake --preset release >/dev/null
    cmake --build --preset release -j "$(nproc)" --target tessellgroved tgctl gen_access_log >/dev/null
    build=build/release
fi

work=$(mktemp -d)
daemon=
cleanup() {
    [[ -n $daemon ]] && kill "$daemon" 2>/dev/null && wait "$daemon" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

bin=$build/bin
log=$work/access.log
store=$work/store.db
"$build/bench/gen_access_log" --lines "$lines" --seed 11 "$log"
size=$(stat -c %s "$log")
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
bash scripts/demo_store.sh "$bin/tgctl" "$store" "$log" "$port" >/dev/null

position() { "$bin/tgctl" --store "$store" source show access | awk -F'\t' '$1 == "lastpos" {print $2}'; }
# Lines the reader has parsed, from the daemon's metrics (empty when it does not answer).
linesRead() {
    curl -sf --max-time 1 "http://127.0.0.1:$port/metrics" |
        awk '/^tessellgrove_source_lines_read_total\{source="access"\}/ {print $2}' || true
}
start=$(date +%s.%N)
"$bin/tessellgroved" --store "$store" --bind 127.0.0.1 --checkpoint-ms "$checkpoint_ms" &
daemon=$!
# Two moments: every line parsed (cheap to ask: polled often), and the position of the end
# stored by a checkpoint (asking starts a tgctl that opens the store: polled only once the
# lines are in, or when the daemon has no metrics).
read_at=
until [[ -n $read_at ]]; do
    kill -0 "$daemon" || { echo "tessellgroved ended early" >&2; exit 1; }
    count=$(linesRead)
    if [[ $count == "$lines" ]]; then read_at=$(date +%s.%N); break; fi
    [[ -z $count && $(date +%s) -gt ${start%.*} ]] && break  # no metrics after a second
    sleep 0.01
done
until [[ $(position) == "$size" ]]; do
    kill -0 "$daemon" || { echo "tessellgroved ended early" >&2; exit 1; }
    sleep 0.05
done
end=$(date +%s.%N)
# User and system time so far, in clock ticks (fields 14 and 15 of /proc/PID/stat).
ticks=$(awk '{print $14 + $15}' "/proc/$daemon/stat")
kill -TERM "$daemon"
wait "$daemon"
daemon=
awk -v lines="$lines" -v size="$size" -v start="$start" -v end="$end" -v ticks="$ticks" \
    -v hz="$(getconf CLK_TCK)" -v checkpoint="$checkpoint_ms" -v read_at="$read_at" 'BEGIN {
    seconds = end - start
    printf "tessellgroved: %d lines (%.1f MB) stored in %.2f s: %.0f lines/s, %.1f MB/s; %.2f CPU s; checkpoint every %d ms\n",
        lines, size / 1e6, seconds, lines / seconds, size / 1e6 / seconds, ticks / hz, checkpoint
    if (read_at != "") printf "               every line parsed after %.2f s\n", read_at - start
}'
"$bin/tgctl" --store "$store" diagram show 'requests by status' | sed -n '/^x/,$p' | head -8
