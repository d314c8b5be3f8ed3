#!/usr/bin/env bash
# Builds VESTRAL SMS with -Werror and runs every test with CTest. Installs what is missing first.
# VESTRAL_SANITIZE=1 ./test.sh builds and runs the same suite under ASan + UBSan.
set -euo pipefail
cd "$(dirname "$0")"
tools/deps.sh test
build=${VESTRAL_BUILD_DIR:-build/test}
san=OFF
if [ "${VESTRAL_SANITIZE:-0}" = 1 ]; then san=ON; build=${VESTRAL_BUILD_DIR:-build/asan}; fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESTRAL_WERROR=ON -DVESTRAL_TESTS=ON \
      -DVESTRAL_SANITIZE=$san
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
