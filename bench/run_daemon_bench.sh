#!/usr/bin/env bash
# How fast does the real tessellgroved take in a log? Builds the release preset, writes the
# demo definitions (one source, the two demo diagrams) into a fresh store, starts the daemon
# on an access log of LINES lines and times it until the stored position reaches the end of
# the log, then ends it with SIGTERM and shows the data.
#
#   bench/run_daemon_bench.sh [LINES]   (default 200000)
set -euo pipefail
cd "$(dirname "$0")/.."

lines=${1:-200000}
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target tessellgroved tgctl gen_access_log >/dev/null

work=$(mktemp -d)
daemon=
cleanup() {
    [[ -n $daemon ]] && kill "$daemon" 2>/dev/null && wait "$daemon" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

bin=build/release/bin
log=$work/access.log
store=$work/store.db
build/release/bench/gen_access_log --lines "$lines" --seed 11 "$log"
size=$(stat -c %s "$log")
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
bash scripts/demo_store.sh "$bin/tgctl" "$store" "$log" "$port" >/dev/null

position() { "$bin/tgctl" --store "$store" source show access | awk -F'\t' '$1 == "lastpos" {print $2}'; }
start=$(date +%s.%N)
"$bin/tessellgroved" --store "$store" --bind 127.0.0.1 --checkpoint-ms 100 &
daemon=$!
until [[ $(position) == "$size" ]]; do
    kill -0 "$daemon" || { echo "tessellgroved ended early" >&2; exit 1; }
    sleep 0.05
done
end=$(date +%s.%N)
kill -TERM "$daemon"
wait "$daemon"
daemon=
awk -v lines="$lines" -v size="$size" -v start="$start" -v end="$end" 'BEGIN {
    seconds = end - start
    printf "tessellgroved: %d lines (%.1f MB) in %.2f s: %.0f lines/s, %.1f MB/s\n",
        lines, size / 1e6, seconds, lines / seconds, size / 1e6 / seconds
}'
"$bin/tgctl" --store "$store" diagram show 'requests by status' | sed -n '/^x/,$p' | head -8
