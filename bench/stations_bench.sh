#!/usr/bin/env bash
# Several stations draining one outbox on one PostgreSQL database, each with simulated modems of its own.
# For each layout STATIONSxMODEMS: the outbox gets ROWS pool rows, every station starts `--send-outbox` at once,
# and the wall time from the start to the last station's exit is printed with the rows each station sent and
# the numbers sent twice (there must be none). The first layout is the baseline of the ratios.
# Usage: bench/stations_bench.sh BUILD_DIR URL ROWS LATENCY_MS LAYOUT...   (e.g. ... 2000 200 1x4 2x4)
# URL: an empty database the role may fill, e.g. postgresql://vestral@127.0.0.1:55432/estacoes
set -euo pipefail
build=${1:?usage: stations_bench.sh BUILD_DIR URL ROWS LATENCY_MS LAYOUT...}
url=${2:?URL}
rows=${3:?ROWS}
latency=${4:?LATENCY_MS}
shift 4
program="$build/src/app/vestral-sms"
sim="$build/src/app/vestral-modemsim"
[ -x "$sim" ] || sim="$build/tools/modemsim/vestral-modemsim"
work=$(mktemp -d /tmp/stations-bench.XXXXXX)
export QT_QPA_PLATFORM=offscreen
sql() { psql -X -q -A -t "$url" -v ON_ERROR_STOP=1 -c "$1"; }
baseline=
for layout in "$@"; do
    stations=${layout%x*}
    modems=${layout#*x}
    rm -rf "$work"/*
    "$program" --data-dir "$work/s1" --database "$url" --station s1 --init-db >/dev/null
    sql "DELETE FROM dbMENSAGEM; DELETE FROM dbHISTORICO; DELETE FROM dbPORTA_ATIVA; DELETE FROM dbESTACAO;
         UPDATE dbCFG SET MODO_SMS = 'TEXTO', CONFIRMA_ENTREGA = 0, TEMPO_SMS = 0, CASCATA = 10;
         INSERT INTO dbMENSAGEM (FONE, MENSAGEM) SELECT '5511' || lpad(g::text, 8, '0'), 'Teste ' || g
             FROM generate_series(1, $rows) g"
    sims=()
    for ((s = 1; s <= stations; s++)); do
        mkdir -p "$work/s$s"
        "$program" --data-dir "$work/s$s" --database "$url" --station "s$s" --demo-ports "$modems" >/dev/null
        sql "UPDATE dbCFG SET MODO_SMS = 'TEXTO', CONFIRMA_ENTREGA = 0" >/dev/null
        "$sim" --dir "$work/s$s/portas" --ports "$modems" --result-delay-ms "$latency" >/dev/null 2>&1 &
        sims+=($!)
    done
    sleep 1
    start=$(date +%s.%N)
    pids=()
    for ((s = 1; s <= stations; s++)); do
        "$program" --data-dir "$work/s$s" --database "$url" --station "s$s" --send-outbox >"$work/out$s.txt" 2>&1 &
        pids+=($!)
    done
    for p in "${pids[@]}"; do wait "$p" || true; done
    end=$(date +%s.%N)
    kill "${sims[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
    seconds=$(echo "$end - $start" | bc -l)
    shares=$(sql "SELECT string_agg(coalesce(ESTACAO, '?') || '=' || n, ' ' ORDER BY ESTACAO) FROM
                  (SELECT ESTACAO, count(*) n FROM dbHISTORICO GROUP BY ESTACAO) t" 2>/dev/null || echo "?")
    twice=$(sql "SELECT count(*) FROM (SELECT DESTINATARIO FROM dbHISTORICO WHERE ENVIADO = 1
                 GROUP BY DESTINATARIO HAVING count(*) > 1) t")
    sent=$(sql "SELECT count(*) FROM dbHISTORICO WHERE ENVIADO = 1")
    left=$(sql "SELECT count(*) FROM dbMENSAGEM")
    [ -n "$baseline" ] || baseline=$seconds
    printf '%s: %d rows in %.2f s (%.2fx the first layout); sent %s, left %s, sent twice %s; per station: %s\n' \
        "$layout" "$rows" "$seconds" "$(echo "$seconds / $baseline" | bc -l)" "$sent" "$left" "$twice" "$shares"
done
rm -rf "$work"
