#!/usr/bin/env bash
# Printed history report benchmark: the summary report over 1,000,000 history rows written to a PDF,
# against a bare read of the same rows (bench/report_bench, built with -DVESTRAL_BENCH=ON).
# Goal: at most 60 s and 200 MB peak memory.
# Usage: bench/report_bench.sh BUILD_DIR [ROWS] [--full]
set -euo pipefail
build=${1:?usage: report_bench.sh BUILD_DIR [ROWS] [--full]}
shift
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
"$build/bench/report_bench" "${@:-1000000}"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
