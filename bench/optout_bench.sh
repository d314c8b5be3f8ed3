#!/usr/bin/env bash
# Opt-out list benchmark: outbox builder over N recipients without the list and with N listed numbers
# (none a recipient; a tenth of them recipients), median of ROUNDS alternated runs (target ratio <= 1.2).
# Usage: bench/optout_bench.sh BUILD_DIR [N] [ROUNDS]
set -euo pipefail
build=${1:?usage: optout_bench.sh BUILD_DIR [N] [ROUNDS]}
"$build/bench/optout_bench" "${2:-100000}" "${3:-3}"
