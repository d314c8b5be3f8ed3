#!/usr/bin/env bash
# E-mail (SMTP) benchmark: COUNT messages (default 1000) to a local aiosmtpd that discards them, sent by
#   - the system's client (one connection, pipelined)       bench/smtp_bench, built with -DVESTRAL_BENCH=ON
#   - Python smtplib reusing one connection                  /usr/bin/python3
#   - msmtp, one process (and connection) per message        skipped when msmtp is missing
# Prints one line per figure with its ratio to smtplib.
# Usage: bench/smtp_bench.sh BUILD_DIR [COUNT]
set -euo pipefail
build=${1:?usage: smtp_bench.sh BUILD_DIR [COUNT]}
count=${2:-1000}
here=$(cd "$(dirname "$0")" && pwd)
py=/usr/bin/python3
if ! $py -c 'import aiosmtpd' 2>/dev/null; then
    echo "smtp: skipped (python3-aiosmtpd missing)"; exit 0
fi
work=$(mktemp -d)
$py "$here/../tests/mail/smtp_test_server.py" --discard >"$work/port" 2>"$work/server.log" &
server=$!
trap 'kill $server 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do grep -q PORT "$work/port" 2>/dev/null && break; sleep 0.1; done
port=$(awk '/PORT/ {print $2}' "$work/port")

body=$($py -c 'print("<html><body><p>Olá!</p>\n" + ("x" * 100 + "\n") * 20 + "</body></html>")')

smtplib_s=$($py - "$port" "$count" "$body" <<'PYEOF'
import smtplib, sys, time
from email.mime.text import MIMEText
port, count, body = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
start = time.perf_counter()
s = smtplib.SMTP("127.0.0.1", port, local_hostname="bench")
for i in range(count):
    m = MIMEText(body, "html", "utf-8")
    m["From"] = "loja@example.com"
    m["To"] = f"cliente{i}@example.org"
    m["Subject"] = "Promoção de Natal"
    s.send_message(m)
s.quit()
print(f"{time.perf_counter() - start:.3f}")
PYEOF
)
line() { # name seconds
    awk -v n="$1" -v s="$2" -v b="$smtplib_s" -v c="$count" \
        'BEGIN { printf "smtp %-34s %8.3f s  %8.0f msg/s  %5.2fx smtplib\n", n, s, c / s, b / s }'
}

if [ -x "$build/bench/smtp_bench" ]; then
    line "vestral (1 connection, pipelined)" "$("$build/bench/smtp_bench" "$port" "$count")"
else
    echo "smtp vestral: skipped ($build/bench/smtp_bench not built; configure with -DVESTRAL_BENCH=ON)"
fi
line "smtplib (1 connection)" "$smtplib_s"
if command -v msmtp >/dev/null; then
    printf 'From: loja@example.com\r\nSubject: Promo\r\nContent-Type: text/html; charset=UTF-8\r\n\r\n%s\r\n' \
        "$body" >"$work/msg"
    start=$(date +%s.%N)
    for i in $(seq "$count"); do
        msmtp --host=127.0.0.1 --port="$port" --auth=off --tls=off --from=loja@example.com \
            "cliente$i@example.org" <"$work/msg"
    done
    end=$(date +%s.%N)
    line "msmtp (1 process per message)" "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')"
else
    echo "smtp msmtp: skipped (msmtp not installed)"
fi
