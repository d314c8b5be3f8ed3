#!/usr/bin/env bash
# History search benchmark: the page's search with a period filter over 1,000,000 history rows
# (bench/history_bench, built with -DVESTRAL_BENCH=ON). Target: at most 100 ms for one month.
# With a PostgreSQL URL of an empty database, the same on that store and the ratios to SQLite.
# Usage: bench/history_bench.sh BUILD_DIR [ROWS] [postgresql://user@host:port/database]
set -euo pipefail
build=${1:?usage: history_bench.sh BUILD_DIR [ROWS] [URL]}
"$build/bench/history_bench" "${2:-1000000}" 9 ${3:+"$3"}
