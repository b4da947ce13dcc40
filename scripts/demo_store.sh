#!/usr/bin/env bash
# Writes the demo definitions into a store: a FILE source "access" on an Apache combined log,
# the diagrams "requests by status" and "bytes by hour", the web server on PORT and the event
# log in LOGPATH (off when LOGPATH is empty). Used by the demo and the daemon benchmark.
# Usage: scripts/demo_store.sh TGCTL STORE ACCESS_LOG PORT [LOGPATH]
set -euo pipefail
cd "$(dirname "$0")/.."

[[ $# -ge 4 ]] || { echo "usage: $0 TGCTL STORE ACCESS_LOG PORT [LOGPATH]" >&2; exit 2; }
tgctl_path=$1 store=$2 log=$3 port=$4 event_log=${5:-}
tgctl() { "$tgctl_path" --store "$store" "$@"; }

tgctl source add access --type FILE --regexp "$(cat samples/access.regexp)" \
    --connect "$log" --backup "${log%.log}.dup.log" \
    --fields host,ident,user,time,request,status,bytes,referer,agent
# Diagrams are written key by key, as the web edit page would store them.
d='diagrams\requests by status'
tgctl reg set "$d" datasource --string access
tgctl reg set "$d\\groups\\status" datasource --string status
tgctl reg set "$d\\groups\\status" regexp --string '.*'
tgctl reg set "$d\\yaxises\\requests" datasource --string status
tgctl reg set "$d\\yaxises\\requests" regexp --string '.*'
tgctl reg set "$d\\yaxises\\requests" oper --dword 2 # COUNT
d='diagrams\bytes by hour'
tgctl reg set "$d" datasource --string access
tgctl reg set "$d\\groups\\hour" datasource --string time
tgctl reg set "$d\\groups\\hour" regexp --string ':([0-9][0-9]):'
tgctl reg set "$d\\yaxises\\bytes" datasource --string bytes
tgctl reg set "$d\\yaxises\\bytes" regexp --string '.*'
tgctl reg set "$d\\yaxises\\bytes" oper --dword 1 # SUM
tgctl settings set Port "$port"
if [[ -n $event_log ]]; then
    tgctl settings set WebLogEnabled 1
    tgctl settings set LogPath "$event_log"
else
    tgctl settings set WebLogEnabled 0
fi
