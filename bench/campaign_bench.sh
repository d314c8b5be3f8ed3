#!/usr/bin/env bash
# Campaign benchmark: outbox builder over N marked recipients on one slot (target <= 2 s for 100,000),
# recipient set load, merge, and a contact search keystroke over N contacts (target <= 50 ms).
# With a PostgreSQL URL of an empty database, the same on that store and the ratios to SQLite.
# Usage: bench/campaign_bench.sh BUILD_DIR [N] [postgresql://user@host:port/database]
set -euo pipefail
build=${1:?usage: campaign_bench.sh BUILD_DIR [N] [URL]}
"$build/bench/campaign_bench" "${2:-100000}" ${3:+"$3"}
