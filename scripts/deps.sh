#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, and any named on the command
# line, skipping those already present. Run as root on Debian 12.
# Usage: scripts/deps.sh [EXTRA_PACKAGE...]
set -euo pipefail

packages=(
    g++ clang libclang-rt-14-dev cmake ninja-build pkg-config
    libgtest-dev libgmock-dev
    libsqlite3-dev libssl-dev libpcre2-dev libpugixml-dev
    unixodbc unixodbc-dev libsqliteodbc odbc-postgresql postgresql
    media-types
    chromium
    prometheus  # the metrics test scrapes two daemons with it (and checks them with promtool)
    # The desktop program (Qt 6 Widgets; its tests run offscreen, its screenshots under Xvfb)
    # and the check of its menu entry.
    qt6-base-dev qt6-base-dev-tools libgl-dev xvfb xauth desktop-file-utils
    "$@"
)
# Node and npm install the chart libraries and drive the browser tests. One that is already
# there is kept: NodeSource's nodejs carries its own npm and conflicts with Debian's.
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
