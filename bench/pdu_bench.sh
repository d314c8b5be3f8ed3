#!/usr/bin/env bash
# PDU encoding benchmark: N merged texts of 300 characters encoded into SMS-SUBMIT parts, with a baseline
# (UTF-8 + hex of the same texts) in the same run.
# Usage: bench/pdu_bench.sh BUILD_DIR [N]
set -euo pipefail
build=${1:?usage: pdu_bench.sh BUILD_DIR [N]}
"$build/bench/pdu_bench" "${2:-100000}"
