#!/usr/bin/env bash
# ./run.sh on a fresh data folder, with the program already built (VESTRAL_BUILD_DIR): the demo (database,
# slots 1-4 in PDU mode, the sample contacts, the simulated modems) is made in the folder the program then
# opens, whether that folder comes from --data-dir DIR, --data-dir=DIR or VESTRAL_DATA_DIR, and the simulated
# modems are gone when run.sh ends.
# usage: run_demo_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
source_dir=$2
for exe in src/app/vestral-sms src/app/vestral-modemsim; do
    [ -x "$build/$exe" ] || { echo "SKIP: $exe not built"; exit 77; }
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
name=
fail() { echo "FALHA ($name): $*"; failures=$((failures + 1)); }

# One run: its name, VESTRAL_DATA_DIR ("" for none), the data folder it must use, then run.sh's arguments
# (--version opens no window).
run_case() {
    name=$1
    local env_dir=$2 expect=$3
    shift 3
    local home="$tmp/home-$name"
    mkdir -p "$home"
    local out
    out=$(cd "$source_dir" && env -u VESTRAL_DATA_DIR HOME="$home" VESTRAL_BUILD_DIR="$build" \
        ${env_dir:+VESTRAL_DATA_DIR="$env_dir"} ./run.sh "$@" 2>"$tmp/err-$name") ||
        fail "saída $?: $(tail -3 "$tmp/err-$name")"
    [[ $out == *"VESTRAL SMS V."* ]] || fail "a versão não foi impressa: $out"
    [ -f "$expect/BDSMS.db" ] || fail "sem BDSMS.db em $expect"
    [ -f "$expect/.demo-modems" ] || fail "sem .demo-modems em $expect"
    [ "$(stat -c %a "$expect" 2>/dev/null)" = 700 ] || fail "pasta $expect com modo $(stat -c %a "$expect")"
    [ ! -e "$home/.local/share/vestral-sms" ] || [ "$expect" = "$home/.local/share/vestral-sms" ] ||
        fail "demo feito na pasta padrão, não em $expect"
    if command -v sqlite3 >/dev/null; then
        [ "$(sqlite3 "$expect/BDSMS.db" "SELECT MODO_SMS FROM dbCFG" 2>/dev/null)" = PDU ] || fail "modo de envio não é PDU"
        [ "$(sqlite3 "$expect/BDSMS.db" "SELECT COUNT(*) FROM dbCLIENTE" 2>/dev/null)" = 12 ] || fail "contatos do demo faltando"
    fi
    # The simulated modems are stopped with run.sh: their links go within a few seconds.
    for _ in $(seq 50); do
        [ -e "$expect/portas/COM1" ] || [ -L "$expect/portas/COM1" ] || break
        sleep 0.1
    done
    [ ! -L "$expect/portas/COM1" ] || fail "modems simulados ainda ativos"
}

run_case default "" "$tmp/home-default/.local/share/vestral-sms" --version
run_case env "$tmp/env" "$tmp/env" --version
run_case arg "$tmp/env2" "$tmp/arg" --data-dir "$tmp/arg" --version # the argument wins over the variable
run_case argeq "" "$tmp/argeq" --data-dir="$tmp/argeq" --version
[ "$failures" -eq 0 ] || exit 1
echo "run.sh demo: ok"
