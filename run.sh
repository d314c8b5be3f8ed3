#!/usr/bin/env bash
# Builds VESTRAL SMS (Release) and starts it on its embedded SQLite database.
# Arguments are handed to the program (for example: ./run.sh --data-dir ~/vestral).
set -euo pipefail
cd "$(dirname "$0")"
tools/deps.sh build
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVESTRAL_TESTS=OFF
cmake --build "$build" -j "$(nproc)"
data=${VESTRAL_DATA_DIR:-$HOME/.local/share/vestral-sms}
mkdir -p "$data"
exec "$build/src/app/vestral-sms" --data-dir "$data" "$@"
