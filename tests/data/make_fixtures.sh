#!/usr/bin/env bash
# Makes the spreadsheet fixtures of the contacts tests from the CSV sources beside this script,
# with LibreOffice Calc (not needed to run the tests: the generated files are committed).
#   contatos.csv  -> contatos_num.xls/.xlsx  (phone column read as a number: tests the digits rule)
#                 -> contatos_texto.xls/.xlsx (phone column kept as text)
# CSV filter options: comma, '"', UTF-8, from line 1, column formats, Portuguese (Brazil) locale,
# quoted fields as text = false, detect special numbers (dates, times) = true, … evaluate formulas = true.
set -euo pipefail
cd "$(dirname "$0")"
command -v soffice >/dev/null || { echo "soffice not found: apt-get install -y libreoffice-calc" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert() { # source, column formats, output base name
    cp "$1" "$work/$3.csv"
    for ext in xls xlsx; do
        soffice --headless -env:UserInstallation=file://"$work"/profile --convert-to "$ext" \
            --infilter="CSV:44,34,76,1,$2,1046,false,true,false,false,false,-1,true" \
            --outdir "$work" "$work/$3.csv" >/dev/null 2>&1
        cp "$work/$3.$ext" "./$3.$ext"
    done
}
convert contatos.csv "1/2/2/1/3/2" contatos_num
convert contatos.csv "1/2/2/2/3/2" contatos_texto
ls -l contatos_num.* contatos_texto.*
