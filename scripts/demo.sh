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
tgctl() { "$bin/tgctl" --store "$store" "$@"; }

if [[ ! -f $store ]]; then
    echo "Creating the demo store in $demo"
    mkdir -p "$demo"
    build/release/bench/gen_access_log --lines 50000 --seed 7 "$log"
    tgctl source add access --type FILE --regexp "$(cat samples/access.regexp)" \
        --connect "$log" --backup "$demo/access.dup.log" \
        --fields host,ident,user,time,request,status,bytes,referer,agent
    # Diagrams are written key by key, as the web edit page would store them.
    d='diagrams\requests by status'
    tgctl reg set "$d" datasource --string access
    tgctl reg set "$d\\groups\\status" datasource --string status
    tgctl reg set "$d\\groups\\status" regexp --string '.*'
    tgctl reg set "$d\\yaxises\\requests" datasource --string status
    tgctl reg set "$d\\yaxises\\requests" regexp --string '.*'
    tgctl reg set "$d\\yaxises\\requests" oper --dword 2   # COUNT
    d='diagrams\bytes by hour'
    tgctl reg set "$d" datasource --string access
    tgctl reg set "$d\\groups\\hour" datasource --string time
    tgctl reg set "$d\\groups\\hour" regexp --string ':([0-9][0-9]):'
    tgctl reg set "$d\\yaxises\\bytes" datasource --string bytes
    tgctl reg set "$d\\yaxises\\bytes" regexp --string '.*'
    tgctl reg set "$d\\yaxises\\bytes" oper --dword 1      # SUM
    tgctl settings set Port "$port"
    tgctl settings set WebLogEnabled 1
    tgctl settings set LogPath "$demo/tessellgrove.log"
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
