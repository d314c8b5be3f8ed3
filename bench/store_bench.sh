#!/usr/bin/env bash
# The window and a 10-contact import over 1,000,000 contacts and 1,000,000 history rows, against the same
# steps over an empty database in the same run. Goals: window usable in at most 1 s and 200 MB; import of
# 10 contacts in at most 0.5 s.
# Usage: bench/store_bench.sh BUILD_DIR [CONTACTS] [HISTORY]   (the full database is kept in BUILD_DIR/bench-store)
set -euo pipefail
build=${1:?usage: store_bench.sh BUILD_DIR [CONTACTS] [HISTORY]}
contacts=${2:-1000000}
history=${3:-1000000}
bench="$build/bench/store_bench"
program="$build/src/app/vestral-sms"
work="$build/bench-store"
full="$work/full-$contacts-$history"
empty="$work/empty"
mkdir -p "$work"
rm -rf "$empty"
mkdir -p "$empty"
"$bench" make "$empty" 0 0
if [ ! -s "$full/BDSMS.db" ]; then
    mkdir -p "$full"
    "$bench" make "$full" "$contacts" "$history"
fi
printf '%s\n' "Nome $RANDOM;11999990001" "Outro;11999990002" "Terceiro;11999990003" "Quarto;11999990004" \
    "Quinto;11999990005" "Sexto;11999990006" "Sétimo;11999990007" "Oitavo;11999990008" "Nono;11999990009" \
    "Décimo;11999990010" > "$work/dez.csv"
for db in "$empty" "$full"; do
    echo "== $(basename "$db")"
    for run in 1 2 3; do
        "$bench" window "$db"
    done
    for run in 1 2 3; do
        /usr/bin/time -f "import of 10 contacts: %e s, peak memory %M KB" \
            "$program" --data-dir "$db" --import "$work/dez.csv" --group GERAL > /dev/null
    done
done
