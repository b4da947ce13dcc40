#!/usr/bin/env bash
# Builds the release preset, makes the one-million-line access log if it is missing, and
# prints how fast the machine reads it (cat, wc -l: the physical limit) beside how fast
# record parsing takes it (parse_bench) and how fast a FILE source takes it end to end
# (tail_bench). Extra arguments go to parse_bench (--repeat N); --regexp RE goes to both.
# TG_BENCH_BUILD=DIR measures an existing build folder (another version, say) instead.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

if [[ -n "${TG_BENCH_BUILD:-}" ]]; then
    bin="$(realpath "$TG_BENCH_BUILD")/bench"
else
    cmake --preset release >/dev/null
    cmake --build --preset release --target gen_access_log parse_bench tail_bench
    bin="$root/build/release/bench"
fi
log="$root/build/bench/access.log"
if [[ ! -s "$log" ]]; then
    mkdir -p "$(dirname "$log")"
    echo "generating $log"
    "$bin/gen_access_log" --lines 1000000 "$log.tmp"
    mv "$log.tmp" "$log"
fi

bytes=$(stat -c %s "$log")

# Prints "LABEL  S s  R MB/s" for one run of the command given, its output discarded.
measure() {
    local label=$1
    shift
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    awk -v label="$label" -v s="$start" -v e="$end" -v b="$bytes" \
        'BEGIN { t = e - s; printf "%-16s%.3f s  %8.1f MB/s\n", label ":", t, b / 1e6 / t }'
}

echo
echo "file:           $log ($bytes bytes)"
cat "$log" >/dev/null  # warm the page cache so every program reads from memory
measure "cat" cat "$log"
measure "wc -l" wc -l "$log"
echo
"$bin/parse_bench" "$@" "$log"

# tail_bench measures the same expression; it has no passes to repeat.
tail_args=()
args=("$@")
for ((i = 0; i < ${#args[@]}; ++i)); do
    if [[ ${args[i]} == --regexp && $((i + 1)) -lt ${#args[@]} ]]; then
        tail_args+=(--regexp "${args[i + 1]}")
        i=$((i + 1))
    fi
done
echo
"$bin/tail_bench" "${tail_args[@]}" "$log"
