#!/usr/bin/env bash
# The gates that ./test.sh runs after the suite: the engine's tests under AddressSanitizer +
# UndefinedBehaviorSanitizer, and a smoke run of every fuzz target (instrumented code, seed corpus).
# VESTRAL_FUZZ_SECONDS sets the run of each target (60). The sms, modem and store tests also run under
# ThreadSanitizer (tools/tsan-gate.sh); VESTRAL_TSAN=0 leaves that run out.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
launcher=()
if command -v ccache >/dev/null; then
    # Paths inside the tree hashed relative to it, so a fresh clone anywhere reuses earlier builds.
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# The printed report lays out alike whatever fonts the machine has: its tests again under a font
# configuration that offers one family only (URW base 35, Liberation, DejaVu); the report still finds the
# Liberation files it names.
build=${VESTRAL_BUILD_DIR:-build/test}
cmake --build "$build" -j "$jobs" --target history_tests
fontdirs=(/usr/share/fonts/opentype/urw-base35 /usr/share/fonts/truetype/liberation2 /usr/share/fonts/truetype/dejavu)
fcdir=$(mktemp -d)
trap 'rm -rf "$fcdir"' EXIT
for dir in "${fontdirs[@]}"; do
    if [ ! -d "$dir" ]; then
        echo "pasta de fontes ausente: $dir (tools/deps.sh test)" >&2
        [ "${CI:-}" = true ] && exit 1
        continue
    fi
    echo "== relatório com as fontes de $dir apenas"
    printf '<?xml version="1.0"?>\n<fontconfig><dir>%s</dir><cachedir>%s/cache</cachedir></fontconfig>\n' \
        "$dir" "$fcdir" >"$fcdir/fonts.conf"
    FONTCONFIG_FILE="$fcdir/fonts.conf" QT_QPA_PLATFORM=offscreen \
        "$build/tests/history/history_tests" --gtest_filter='HistoryReport*' --gtest_brief=1
done

# The engine under ASan + UBSan: store, modem, SMS, PDU mode, delivery reports, campaign, mail,
# spreadsheets, the history and its report, and the command line (run as child processes).
engine=(store_tests modem_tests sms_tests pdu_tests delivery_tests campaign_tests mail_tests contacts_tests
        history_tests app_tests sms_cli_tests)
asan=${VESTRAL_ASAN_BUILD_DIR:-build/asan}
echo "== ASan + UBSan: ${engine[*]}"
cmake -S . -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
      -DVESTRAL_WERROR=ON -DVESTRAL_TESTS=ON -DVESTRAL_SANITIZE=address "${launcher[@]}" >/dev/null
cmake --build "$asan" -j "$jobs" --target "${engine[@]}" vestral-sms vestral-modemsim
labels=$(IFS='|'; echo "^(${engine[*]})\$")
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} \
    ctest --test-dir "$asan" --output-on-failure -j "$jobs" -L "$labels"

# The sms, modem and store tests under ThreadSanitizer: about 2.5 minutes from a warm build on two
# cores (its cold build is the long part, and ccache keeps it across clones).
if [ "${VESTRAL_TSAN:-1}" != 0 ]; then
    VESTRAL_JOBS=$jobs tools/tsan-gate.sh
fi

# Every fuzz target, built with clang and libFuzzer, the code under test instrumented.
if ! command -v clang++ >/dev/null; then
    echo "clang++ não encontrado: os alvos de fuzzing não foram construídos" >&2
    [ "${CI:-}" = true ] && exit 1
    exit 0
fi
fuzz=${VESTRAL_FUZZ_BUILD_DIR:-build/fuzz}
echo "== fuzzing: ${VESTRAL_FUZZ_SECONDS:-60} s por alvo"
cmake -S . -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DVESTRAL_FUZZ=ON -DVESTRAL_TESTS=ON "${launcher[@]}" >/dev/null
mapfile -t targets < <(find "$fuzz/fuzz-targets" -name 'fuzz_*.txt' -printf '%f\n' | sed 's/\.txt$//' | sort)
cmake --build "$fuzz" -j "$jobs" --target "${targets[@]}"
tools/fuzz-smoke.sh "$fuzz" "${VESTRAL_FUZZ_SECONDS:-60}"
