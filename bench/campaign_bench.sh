#!/usr/bin/env bash
# Campaign benchmark: outbox builder over N marked recipients on one slot (target <= 2 s for 100,000),
# recipient set load, merge, and a contact search keystroke over N contacts (target <= 50 ms).
# Usage: bench/campaign_bench.sh BUILD_DIR [N]
set -euo pipefail
build=${1:?usage: campaign_bench.sh BUILD_DIR [N]}
"$build/bench/campaign_bench" "${2:-100000}"
