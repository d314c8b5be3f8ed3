#!/usr/bin/env bash
# Fails when a C++ file of the tree is not formatted as .clang-format says.
set -euo pipefail
cd "$(dirname "$0")/.."
if git rev-parse --git-dir >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
    mapfile -t files < <(find src tests tools bench -name '*.cpp' -o -name '*.h')
fi
clang-format --dry-run -Werror "${files[@]}"
echo "formato: ${#files[@]} arquivos conferidos"
