#!/usr/bin/env bash
# A send run and an inbox reading through the program's command line against each modem profile of the
# simulator (echo on, the maker's own lines everywhere they can come), in text and PDU mode, with a slow boot
# and a modem pulled out and plugged in again in the middle of the send. Prints one line of counts per run.
#
#   tools/modem-profiles.sh [BUILD_DIR]      (default build/test; needs vestral-sms and vestral-modemsim built)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test}
app=$build/src/app/vestral-sms
sim=$build/src/app/vestral-modemsim
rows=${ROWS:-20}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work

inbox=$work/caixa.txt
printf '+5511911110001\t26/12/10,08:00:00-12\tBom dia, tudo certo?\n' >"$inbox"
printf '+5511911110002\t26/12/10,08:01:00-12\tRING\n' >>"$inbox"
printf '+5511911110003\t26/12/10,08:02:00-12\tOK\n' >>"$inbox"
printf '+5511911110004\t26/12/10,08:03:00-12\tMensagem longa que passa de um SMS: %s\n' "$(printf 'texto %.0s' {1..40})" >>"$inbox"

# run NAME MODE SIM-OPTIONS...
run() {
    local name=$1 mode=$2
    shift 2
    local data=$work/$name-$mode
    mkdir -p "$data/portas"
    "$app" --data-dir "$data" --demo-ports 1 >/dev/null 2>&1
    sqlite3 "$data/BDSMS.db" "UPDATE dbCFG SET TEMPO_SMS = 0, MODO_SMS = '$mode', ESPERA_REDE_S = 30;
        DELETE FROM dbMENSAGEM;"
    for i in $(seq 1 "$rows"); do
        sqlite3 "$data/BDSMS.db" "INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES
            ('55119$(printf '%08d' "$i")', 'Olá $i: RING OK > ERROR', 1);"
    done
    "$sim" --dir "$data/portas" --ports 1 --inbox "$inbox" --transcript "$data/trafego.log" "$@" >/dev/null &
    local pid=$!
    for _ in $(seq 50); do [ -e "$data/portas/COM1" ] && break; sleep 0.1; done
    local start=$SECONDS code=0 rcode=0
    VESTRAL_PROBE_MS=3000 "$app" --data-dir "$data" --send-outbox >"$data/envio.txt" 2>&1 || code=$?
    local took=$((SECONDS - start))
    VESTRAL_PROBE_MS=3000 "$app" --data-dir "$data" --receive-sms >"$data/leitura.txt" 2>&1 || rcode=$?
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null || true
    local sent failed left received cmgs
    sent=$(sqlite3 "$data/BDSMS.db" "SELECT COUNT(*) FROM dbHISTORICO WHERE TIPO = 'SMS' AND ENVIADO = 1")
    failed=$(sqlite3 "$data/BDSMS.db" "SELECT COUNT(*) FROM dbHISTORICO WHERE TIPO = 'SMS' AND ENVIADO = 0")
    left=$(sqlite3 "$data/BDSMS.db" "SELECT COUNT(*) FROM dbMENSAGEM")
    received=$(sqlite3 "$data/BDSMS.db" "SELECT COUNT(*) FROM dbSMS")
    # Every "+CMGS: <mr>" the modem answered: one per SMS (per part in PDU mode) that left it.
    cmgs=$(grep -- '-->' "$data/trafego.log" | grep -o '+CMGS: [0-9]*' | wc -l || true)
    printf '%-28s %-5s envio: saída %d, %2d s, enviadas %d, falhas %d, na caixa %d, +CMGS do modem %d | leitura: saída %d, recebidas %d\n' \
        "$name" "$mode" "$code" "$took" "$sent" "$failed" "$left" "$cmgs" "$rcode" "$received"
    if [ -n "${KEEP:-}" ]; then cp -r "$data" "$KEEP/"; fi
}

noise=before-echo,inside-echo,after-prompt,before-ok,after-result,listing
for mode in TEXTO PDU; do
    for profile in plain huawei zte quectel cinterion mbm; do
        run "$profile" "$mode" --profile "$profile" --noise "$noise" --keep-lf-port 1
    done
    run "quectel-boot-8s" "$mode" --profile quectel --boot-ms 8000
    run "huawei-replug" "$mode" --profile huawei --noise "$noise" --unplug-after 1:7 --replug-after-ms 3000
    run "zte-replug-outro-chip" "$mode" --profile zte --unplug-after 1:7 --replug-after-ms 1000 \
        --replug-imsi 1:724059999999999
done
