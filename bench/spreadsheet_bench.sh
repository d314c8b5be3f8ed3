#!/usr/bin/env bash
# Spreadsheet benchmark: ROWS contacts (default 100000) × 14 text columns.
#   - export to .xlsx with the system's writer (libxlsxwriter)     bench/spreadsheet_bench, -DVESTRAL_BENCH=ON
#   - parse that .xlsx into rows with the system's reader (libzip + QXmlStreamReader)
#   - openpyxl in read-only mode reading the same file into rows   /usr/bin/python3, python3-openpyxl
# Prints one line per figure; the parse line gives its ratio to openpyxl.
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
export_s=$(awk '/^export/ {print $2}' "$work/out")
parse_s=$(awk '/^parse/ {print $2}' "$work/out")
printf 'planilhas %-44s %8.3f s\n' "export $rows contacts to .xlsx (vestral)" "$export_s"
if $py -c 'import openpyxl' 2>/dev/null; then
    openpyxl_s=$($py - "$file" <<'PYEOF'
import sys, time, openpyxl
start = time.perf_counter()
book = openpyxl.load_workbook(sys.argv[1], read_only=True)
rows = [["" if v is None else str(v) for v in row] for row in book.worksheets[0].iter_rows(max_col=14, values_only=True)]
book.close()
print(f"{time.perf_counter() - start:.3f}")
PYEOF
)
    awk -v n="parse $rows rows .xlsx (vestral)" -v s="$parse_s" -v b="$openpyxl_s" \
        'BEGIN { printf "planilhas %-44s %8.3f s  %5.1fx faster than openpyxl\n", n, s, b / s }'
    printf 'planilhas %-44s %8.3f s\n' "parse $rows rows .xlsx (openpyxl read-only)" "$openpyxl_s"
else
    printf 'planilhas %-44s %8.3f s\n' "parse $rows rows .xlsx (vestral)" "$parse_s"
    echo "planilhas openpyxl: skipped (python3-openpyxl missing)"
fi
