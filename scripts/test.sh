#!/usr/bin/env bash
# Installs what is missing, builds and runs every test. Usage: scripts/test.sh [PRESET...]
# Presets: debug (default), release, asan, tsan. Set TG_WERROR=ON to fail on warnings.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

presets=("$@")
((${#presets[@]})) || presets=(debug)

jobs=$(nproc)
for preset in "${presets[@]}"; do
    echo "=== $preset ==="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
done
