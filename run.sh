#!/usr/bin/env bash
# Builds VESTRAL SMS (Release) and starts it on its embedded SQLite database.
# Arguments are handed to the program (for example: ./run.sh --data-dir ~/vestral).
set -euo pipefail
cd "$(dirname "$0")"
# VESTRAL_BUILD_DIR names a build folder that already holds the program (a developer's, the tests'): it is run as
# it is, without installing packages or building.
build=${VESTRAL_BUILD_DIR:-}
if [ -z "$build" ]; then
    tools/deps.sh build
    build=build/release
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVESTRAL_TESTS=OFF
    cmake --build "$build" -j "$(nproc)"
fi
# The data folder: the program's own --data-dir DIR (or --data-dir=DIR; the last one counts, as for the program)
# when given, else $VESTRAL_DATA_DIR, else ~/.local/share/vestral-sms. The demo is made where the program looks.
data=${VESTRAL_DATA_DIR:-$HOME/.local/share/vestral-sms}
args=("$@")
for ((i = 0; i < ${#args[@]}; i++)); do
    case ${args[i]} in
    --data-dir) [ $((i + 1)) -lt ${#args[@]} ] && data=${args[i + 1]} ;;
    --data-dir=*) data=${args[i]#--data-dir=} ;;
    esac
done
# Made private as the program makes the folders it creates: it holds the SMTP password.
[ -d "$data" ] || (umask 077 && mkdir -p "$data")
# A new data folder starts as a demo: slots 1-4 on four simulated modems linked as portas/COM1..4,
# and twelve sample contacts in group GERAL to build a first outbox from.
seed=()
if [ ! -e "$data/BDSMS.db" ]; then
    "$build/src/app/vestral-sms" --data-dir "$data" --demo-ports 4 && touch "$data/.demo-modems"
    "$build/src/app/vestral-sms" --data-dir "$data" --import tools/demo/contatos-demo.csv --group GERAL >/dev/null
    # Three received messages (one in two UCS-2 parts) wait on the first demo modem, on the first run only.
    seed=(--inbox 1:tools/demo/caixa-demo.txt)
fi
if [ -e "$data/.demo-modems" ]; then
    # PDU-capable modems; a delivery report comes two seconds after each send that asks for one.
    "$build/src/app/vestral-modemsim" --dir "$data/portas" --ports 4 --report-delay-ms 2000 ${seed[@]+"${seed[@]}"} >/dev/null &
    sim=$!
    trap 'kill "$sim" 2>/dev/null || true' EXIT
    "$build/src/app/vestral-sms" --data-dir "$data" "$@"
    exit
fi
exec "$build/src/app/vestral-sms" --data-dir "$data" "$@"
