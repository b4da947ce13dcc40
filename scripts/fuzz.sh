#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a while on a copy of its seed corpus; fails on
# the first crash, leak or hang. Usage: scripts/fuzz.sh [SECONDS_EACH]   (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
bash scripts/deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for fuzzer in build/fuzz/fuzz/*_fuzz; do
    name=$(basename "$fuzzer" _fuzz)
    mkdir -p "$work/$name"
    if [[ -d fuzz/corpus/$name ]]; then cp -r "fuzz/corpus/$name/." "$work/$name/"; fi
    # The expression fuzzers need room for patterns nested thousands of groups deep.
    case $name in
        regex_diff | parse_chunk) max_len=65536 ;;
        *) max_len=4096 ;;
    esac
    echo "=== $name: ${seconds}s ==="
    (cd "$work" && "$OLDPWD/$fuzzer" "$work/$name" -max_total_time="$seconds" -timeout=10 \
        -max_len="$max_len" -print_final_stats=0 2>&1 | tail -n 3)
done
echo "fuzzers: no crash"
