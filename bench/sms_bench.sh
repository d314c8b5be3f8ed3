#!/usr/bin/env bash
# SMS send benchmark over the modem simulator (bench/sms_bench, built with -DVESTRAL_BENCH=ON):
# 64 modems x 100 rows with 200 ms and 0 ms modem latency, then the fault run over 16 modems, then the
# result-delay runs.
# Usage: bench/sms_bench.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: sms_bench.sh BUILD_DIR}
export QT_QPA_PLATFORM=offscreen
"$build/bench/sms_bench" 64 100 200
"$build/bench/sms_bench" 64 100 0
"$build/bench/sms_bench" 16 50 20 1
# The modems answer at once but give each send's result 200 ms after its Ctrl-Z, as a network does:
# 64 modems x 20 rows, and 4 x 50 as the baseline.
"$build/bench/sms_bench" --result-delay 64 20 200
"$build/bench/sms_bench" --result-delay 4 50 200
# The floor of those two runs on this machine: the same simulated bank driven by a bare poll() loop (no database,
# no log, no worker threads).
"$build/bench/sms_floor_bench" 64 20 200
"$build/bench/sms_floor_bench" 4 50 200
