#!/usr/bin/env bash
# Probe benchmark over the modem simulator (bench/probe_bench, built with -DVESTRAL_BENCH=ON):
# 64 modems opened and probed, then 6,400 recipients built at CASCATA 10 over the 64 slots, each
# against the one-slot-at-a-time baseline in the same run.
# Usage: bench/probe_bench.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: probe_bench.sh BUILD_DIR}
export QT_QPA_PLATFORM=offscreen
"$build/bench/probe_bench" 64 6400 10 5
