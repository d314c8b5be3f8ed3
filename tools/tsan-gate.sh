#!/usr/bin/env bash
# The engine's threaded tests (sms, modem, store) under ThreadSanitizer. Qt is not instrumented, so
# the run ignores memory accesses made inside uninstrumented libraries (ignore_noninstrumented_modules)
# and tools/tsan.supp would name reports that lie wholly inside Qt (none today); any other report fails
# the test that made it (ThreadSanitizer's exit code 66). Two things keep Qt's own synchronisation,
# which the sanitizer cannot see, out of the reports: calls handed to another thread go through
# runOnOwnerThread (store/OwnerThread.h), and the test programs start QProcess children as plain forks
# (tests/common/TsanCloneFork.cpp).
# Usage: tools/tsan-gate.sh            (tools/ci-gates.sh runs it too, unless VESTRAL_TSAN=0)
# VESTRAL_TSAN_BUILD_DIR sets the build folder (build/tsan), VESTRAL_JOBS the parallel jobs (nproc).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VESTRAL_TSAN_BUILD_DIR:-build/tsan}
jobs=${VESTRAL_JOBS:-$(nproc)}
launcher=()
if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
targets=(sms_tests modem_tests store_tests)
echo "== ThreadSanitizer: ${targets[*]}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESTRAL_WERROR=ON -DVESTRAL_TESTS=ON \
      -DVESTRAL_SANITIZE=thread "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$jobs" --target "${targets[@]}"
export TSAN_OPTIONS="suppressions=$PWD/tools/tsan.supp ignore_noninstrumented_modules=1 halt_on_error=0 \
second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
labels=$(IFS='|'; echo "^(${targets[*]})\$")
ctest --test-dir "$build" --output-on-failure -j "$jobs" -L "$labels" "$@"
