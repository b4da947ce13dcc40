#!/usr/bin/env bash
# Builds the Debian packages and checks them for real: installs the server package, verifies
# the systemd unit, runs the installed daemon as the service user on a loopback port, asks it
# for / with curl, stops it with SIGTERM; then installs the desktop package, checks its menu
# entry and icons, runs the installed desktop program the same way (offscreen), and purges
# both packages again. Run as root on Debian 12, on a machine
# where tessellgrove is not installed. Usage: scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."

fail() { echo "package.sh: FAILED: $*" >&2; exit 1; }
ok() { echo "  ok: $*"; }

[[ $(id -u) == 0 ]] || fail "run as root (the check installs and purges the package)"

# What packaging and the check need beyond building.
bash scripts/deps.sh dpkg-dev file adduser systemd curl util-linux desktop-file-utils

# Purging removes the store under /var/lib/tessellgrove: never run over a real installation.
status=$(dpkg-query -W -f='${db:Status-Status}' tessellgrove 2>/dev/null || true)
if [[ -n $status && $status != not-installed ]]; then
    fail "tessellgrove is already on this machine ($status); purge it first or check elsewhere"
fi
for dir in /var/lib/tessellgrove /var/log/tessellgrove; do
    [[ ! -e $dir ]] || fail "$dir exists and would be removed by the purge; move it away first"
done
user_existed=0
getent passwd tessellgrove >/dev/null && user_existed=1
group_existed=0
getent group tessellgrove >/dev/null && group_existed=1

echo "=== build ==="
build=build/package
# Warnings are the test builds' business (TG_WERROR there); at -O3 g++ 12 reports false
# -Wrestrict positives inside std::string, which must not stop the package.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DTG_BUILD_TESTS=OFF -DTG_BUILD_BENCH=OFF -DTG_BUILD_FUZZ=OFF -DTG_WERROR=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/tessellgrove_*.deb "$build"/tessellgrove-desktop_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/tessellgrove_*.deb)
[[ ${#debs[@]} == 1 && -f ${debs[0]} ]] || fail "cpack made no single tessellgrove_*.deb"
deb=${debs[0]}
desktop_debs=("$build"/tessellgrove-desktop_*.deb)
[[ ${#desktop_debs[@]} == 1 && -f ${desktop_debs[0]} ]] ||
    fail "cpack made no single tessellgrove-desktop_*.deb"
desktop_deb=${desktop_debs[0]}

echo "=== package ==="
echo "  file: $deb ($(stat -c %s "$deb") bytes, installed size $(dpkg-deb -f "$deb" Installed-Size) KiB)"
depends=$(dpkg-deb -f "$deb" Depends)
echo "  depends: $depends"
for need in adduser media-types libc6 libsqlite3-0 libssl3 libodbc2 libpugixml1v5; do
    grep -qE "(^|, )$need( |,|$)" <<<"$depends" || fail "Depends lacks $need"
done
ok "dependencies include adduser, media-types and the shared libraries"
! grep -qi 'qt' <<<"$depends" || fail "the server package depends on Qt: $depends"
ok "the server package does not pull Qt"
listing=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
for path in /usr/bin/tessellgroved /usr/bin/tgctl /usr/share/tessellgrove/htdocs/index.html \
        /usr/share/doc/tessellgrove/README.md /lib/systemd/system/tessellgroved.service; do
    grep -qxF "$path" <<<"$listing" || fail "package lacks $path"
done
allowed='^/((usr/|usr/bin/|usr/share/|usr/share/doc/|lib/|lib/systemd/|lib/systemd/system/)?'
allowed+='|usr/bin/(tessellgroved|tgctl)|usr/share/(tessellgrove|doc/tessellgrove)(/.*)?'
allowed+='|lib/systemd/system/tessellgroved\.service)$'
unexpected=$(grep -vE "$allowed" <<<"$listing" || true)
[[ -z $unexpected ]] || fail "package holds unexpected files: $unexpected"
ok "contents: the two programs, htdocs, README and the unit, nothing else"

work=$(mktemp -d)
chmod 755 "$work"
installed=0
daemon=""
cleanup() {
    if [[ -n $daemon ]] && kill -0 "$daemon" 2>/dev/null; then
        kill -KILL "$daemon" 2>/dev/null || true
        wait "$daemon" 2>/dev/null || true
    fi
    if ((installed)); then
        dpkg --purge tessellgrove-desktop tessellgrove >/dev/null 2>&1 || true
    fi
    if ((!user_existed)) && getent passwd tessellgrove >/dev/null; then
        deluser --system --quiet tessellgrove >/dev/null 2>&1 || true
    fi
    if ((!group_existed)) && getent group tessellgrove >/dev/null; then
        delgroup --system --quiet tessellgrove >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

echo "=== install ==="
installed=1
dpkg -i "$deb" >"$work/dpkg.out" 2>&1 || { cat "$work/dpkg.out" >&2; fail "dpkg -i"; }
grep -i '^tessellgrove:' "$work/dpkg.out" | sed 's/^/  postinst says: /' || true
[[ $(dpkg-query -W -f='${db:Status-Status}' tessellgrove) == installed ]] || fail "not installed"
IFS=: read -r _ _ uid _ _ home shell < <(getent passwd tessellgrove) || fail "no user tessellgrove"
((uid < 1000)) || fail "tessellgrove is not a system user (uid $uid)"
[[ $home == /var/lib/tessellgrove ]] || fail "home of tessellgrove is $home"
[[ $shell == */nologin || $shell == /bin/false ]] || fail "tessellgrove has a login shell ($shell)"
[[ $(stat -c '%U:%G %a' /var/lib/tessellgrove) == "tessellgrove:tessellgrove 750" ]] ||
    fail "/var/lib/tessellgrove is $(stat -c '%U:%G %a' /var/lib/tessellgrove)"
ok "system user tessellgrove (uid $uid, $shell), /var/lib/tessellgrove 750"
if [[ -d /run/systemd/system ]]; then
    enabled=$(systemctl is-enabled tessellgroved.service 2>/dev/null || true)
    [[ $enabled == disabled ]] || fail "service is '$enabled' after installing, not disabled"
    ok "service installed but not enabled"
fi

echo "=== systemd unit ==="
unit=/lib/systemd/system/tessellgroved.service
verify_rc=0
systemd-analyze verify "$unit" >"$work/verify.out" 2>&1 || verify_rc=$?
if ((verify_rc)) || grep -q . "$work/verify.out"; then
    cat "$work/verify.out" >&2
    fail "systemd-analyze verify $unit (exit $verify_rc)"
fi
ok "systemd-analyze verify $unit: exit 0, no messages"
exposure=$(systemd-analyze security --offline=true "$unit" 2>/dev/null | tail -n 1 || true)
[[ -z $exposure ]] || echo "  info: systemd-analyze security: ${exposure#→ }"

echo "=== run the installed daemon ==="
# As the service user, with the clean environment a service gets, on a port of its own.
as_service() {
    env -i PATH=/usr/bin:/bin \
        setpriv --reuid=tessellgrove --regid=tessellgrove --init-groups -- "$@"
}
listening() {  # is TCP port $1 in LISTEN state on any address?
    local hex tables=()
    hex=$(printf ':%04X' "$1")
    for t in /proc/net/tcp /proc/net/tcp6; do [[ -r $t ]] && tables+=("$t"); done
    ((${#tables[@]})) || return 1
    awk -v port="$hex" 'FNR > 1 && $4 == "0A" && substr($2, length($2) - 4) == port { found = 1 }
                        END { exit !found }' "${tables[@]}"
}
set_port() {  # the port setting of store $1
    if /usr/bin/tgctl --help | grep -q 'settings set'; then
        as_service /usr/bin/tgctl --store "$1" settings set Port "$2"
    else
        as_service /usr/bin/tgctl --store "$1" reg set http Port --dword "$2"
    fi
}

chown tessellgrove:tessellgrove "$work"
chmod 700 "$work"
store=$work/store.db
# The account command that the postinst's message gives, on the temporary store.
if /usr/bin/tgctl --help | grep -q 'user add'; then
    (cd / && echo 'package-check-1' | runuser -u tessellgrove -- \
        /usr/bin/tgctl --store "$store" user add checker --edit) ||
        fail "runuser -u tessellgrove -- tgctl ... user add"
    accounts=$(cd / && runuser -u tessellgrove -- /usr/bin/tgctl --store "$store" user list)
    [[ $accounts == "checker"$'\t'"edit" ]] || fail "tgctl user list printed '$accounts'"
    ok "runuser -u tessellgrove -- tgctl ... user add: account stored"
fi
port=""
status_line=""
for attempt in 1 2 3; do
    port=$((20000 + RANDOM % 40000))
    while listening "$port"; do port=$((20000 + RANDOM % 40000)); done
    set_port "$store" "$port" || fail "tgctl could not set the port in $store"
    # Started directly (not through the function) so that $! is the daemon itself: env and
    # setpriv exec it in the same process.
    env -i PATH=/usr/bin:/bin setpriv --reuid=tessellgrove --regid=tessellgrove --init-groups \
        -- /usr/bin/tessellgroved --store "$store" --bind 127.0.0.1 \
        >"$work/daemon.out" 2>"$work/daemon.err" &
    daemon=$!
    for _ in $(seq 100); do  # up to 10 seconds to start listening
        if ! kill -0 "$daemon" 2>/dev/null; then break; fi
        if status_line=$(curl -sS -o /dev/null -D - --max-time 5 "http://127.0.0.1:$port/" \
                2>/dev/null | head -n 1 | tr -d '\r') && [[ -n $status_line ]]; then
            break
        fi
        sleep 0.1
    done
    [[ -z $status_line ]] || break
    if kill -0 "$daemon" 2>/dev/null; then
        fail "tessellgroved runs but does not answer on 127.0.0.1:$port"
    fi
    rc=0
    wait "$daemon" || rc=$?
    daemon=""
    # Someone else may have taken the port in between: try another one.
    ((rc == 1 && attempt < 3)) && continue
    cat "$work/daemon.err" >&2
    fail "tessellgroved ended (exit $rc) without answering on 127.0.0.1:$port"
done
[[ $status_line =~ ^HTTP/1\.[01]\ ([0-9]{3}) ]] || fail "no HTTP status line: '$status_line'"
code=${BASH_REMATCH[1]}
((code < 400 || code == 401)) || fail "GET / answered '$status_line'"
ok "GET http://127.0.0.1:$port/ as user tessellgrove: $status_line"
# The installed program finds the installed web files without --htdocs.
page=$(curl -sS -o /dev/null -w '%{http_code}' --max-time 5 "http://127.0.0.1:$port/index.html") ||
    fail "GET /index.html"
[[ $page == 200 ]] || fail "GET /index.html answered $page: the web files were not found"
ok "GET /index.html: 200 (web files found in /usr/share/tessellgrove/htdocs)"

kill -TERM "$daemon"
rc=0
wait "$daemon" || rc=$?
daemon=""
((rc == 0)) || { cat "$work/daemon.err" >&2; fail "tessellgroved exit code $rc after SIGTERM"; }
ok "SIGTERM: exit code 0"

echo "=== desktop package ==="
desktop_depends=$(dpkg-deb -f "$desktop_deb" Depends)
echo "  depends: $desktop_depends"
grep -qE "(^|, )tessellgrove \\(= " <<<"$desktop_depends" || fail "Depends lacks tessellgrove (= ...)"
grep -qE "(^|, )libqt6widgets6" <<<"$desktop_depends" || fail "Depends lacks libqt6widgets6"
desktop_listing=$(dpkg-deb -c "$desktop_deb" | awk '{print $6}' | sed 's|^\./|/|')
for path in /usr/bin/tessellgrove /usr/share/applications/tessellgrove.desktop \
        /usr/share/icons/hicolor/16x16/apps/tessellgrove.png \
        /usr/share/icons/hicolor/48x48/apps/tessellgrove.png \
        /usr/share/icons/hicolor/256x256/apps/tessellgrove.png \
        /usr/share/icons/hicolor/scalable/apps/tessellgrove.svg \
        /usr/share/doc/tessellgrove/guide/index.html; do
    grep -qxF "$path" <<<"$desktop_listing" || fail "desktop package lacks $path"
done
ok "desktop contents: the program, its menu entry, hicolor icons and the user guide"
dpkg -i "$desktop_deb" >"$work/dpkg.out" 2>&1 || { cat "$work/dpkg.out" >&2; fail "dpkg -i desktop"; }
desktop-file-validate /usr/share/applications/tessellgrove.desktop ||
    fail "desktop-file-validate tessellgrove.desktop"
ok "desktop-file-validate: no complaints"
# The installed desktop program on the same store and port, without a display.
env -i PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen HOME="$work" \
    setpriv --reuid=tessellgrove --regid=tessellgrove --init-groups \
    -- /usr/bin/tessellgrove --store "$store" --bind 127.0.0.1 \
    >"$work/desktop.out" 2>"$work/desktop.err" &
daemon=$!
status_line=""
for _ in $(seq 100); do
    kill -0 "$daemon" 2>/dev/null || break
    if status_line=$(curl -sS -o /dev/null -D - --max-time 5 "http://127.0.0.1:$port/" \
            2>/dev/null | head -n 1 | tr -d '\r') && [[ -n $status_line ]]; then
        break
    fi
    sleep 0.1
done
[[ -n $status_line ]] || { cat "$work/desktop.err" >&2; fail "tessellgrove does not answer"; }
ok "installed tessellgrove answers GET /: $status_line"
kill -TERM "$daemon"
rc=0
wait "$daemon" || rc=$?
daemon=""
((rc == 0)) || { cat "$work/desktop.err" >&2; fail "tessellgrove exit code $rc after SIGTERM"; }
ok "tessellgrove: SIGTERM, exit code 0"
dpkg --purge tessellgrove-desktop >"$work/dpkg.out" 2>&1 ||
    { cat "$work/dpkg.out" >&2; fail "dpkg --purge tessellgrove-desktop"; }

echo "=== purge ==="
dpkg --purge tessellgrove >"$work/dpkg.out" 2>&1 || { cat "$work/dpkg.out" >&2; fail "dpkg --purge"; }
installed=0
for path in /usr/bin/tessellgroved /usr/bin/tgctl /usr/share/tessellgrove "$unit" \
        /var/lib/tessellgrove /var/log/tessellgrove; do
    [[ ! -e $path ]] || fail "$path is still there after the purge"
done
ok "dpkg --purge removed programs, web files, unit and state"
echo "package.sh: all checks passed ($deb, $desktop_deb)"
