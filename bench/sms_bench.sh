#!/usr/bin/env bash
# SMS send benchmark over the modem simulator (bench/sms_bench, built with -DVESTRAL_BENCH=ON):
# 64 modems x 100 rows with 200 ms and 0 ms modem latency, then the fault run over 16 modems.
# Usage: bench/sms_bench.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: sms_bench.sh BUILD_DIR}
export QT_QPA_PLATFORM=offscreen
"$build/bench/sms_bench" 64 100 200
"$build/bench/sms_bench" 64 100 0
"$build/bench/sms_bench" 16 50 20 1
