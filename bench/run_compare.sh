#!/usr/bin/env bash
# How does the whole pipeline compare with the log tools people use? Times pipeline_bench
# (with the compiled engine, and with every expression left to glibc), mtail (one-shot),
# goaccess (JSON report) and lnav (headless SQL query) on the same access log, checks that
# every tool finds the same requests and bytes per status, and prints a table: wall seconds,
# CPU seconds, lines/s, peak resident memory, and each tool's seconds divided by the
# pipeline's; then the speed-ups against the targets.
#
#   bench/run_compare.sh [LOG]
#
# Installs the tools that are missing with apt-get (as root), builds the release preset (or
# the build folder named by TG_BENCH_BUILD), and generates build/bench/access.log (one million
# lines) when no LOG is given and it is missing.
# Each run is bounded by ten minutes. Exit status 1 when a tool failed or disagreed.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

kBound=600  # seconds allowed to each run

# --- tools ---------------------------------------------------------------------------------
missing=()
command -v mtail >/dev/null || missing+=(mtail)
command -v goaccess >/dev/null || missing+=(goaccess)
command -v lnav >/dev/null || missing+=(lnav)
command -v jq >/dev/null || missing+=(jq)
[[ -x /usr/bin/time ]] || missing+=(time)
if ((${#missing[@]} > 0)); then
    if [[ $(id -u) -ne 0 ]]; then
        echo "run_compare: missing ${missing[*]}; install them (apt-get install ${missing[*]})" >&2
        exit 2
    fi
    echo "installing ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# --- build and input -----------------------------------------------------------------------
if [[ -n "${TG_BENCH_BUILD:-}" ]]; then
    cmake --build "$TG_BENCH_BUILD" --target gen_access_log pipeline_bench
    bin="$(realpath "$TG_BENCH_BUILD")/bench"
else
    cmake --preset release >/dev/null
    cmake --build --preset release --target gen_access_log pipeline_bench
    bin="$root/build/release/bench"
fi
log="${1:-$root/build/bench/access.log}"
if [[ $# -eq 0 && ! -s "$log" ]]; then
    mkdir -p "$(dirname "$log")"
    echo "generating $log"
    "$bin/gen_access_log" --lines 1000000 "$log.tmp"
    mv "$log.tmp" "$log"
fi
if [[ ! -s "$log" ]]; then
    echo "run_compare: no log at $log" >&2
    exit 2
fi
log="$(realpath "$log")"
lines=$(wc -l <"$log")

work="$(mktemp -d /tmp/tg-compare-XXXXXX)"
trap 'rm -rf "$work"' EXIT
# lnav keeps its configuration and index under HOME: a private one leaves the user's alone.
mkdir -p "$work/home"

# --- runs ----------------------------------------------------------------------------------
# run NAME COMMAND...: runs the command bounded, its output in $work/NAME.out and its errors
# in $work/NAME.err; writes "wall cpu peak_kb status" to $work/NAME.time.
run() {
    local name=$1
    shift
    local start end status=0
    start=$(date +%s.%N)
    timeout "$kBound" /usr/bin/time -f '%U %S %M' -o "$work/$name.rusage" "$@" \
        >"$work/$name.out" 2>"$work/$name.err" </dev/null || status=$?
    end=$(date +%s.%N)
    # /usr/bin/time writes a "Command exited with non-zero status" line before its figures.
    local usage
    usage=$(tail -n 1 "$work/$name.rusage" 2>/dev/null || echo "0 0 0")
    awk -v s="$start" -v e="$end" -v u="$usage" -v st="$status" \
        'BEGIN { split(u, f, " "); printf "%.3f %.2f %d %d\n", e - s, f[1] + f[2], f[3], st }' \
        >"$work/$name.time"
}

# Each tool's figures become "status requests bytes" lines, sorted, in $work/NAME.counts.
counts_pipeline() {  # NAME: pipeline or pipeline_glibc
    local name=${1:-pipeline}
    sed -n 's/^all statuses: *//p' "$work/$name.out" | tr ' ' '\n' |
        awk -F'[=/]' 'NF == 3 { print $1, $2, $3 }' | sort >"$work/$name.counts"
}
counts_mtail() {
    jq -r '(.requests_total // [])[0].LabelValues as $r
        | ((.bytes_total // [])[0].LabelValues // [] | map({(.Labels[0]): .Value.Value}) | add // {}) as $b
        | $r[] | "\(.Labels[0]) \(.Value.Value) \($b[.Labels[0]] // 0)"' \
        "$work/mtail.out" | sort >"$work/mtail.counts"
}
counts_goaccess() {
    jq -r '.status_codes.data[].items[] | "\(.data | split(" ")[0]) \(.hits.count) \(.bytes.count)"' \
        "$work/goaccess.json" | sort >"$work/goaccess.counts"
}
counts_lnav() {
    awk 'NR > 1 && $1 ~ /^[0-9]+$/ { print $1, $2, $3 }' "$work/lnav.out" | sort >"$work/lnav.counts"
}

echo
echo "file:           $log ($(stat -c %s "$log") bytes, $lines lines)"
echo "tools:          $(mtail --version 2>&1 | head -n 1 | cut -d' ' -f1-3);" \
    "goaccess $(goaccess --version 2>&1 | sed -n 's/^GoAccess - \(.*\)\.$/\1/p');" \
    "$(lnav -V 2>&1 | head -n 1); jq $(jq --version)"
cat "$log" >/dev/null  # warm the page cache so every program reads from memory

run pipeline "$bin/pipeline_bench" "$log"
grep -v '^all statuses:' "$work/pipeline.out" || true
counts_pipeline || true

run pipeline_glibc "$bin/pipeline_bench" --engine glibc "$log"
grep -E '^(engine|pipeline|peak memory):' "$work/pipeline_glibc.out" | sed 's/^/glibc /' || true
counts_pipeline pipeline_glibc || true

run mtail mtail --one_shot --one_shot_format=json --progs "$root/bench/compare" --logs "$log" \
    --logtostderr --address 127.0.0.1 --port 0
counts_mtail || true

run goaccess goaccess "$log" --log-format=COMBINED --no-global-config --no-progress \
    -o "$work/goaccess.json"
counts_goaccess || true

run lnav env HOME="$work/home" lnav -n -c \
    ';SELECT sc_status, count(*), coalesce(sum(sc_bytes), 0) FROM access_log GROUP BY sc_status' \
    "$log"
counts_lnav || true

# --- agreement -----------------------------------------------------------------------------
# Requests must agree exactly; byte sums to a millionth (the diagram keeps them as doubles).
agree() {
    awk 'NR == FNR { r[$1] = $2; b[$1] = $3; next }
         { seen[$1] = 1
           if (!($1 in r) || r[$1] != $2) bad = 1
           d = b[$1] - $3; if (d < 0) d = -d
           if (d > 1e-6 * ($3 > 1 ? $3 : 1)) bad = 1 }
         END { for (s in r) if (!(s in seen)) bad = 1; exit bad }' \
        "$work/pipeline.counts" "$1"
}
# "200=770411 304=..." with the requests of the busiest statuses first.
brief() {
    sort -k2,2nr "$1" | head -n 6 | awk '{ printf "%s%s=%s", (NR > 1 ? " " : ""), $1, $2 }'
}

echo
echo "requests by status (busiest six):"
failed=0
declare -A verdict
for tool in pipeline pipeline_glibc mtail goaccess lnav; do
    if [[ ! -s "$work/$tool.counts" ]]; then
        verdict[$tool]="no counts"
        failed=1
    elif [[ $tool == pipeline ]] || agree "$work/$tool.counts"; then
        verdict[$tool]="agrees"
    else
        verdict[$tool]="DISAGREES"
        failed=1
    fi
    total=$(awk '{ n += $2 } END { printf "%d", n }' "$work/$tool.counts" 2>/dev/null || echo 0)
    printf '  %-14s %-10s total %-9s %s\n' "$tool" "${verdict[$tool]}" "$total" \
        "$(brief "$work/$tool.counts" 2>/dev/null)"
done

# goaccess counts distinct client addresses too, as the by-client diagram does.
clients_ours=$(sed -n 's/^clients: *\([0-9]*\) distinct.*/\1/p' "$work/pipeline.out")
clients_goaccess=$(jq -r '.hosts.metadata.data.total.value // empty' "$work/goaccess.json" \
    2>/dev/null || true)
if [[ -n "$clients_ours" && "$clients_ours" == "$clients_goaccess" ]]; then
    echo "client addresses: $clients_ours distinct, goaccess agrees"
else
    echo "client addresses: pipeline ${clients_ours:-?}, goaccess ${clients_goaccess:-?}: DISAGREE"
    failed=1
fi

# --- table ---------------------------------------------------------------------------------
ours=$(sed -n 's/^pipeline: *\([0-9.]*\) s.*/\1/p' "$work/pipeline.out")
if [[ -z "$ours" ]]; then
    echo "run_compare: pipeline_bench gave no figure:" >&2
    cat "$work/pipeline.out" "$work/pipeline.err" >&2
    exit 1
fi
# row LABEL WALL CPU PEAK_KB STATUS; "-" for a figure that was not measured.
row() {
    awk -v label="$1" -v t="$2" -v cpu="$3" -v kb="$4" -v st="$5" -v n="$lines" -v ours="$ours" \
        'BEGIN {
            note = st == 124 ? "  timed out" : (st != 0 ? "  exit " st : "")
            printf "%-26s %9.3f %8s %12.0f %9s %8.2f%s\n", label, t,
                   cpu == "-" ? "-" : sprintf("%.2f", cpu), n / t,
                   kb == "-" ? "-" : sprintf("%.1f", kb / 1024), t / ours, note }'
}

echo
echo "machine:        $(sed -n 's/^machine: *//p' "$work/pipeline.out")"
echo "build:          $(sed -n 's/^build: *//p' "$work/pipeline.out")"
printf '%-26s %9s %8s %12s %9s %8s\n' tool "wall s" "cpu s" "lines/s" "peak MB" ratio
theirs_glibc=$(sed -n 's/^pipeline: *\([0-9.]*\) s.*/\1/p' "$work/pipeline_glibc.out")
row "pipeline (measured part)" "$ours" - - 0
[[ -n "$theirs_glibc" ]] && row "pipeline, glibc (measured)" "$theirs_glibc" - - 0
for tool in pipeline pipeline_glibc mtail goaccess lnav; do
    read -r wall cpu kb status <"$work/$tool.time"
    label=$tool
    [[ $tool == pipeline ]] && label="pipeline_bench (process)"
    [[ $tool == pipeline_glibc ]] && label="pipeline_bench, glibc"
    row "$label" "$wall" "$cpu" "$kb" "$status"
    [[ $status -eq 0 ]] || failed=1
done
# speedup LABEL SECONDS TARGET: the other's seconds over ours, and whether the target is met.
speedup() {
    awk -v label="$1" -v t="$2" -v target="$3" -v ours="$ours" 'BEGIN {
        if (t == "") { printf "  %-10s no figure\n", label; exit }
        r = t / ours
        printf "  %-10s %6.1fx  (target %sx: %s)\n", label, r, target, (r >= target) ? "met" : "MISSED" }'
}
wall_of() { awk '{ print $1 }' "$work/$1.time"; }
echo
echo "speed-up of the pipeline (measured part) over:"
speedup glibc "$theirs_glibc" 10
speedup mtail "$(wall_of mtail)" 16
speedup goaccess "$(wall_of goaccess)" 10
speedup lnav "$(wall_of lnav)" 6

echo
echo "ratio: the tool's wall seconds divided by the pipeline's measured seconds (from the log"
echo "appearing to its last record through both diagrams). The process row adds pipeline_bench's"
echo "own line count, setup and the diagrams' final save."
exit "$failed"
