#!/usr/bin/env bash
# Builds VESTRAL SMS with -Werror and runs every test with CTest, then the gates: formatting, the
# engine's tests under ASan + UBSan, and a short run of every fuzz target. Installs what is missing first.
# VESTRAL_SANITIZE=1 ./test.sh builds and runs the whole suite under ASan + UBSan instead (no gates);
# VESTRAL_SANITIZE=thread ./test.sh under ThreadSanitizer. VESTRAL_GATES=0 skips the gates.
set -euo pipefail
cd "$(dirname "$0")"
tools/deps.sh test
tools/check-format.sh
build=${VESTRAL_BUILD_DIR:-build/test}
san=${VESTRAL_SANITIZE:-OFF}
case "$san" in
    1 | ON | on | address) san=address; build=${VESTRAL_BUILD_DIR:-build/asan-all} ;;
    thread) build=${VESTRAL_BUILD_DIR:-build/tsan} ;;
    *) san=OFF ;;
esac
launcher=()
if command -v ccache >/dev/null; then
    # Paths inside the tree hashed relative to it, so a fresh clone anywhere reuses earlier builds.
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESTRAL_WERROR=ON -DVESTRAL_TESTS=ON \
      -DVESTRAL_SANITIZE=$san "${launcher[@]}"
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=0 second_deadlock_stack=1 ignore_noninstrumented_modules=1 suppressions=$PWD/tools/tsan.supp}
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
if [ "$san" = OFF ] && [ "${VESTRAL_GATES:-1}" != 0 ]; then
    tools/ci-gates.sh
fi
