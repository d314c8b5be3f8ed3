#!/usr/bin/env bash
# History search benchmark: the page's search with a period filter over 1,000,000 history rows
# (bench/history_bench, built with -DVESTRAL_BENCH=ON). Target: at most 100 ms for one month.
# Usage: bench/history_bench.sh BUILD_DIR [ROWS]
set -euo pipefail
build=${1:?usage: history_bench.sh BUILD_DIR [ROWS]}
"$build/bench/history_bench" "${2:-1000000}"
