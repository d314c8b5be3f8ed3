#!/usr/bin/env bash
# Installs the Debian packages that building ("build"), or building and testing ("test"), needs.
# Only packages that are missing are asked for; apt-get runs as root or through sudo.
set -euo pipefail
mode=${1:-build}
pkgs=(cmake g++ ninja-build pkg-config qt6-base-dev qt6-serialport-dev libqt6sql6-sqlite libqt6sql6-odbc libqt6sql6-psql
      unixodbc-dev libsqlite3-dev libssl-dev libzip-dev libexpat1-dev libxlsxwriter-dev qt6-webengine-dev
      libqt6svg6 fonts-dejavu-core fonts-liberation2 qt6-translations-l10n ccache libphonenumber-dev libpq-dev)
if [ "$mode" = test ]; then
    pkgs+=(googletest libgtest-dev libgmock-dev libbenchmark-dev python3 python3-aiosmtpd libsqliteodbc
           odbcinst odbc-postgresql postgresql xvfb xauth poppler-utils openssl python3-openpyxl python3-xlrd
           clang-format clang libclang-rt-14-dev libreoffice-calc-nogui desktop-file-utils appstream dpkg-dev
           fonts-urw-base35)
fi
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Instalando pacotes: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
