#!/usr/bin/env bash
# Installs what is missing, builds, and runs tessellgroved on a demo store: a FILE source on a
# generated access log that keeps growing while the demo runs, and two diagrams (requests by
# status, bytes by hour). The store and the log live in demo/ and are reused by later runs;
# remove that folder to start afresh. Ctrl-C ends the demo (the daemon saves its data first).
# Usage: scripts/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target tessellgroved tgctl gen_access_log

bin=build/release/bin
demo=$PWD/demo
store=$demo/store.db
log=$demo/access.log
port=8080

if [[ ! -f $demo/.ready ]]; then  # also when an earlier creation was interrupted
    echo "Creating the demo store in $demo"
    rm -rf "$demo"
    mkdir -p "$demo"
    build/release/bench/gen_access_log --lines 50000 --seed 7 "$log"
    bash scripts/demo_store.sh "$bin/tgctl" "$store" "$log" "$port" "$demo/tessellgrove.log"
    touch "$demo/.ready"
fi

# Keeps the log growing so the charts move: a few requests a second, stamped with the time now.
grow_log() {
    local statuses=(200 200 200 200 200 304 301 404 404 500)
    local paths=(/ /index.html /products/jackets /cart /search?q=boots /images/logo.png)
    while sleep 1; do
        for ((i = 0; i < RANDOM % 5 + 1; ++i)); do
            printf '127.0.0.%d - - [%s] "GET %s HTTP/1.1" %s %d "-" "demo"\n' \
                $((RANDOM % 250 + 1)) "$(date '+%d/%b/%Y:%H:%M:%S %z')" \
                "${paths[RANDOM % ${#paths[@]}]}" "${statuses[RANDOM % ${#statuses[@]}]}" \
                $((RANDOM * 3)) >>"$log"
        done
    done
}
grow_log &
grower=$!
trap 'kill "$grower" 2>/dev/null || true' EXIT

echo
echo "Tessellgrove is starting: open http://127.0.0.1:$port/ in a browser (Ctrl-C ends it)."
echo "Event log: $demo/tessellgrove.log; data: $store"
"$bin/tessellgroved" --store "$store" --bind 127.0.0.1
