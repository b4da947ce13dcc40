#!/usr/bin/env bash
# How many requests per second does our HTTP server answer, one connection per request,
# beside nginx serving the same file? Runs wrk (-t2 -c50 -d10s, "Connection: close") against
# our server's static file, our server's template page and nginx's static file, then ab
# (HTTP/1.0, no keep-alive, 50 at once, 10 s) against the same three as a cross-check, and
# prints a table: requests/s, transfer/s, socket errors, non-2xx answers, TCP connections
# accepted per request and the server's CPU time per request, the ratio ours/nginx for the
# static file, and our server's peak resident memory.
#
#   bench/run_http_bench.sh
#
# Installs wrk, nginx and ab (apache2-utils) with apt-get when missing (as root); a freshly
# installed nginx service is stopped again. Builds the release preset's http_bench_server.
# Both servers listen on 127.0.0.1 only, nginx from a private configuration (one worker,
# keepalive_timeout 0, no access log, pid and logs in the temporary folder); everything
# started here is stopped on exit. TG_BENCH_BUILD=DIR takes http_bench_server from an existing
# build folder instead of building it. Exit status 1 when a body is wrong or a server fails.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

kSeconds=10      # each load run
kConnections=50  # clients at once
kThreads=2       # wrk threads

# --- tools ---------------------------------------------------------------------------------
missing=()
command -v wrk >/dev/null || missing+=(wrk)
command -v ab >/dev/null || missing+=(apache2-utils)
nginx_bin=$(command -v nginx || true)
[[ -n $nginx_bin || -x /usr/sbin/nginx ]] || missing+=(nginx)
command -v curl >/dev/null || missing+=(curl)
if ((${#missing[@]} > 0)); then
    if [[ $(id -u) -ne 0 ]]; then
        echo "run_http_bench: missing ${missing[*]};" \
            "install them (apt-get install ${missing[*]})" >&2
        exit 2
    fi
    echo "installing ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
    # The package starts its service where it can; this benchmark runs its own nginx only.
    if [[ " ${missing[*]} " == *" nginx "* ]]; then
        if command -v systemctl >/dev/null && [[ -d /run/systemd/system ]]; then
            systemctl stop nginx || true
            systemctl disable nginx >/dev/null 2>&1 || true
        else
            service nginx stop >/dev/null 2>&1 || true
        fi
        if [[ -s /run/nginx.pid ]] && kill -0 "$(cat /run/nginx.pid)" 2>/dev/null; then
            kill "$(cat /run/nginx.pid)" || true
        fi
    fi
fi
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)

# --- build ---------------------------------------------------------------------------------
if [[ -n "${TG_BENCH_BUILD:-}" ]]; then
    server_bin="$(realpath "$TG_BENCH_BUILD")/bench/http_bench_server"  # another version, say
else
    cmake --preset release >/dev/null
    cmake --build --preset release --target http_bench_server
    server_bin="$root/build/release/bench/http_bench_server"
fi

# --- content -------------------------------------------------------------------------------
work="$(mktemp -d /tmp/tg-http-bench-XXXXXX)"
ours_pid=""
nginx_pid=""
stop_all() {
    if [[ -n $ours_pid ]] && kill -0 "$ours_pid" 2>/dev/null; then
        kill -TERM "$ours_pid" 2>/dev/null || true
        wait "$ours_pid" 2>/dev/null || true
    fi
    if [[ -n $nginx_pid ]] && kill -0 "$nginx_pid" 2>/dev/null; then
        kill -QUIT "$nginx_pid" 2>/dev/null || true  # graceful: the master stops its workers
        wait "$nginx_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap stop_all EXIT

# nginx's workers run as an unprivileged user: they must be able to read the files.
chmod 755 "$work"
htdocs="$work/htdocs"
mkdir -m 755 "$htdocs"
# 2,048 bytes: 32 lines of 63 characters and a line end.
for ((i = 0; i < 32; ++i)); do
    printf '%02d abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 012345\n' "$i"
done >"$htdocs/static.txt"
if [[ $(stat -c %s "$htdocs/static.txt") -ne 2048 ]]; then
    echo "run_http_bench: static.txt is not 2,048 bytes" >&2
    exit 1
fi
# A template for the generic page: only EDIT comes from the request, the other tags render
# empty; the rest is text copied as it is.
{
    echo '<!DOCTYPE html>'
    echo '<html><head><title>*TEMPLATE_NAME*</title></head>'
    echo '<body>'
    echo '<h1>Benchmark page *TEMPLATE_NAME*</h1>'
    echo '<p>Edit: *EDIT*</p>'
    for ((i = 0; i < 12; ++i)); do
        printf '<p>Row %02d of plain text that the engine copies through unchanged.</p>\n' "$i"
    done
    echo '<p>Folder: *TEMPLATE_PATH*, edit again: *EDIT*</p>'
    echo '</body></html>'
} >"$htdocs/page.html"
chmod 644 "$htdocs/static.txt" "$htdocs/page.html"
sed -e 's/\*EDIT\*/bench/g' -e 's/\*[A-Z_]*\*//g' "$htdocs/page.html" >"$work/page.expected"

# --- servers -------------------------------------------------------------------------------
: >"$work/ours.out"
"$server_bin" --root "$htdocs" >"$work/ours.out" 2>"$work/ours.err" &
ours_pid=$!
for ((i = 0; i < 100; ++i)); do
    grep -q '^listening on ' "$work/ours.out" && break
    kill -0 "$ours_pid" 2>/dev/null || break
    sleep 0.05
done
ours_port=$(sed -n 's/^listening on //p' "$work/ours.out")
if [[ -z $ours_port ]]; then
    echo "run_http_bench: our server did not start:" >&2
    cat "$work/ours.err" >&2
    exit 1
fi

# A port nobody listens on (the system's pick for a socket bound and closed at once).
nginx_port=$(python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])')
mkdir -p "$work/nginx-tmp"
cat >"$work/nginx.conf" <<EOF
worker_processes 1;
daemon off;
pid $work/nginx.pid;
error_log $work/nginx-error.log warn;
events { worker_connections 1024; }
http {
    access_log off;
    keepalive_timeout 0;
    sendfile on;
    include /etc/nginx/mime.types;
    default_type application/octet-stream;
    client_body_temp_path $work/nginx-tmp/body;
    proxy_temp_path $work/nginx-tmp/proxy;
    fastcgi_temp_path $work/nginx-tmp/fastcgi;
    uwsgi_temp_path $work/nginx-tmp/uwsgi;
    scgi_temp_path $work/nginx-tmp/scgi;
    server {
        listen 127.0.0.1:$nginx_port;
        root $htdocs;
    }
}
EOF
"$nginx_bin" -p "$work" -e "$work/nginx-error.log" -c "$work/nginx.conf" \
    >"$work/nginx.out" 2>&1 &
nginx_pid=$!
for ((i = 0; i < 100; ++i)); do
    curl -s -o /dev/null "http://127.0.0.1:$nginx_port/static.txt" && break
    kill -0 "$nginx_pid" 2>/dev/null || break
    sleep 0.05
done

ours="http://127.0.0.1:$ours_port"
theirs="http://127.0.0.1:$nginx_port"
static_url="$ours/static.txt"
page_url="$ours/page.html?EDIT=bench"
nginx_url="$theirs/static.txt"

# --- bodies --------------------------------------------------------------------------------
# check_body URL EXPECTED_FILE: one fetch, status 200 and the body byte for byte.
check_body() {
    local status
    status=$(curl -s -o "$work/body" -w '%{http_code}' "$1" || echo failed)
    if [[ $status != 200 ]] || ! cmp -s "$work/body" "$2"; then
        echo "run_http_bench: $1 answered $status with a body other than expected:" >&2
        head -c 600 "$work/body" >&2 || true
        exit 1
    fi
}
check_body "$static_url" "$htdocs/static.txt"
check_body "$page_url" "$work/page.expected"
check_body "$nginx_url" "$htdocs/static.txt"

# --- runs ----------------------------------------------------------------------------------
# Connections the kernel accepted so far (TCP passive opens in this network namespace).
passive_opens() {
    awk '$1 == "Tcp:" && !seen { for (i = 1; i <= NF; ++i) col[$i] = i; seen = 1; next }
         $1 == "Tcp:" { print $col["PassiveOpens"] }' /proc/net/snmp
}

# CPU time (user + system) a process has used so far, in clock ticks.
cpu_ticks() {
    awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0
}
ticks_per_second=$(getconf CLK_TCK)

# run NAME TOOL URL PID: one load run; its output in $work/NAME.out and a table row
# "tool target requests/s transfer/s requests errors non2xx opens/request cpu/request" in
# $work/NAME.row, cpu/request being the microseconds of CPU that the server process PID spent
# per answered request.
run() {
    local name=$1 tool=$2 url=$3 pid=$4 before after cpu_before cpu_after
    before=$(passive_opens)
    cpu_before=$(cpu_ticks "$pid")
    if [[ $tool == wrk ]]; then
        wrk -t"$kThreads" -c"$kConnections" -d"${kSeconds}s" -H 'Connection: close' "$url" \
            >"$work/$name.out" 2>&1 || true
    else
        # -n after -t: -t alone caps the run at 50,000 requests. -r: a failed receive counts as a
        # failed request instead of ending the run.
        ab -q -r -t "$kSeconds" -n 100000000 -c "$kConnections" "$url" \
            >"$work/$name.out" 2>&1 || true
    fi
    after=$(passive_opens)
    cpu_after=$(cpu_ticks "$pid")
    local cpu=$(((cpu_after - cpu_before) * 1000000 / ticks_per_second))
    if [[ $tool == wrk ]]; then
        awk -v name="$name" -v opens=$((after - before)) -v cpu="$cpu" '
            / requests in / { requests = $1 }
            /Socket errors:/ { gsub(",", ""); errors = $4 "/" $6 "/" $8 "/" $10 }
            /Non-2xx or 3xx responses:/ { non2xx = $NF }
            /^Requests\/sec:/ { rps = $2 }
            /^Transfer\/sec:/ { transfer = $2 }
            END { printf "wrk %s %s %s/s %d %s %d %.2f %.1f\n", name, rps, transfer, requests,
                  errors == "" ? "0/0/0/0" : errors, non2xx, requests ? opens / requests : 0,
                  requests ? cpu / requests : 0 }' \
            "$work/$name.out" \
            >"$work/$name.row"
    else
        awk -v name="$name" -v opens=$((after - before)) -v cpu="$cpu" '
            /^Complete requests:/ { requests = $3 }
            /^Failed requests:/ { errors = $3 }
            /^Non-2xx responses:/ { non2xx = $3 }
            /^Requests per second:/ { rps = $4 }
            /^Transfer rate:/ { transfer = sprintf("%.2fMB", $3 / 1024) }
            END { printf "ab %s %s %s/s %d %d %d %.2f %.1f\n", name, rps, transfer, requests,
                  errors, non2xx, requests ? opens / requests : 0,
                  requests ? cpu / requests : 0 }' "$work/$name.out" \
            >"$work/$name.row"
    fi
}

echo
sed -n '/^machine:/p; /^build:/p' "$work/ours.out"
echo "nginx:          $("$nginx_bin" -v 2>&1 | sed 's/^nginx version: //'), worker_processes 1"
echo "load:           $(wrk -v 2>&1 | head -n 1 | cut -d' ' -f1-2) -t$kThreads" \
    "-c$kConnections -d${kSeconds}s -H 'Connection: close';" \
    "$(ab -V | head -n 1 | sed 's/^This is //; s/,.*//') -c$kConnections -t$kSeconds (HTTP/1.0)"
echo "files:          static.txt $(stat -c %s "$htdocs/static.txt") bytes," \
    "page.html $(stat -c %s "$htdocs/page.html") bytes" \
    "(rendered $(stat -c %s "$work/page.expected"))"

# The worker answers; the master only watches it.
nginx_worker=$(pgrep -P "$nginx_pid" | head -n 1 || true)
nginx_worker=${nginx_worker:-$nginx_pid}

run wrk-ours-static wrk "$static_url" "$ours_pid"
run wrk-ours-page wrk "$page_url" "$ours_pid"
run wrk-nginx-static wrk "$nginx_url" "$nginx_worker"
run ab-ours-static ab "$static_url" "$ours_pid"
run ab-ours-page ab "$page_url" "$ours_pid"
run ab-nginx-static ab "$nginx_url" "$nginx_worker"

# Our server's peak before it stops, and the nginx worker's for comparison.
ours_hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$ours_pid/status")
nginx_hwm="?"
for child in $(pgrep -P "$nginx_pid" || true); do
    nginx_hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$child/status" 2>/dev/null || echo "?")
done

echo
printf '%-5s %-16s %12s %12s %10s %14s %8s %10s %9s\n' tool target requests/s transfer/s \
    requests errors non-2xx conns/req cpu-us/req
for name in wrk-ours-static wrk-ours-page wrk-nginx-static ab-ours-static ab-ours-page \
    ab-nginx-static; do
    read -r tool target rps transfer requests errors non2xx opens cpu <"$work/$name.row"
    printf '%-5s %-16s %12s %12s %10s %14s %8s %10s %9s\n' "$tool" "${target#*-}" "$rps" \
        "$transfer" "$requests" "$errors" "$non2xx" "$opens" "$cpu"
done
echo "errors: wrk's socket errors connect/read/write/timeout; ab's failed requests." \
    "conns/req: TCP connections accepted per answered request. cpu-us/req: CPU time of the" \
    "server process (ours, or the nginx worker) per answered request, in microseconds."
echo
for tool in wrk ab; do
    read -r _ _ ours_rps _ <"$work/$tool-ours-static.row"
    read -r _ _ nginx_rps _ <"$work/$tool-nginx-static.row"
    awk -v t="$tool" -v a="$ours_rps" -v b="$nginx_rps" \
        'BEGIN { printf "ours/nginx, static file (%s): %.2f\n", t, (b > 0 ? a / b : 0) }'
done
echo "peak resident memory: ours ${ours_hwm} kB (VmHWM), nginx worker ${nginx_hwm} kB"
if [[ -s $work/ours.err ]]; then
    echo
    echo "our server's messages:"
    cat "$work/ours.err"
fi
