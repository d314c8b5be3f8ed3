#!/usr/bin/env bash
# Installing as a Debian desktop program.
#   packaging_test.sh install BUILD_DIR VERSION   cmake --install into a DESTDIR: files, .desktop and
#                                                 metainfo validation, man page against --help, data folder
#   packaging_test.sh deb BUILD_DIR VERSION       cpack -G DEB, inspected with dpkg-deb -I/-c
# Exit 77 = skipped (only outside CI, when a tool is missing).
set -euo pipefail
mode=$1 build=$2 version=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FALHA: $*" >&2; exit 1; }
need() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null && continue
        [ "${CI:-}" = true ] && fail "$tool não está instalado (tools/deps.sh test)"
        echo "$tool não está instalado: teste pulado"; exit 77
    done
}
png_size() { # width x height from the PNG header
    od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'
}

installed_files=(
    bin/vestral-sms bin/vestral-modemsim
    share/applications/br.com.vestral.sms.desktop
    share/metainfo/br.com.vestral.sms.metainfo.xml
    share/icons/hicolor/scalable/apps/vestral-sms.svg
    share/icons/hicolor/48x48/apps/vestral-sms.png
    share/icons/hicolor/128x128/apps/vestral-sms.png
    share/man/man1/vestral-sms.1
    "share/doc/vestral-sms/Manual_Configuração_Modem_VESTRAL_SMS.pdf"
)

check_install() {
    need desktop-file-validate appstreamcli
    DESTDIR="$tmp/root" cmake --install "$build" --prefix /usr >/dev/null
    local r="$tmp/root/usr"
    for f in "${installed_files[@]}"; do
        [ -s "$r/$f" ] || fail "não instalado: $f"
    done
    [ -x "$r/bin/vestral-sms" ] && [ -x "$r/bin/vestral-modemsim" ] || fail "executáveis sem permissão de execução"
    [ "$(png_size "$r/share/icons/hicolor/48x48/apps/vestral-sms.png")" = 48x48 ] || fail "ícone de 48 px"
    [ "$(png_size "$r/share/icons/hicolor/128x128/apps/vestral-sms.png")" = 128x128 ] || fail "ícone de 128 px"
    head -c 5 "$r/share/doc/vestral-sms/Manual_Configuração_Modem_VESTRAL_SMS.pdf" | grep -q '%PDF-' || fail "manual"
    desktop-file-validate "$r/share/applications/br.com.vestral.sms.desktop" || fail "desktop-file-validate"
    grep -qx 'Categories=Office;Network;' "$r/share/applications/br.com.vestral.sms.desktop" || fail "categorias"
    appstreamcli validate --no-net "$r/share/metainfo/br.com.vestral.sms.metainfo.xml" || fail "appstreamcli"
    grep -q "release version=\"$version\"" "$r/share/metainfo/br.com.vestral.sms.metainfo.xml" || fail "versão"

    # Every command of --help, with its text, is in the man page.
    local page help commands=0
    page=$(sed -e 's/\\-/-/g' -e 's/\\e/\\/g' "$r/share/man/man1/vestral-sms.1")
    help=$(QT_QPA_PLATFORM=offscreen "$r/bin/vestral-sms" --help)
    while IFS= read -r line; do
        [[ $line =~ ^\ \ (--[a-z-]+)\ +(.*)$ ]] || continue
        commands=$((commands + 1))
        grep -qxF ".B ${BASH_REMATCH[1]}" <<<"$page" || fail "man page sem ${BASH_REMATCH[1]}"
        grep -qxF "${BASH_REMATCH[2]}" <<<"$page" || fail "man page sem o texto de ${BASH_REMATCH[1]}"
    done <<<"$help"
    [ "$commands" -ge 10 ] || fail "--help listou $commands comandos"
    [ "$(grep -c '^\.B --' <<<"$page")" -eq "$commands" ] || fail "man page com comandos que --help não tem"

    # The installed program keeps its data in the user's folder, not beside itself (also as root).
    mkdir -p "$tmp/home"
    (cd "$tmp" && env -u XDG_DATA_HOME HOME="$tmp/home" QT_QPA_PLATFORM=offscreen "$r/bin/vestral-sms" --init-db) \
        >/dev/null || fail "--init-db do programa instalado"
    [ -f "$tmp/home/.local/share/vestral-sms/BDSMS.db" ] || fail "BDSMS.db fora de ~/.local/share/vestral-sms"
    [ ! -e "$r/bin/BDSMS.db" ] || fail "BDSMS.db gravado na pasta do executável"
    [ "$(QT_QPA_PLATFORM=offscreen "$r/bin/vestral-sms" --version)" = "VESTRAL SMS V.$version" ] || fail "--version"
    echo "instalação conferida: ${#installed_files[@]} arquivos, $commands comandos na man page"
}

check_deb() {
    need cpack dpkg-deb dpkg-shlibdeps
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1 ||
        { cat "$tmp/cpack.log" >&2; fail "cpack -G DEB"; }
    local deb="$tmp/pkg/vestral-sms_${version}_amd64.deb"
    [ -f "$deb" ] || { ls "$tmp/pkg" >&2; fail "pacote vestral-sms_${version}_amd64.deb não foi gerado"; }
    local info contents
    info=$(dpkg-deb -I "$deb")
    contents=$(dpkg-deb -c "$deb")
    grep -q '^ Package: vestral-sms$' <<<"$info" || fail "Package"
    grep -q "^ Version: $version\$" <<<"$info" || fail "Version"
    grep -q '^ Architecture: amd64$' <<<"$info" || fail "Architecture"
    local depends
    depends=$(grep '^ Depends:' <<<"$info") || fail "sem Depends"
    for dep in libqt6widgets6 libqt6serialport6 libqt6sql6 libqt6network6 qt6-qpa-plugins libqt6sql6-sqlite libqt6sql6-psql \
               libqt6sql6-odbc qt6-translations-l10n fonts-liberation2; do
        grep -q "\b$dep\b" <<<"$depends" || fail "Depends sem $dep: $depends"
    done
    for f in "${installed_files[@]}"; do
        grep -qF "./usr/$f" <<<"$contents" || fail "pacote sem /usr/$f"
    done
    echo "pacote conferido: $(basename "$deb")"
}

case $mode in
install) check_install ;;
deb) check_deb ;;
*) fail "modo desconhecido: $mode" ;;
esac
