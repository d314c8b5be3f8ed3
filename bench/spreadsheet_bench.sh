#!/usr/bin/env bash
# Spreadsheet benchmark: ROWS contacts (default 100000) × 14 text columns.
#   - export to .xlsx with the system's writer (libxlsxwriter)     bench/spreadsheet_bench, -DVESTRAL_BENCH=ON
#   - parse that .xlsx into rows with the system's reader (libzip + expat)
#   - openpyxl in read-only mode reading the same file into rows   /usr/bin/python3, python3-openpyxl
# Prints one line per figure: wall-clock seconds, then the process's own CPU seconds (which other
# load on the machine does not inflate); the parse line gives its ratio to openpyxl.
# Usage: bench/spreadsheet_bench.sh BUILD_DIR [ROWS]
set -euo pipefail
build=${1:?usage: spreadsheet_bench.sh BUILD_DIR [ROWS]}
rows=${2:-100000}
py=/usr/bin/python3
if [ ! -x "$build/bench/spreadsheet_bench" ]; then
    echo "planilhas: skipped ($build/bench/spreadsheet_bench not built; configure with -DVESTRAL_BENCH=ON)"
    exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file="$work/CONTATOS.xlsx"
"$build/bench/spreadsheet_bench" "$file" "$rows" >"$work/out"
read -r _ export_s export_cpu <<<"$(grep '^export' "$work/out")"
read -r _ parse_s parse_cpu _ <<<"$(grep '^parse' "$work/out")"
line() { # name wall cpu [extra]
    printf 'planilhas %-44s %8.3f s  (CPU %6.3f s)%s\n' "$1" "$2" "$3" "${4:-}"
}
line "export $rows contacts to .xlsx (vestral)" "$export_s" "$export_cpu"
if $py -c 'import openpyxl' 2>/dev/null; then
    read -r openpyxl_s openpyxl_cpu <<<"$($py - "$file" <<'PYEOF'
import sys, time, openpyxl
start, cpu = time.perf_counter(), time.process_time()
book = openpyxl.load_workbook(sys.argv[1], read_only=True)
rows = [["" if v is None else str(v) for v in row] for row in book.worksheets[0].iter_rows(max_col=14, values_only=True)]
book.close()
print(f"{time.perf_counter() - start:.3f} {time.process_time() - cpu:.3f}")
PYEOF
)"
    ratio=$(awk -v a="$openpyxl_cpu" -v b="$parse_cpu" 'BEGIN { printf "  %.1fx faster than openpyxl (CPU)", a / b }')
    line "parse $rows rows .xlsx (vestral)" "$parse_s" "$parse_cpu" "$ratio"
    line "parse $rows rows .xlsx (openpyxl read-only)" "$openpyxl_s" "$openpyxl_cpu"
else
    line "parse $rows rows .xlsx (vestral)" "$parse_s" "$parse_cpu"
    echo "planilhas openpyxl: skipped (python3-openpyxl missing)"
fi
