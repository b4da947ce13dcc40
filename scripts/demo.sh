#!/usr/bin/env bash
# Installs what is missing, builds, and shows records coming out of the sample access log.
# Usage: scripts/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target tgctl

store=$(mktemp -d)/demo.db
trap 'rm -rf "$(dirname "$store")"' EXIT

regexp=$(cat samples/access.regexp)
echo "Expression: $regexp"
echo "Records of samples/access.log (fields joined by TAB):"
build/release/bin/tgctl --store "$store" parse \
    --regexp "$regexp" \
    --fields host,ident,user,time,request,status,bytes,referer,agent \
    samples/access.log
