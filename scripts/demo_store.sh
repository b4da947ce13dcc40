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
# A diagram with one group and one y-axis, written key by key as the web edit page stores it.
# Usage: diagram NAME GROUP GROUP_FIELD GROUP_REGEXP AXIS AXIS_FIELD OPER_CODE
diagram() {
    local key="diagrams\\$1"
    tgctl reg set "$key" datasource --string access
    tgctl reg set "$key\\groups\\$2" datasource --string "$3"
    tgctl reg set "$key\\groups\\$2" regexp --string "$4"
    tgctl reg set "$key\\yaxises\\$5" datasource --string "$6"
    tgctl reg set "$key\\yaxises\\$5" regexp --string '.*'
    tgctl reg set "$key\\yaxises\\$5" oper --dword "$7"
}
diagram 'requests by status' status status '.*' requests status 2 # COUNT
diagram 'bytes by hour' hour time ':([0-9][0-9]):' bytes bytes 1   # SUM
tgctl settings set Port "$port"
if [[ -n $event_log ]]; then
    tgctl settings set WebLogEnabled 1
    tgctl settings set LogPath "$event_log"
else
    tgctl settings set WebLogEnabled 0
fi
