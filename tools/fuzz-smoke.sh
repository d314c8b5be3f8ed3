#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build (cmake -DVESTRAL_FUZZ=ON with clang) for SECONDS each,
# starting from its seed corpus, two at a time. Fails when a target crashes, leaks or hangs;
# the input that did it is left in BUILD/fuzz-artifacts/.
# Usage: tools/fuzz-smoke.sh BUILD [SECONDS]
set -euo pipefail
build=$1
seconds=${2:-60}
shopt -s nullglob
lists=("$build"/fuzz-targets/*.txt)
if [ ${#lists[@]} -eq 0 ]; then
    echo "nenhum alvo de fuzzing em $build" >&2
    exit 1
fi
mkdir -p "$build/fuzz-artifacts" "$build/fuzz-logs"
run_one() {
    local exe corpus name work
    read -r exe corpus <"$1"
    name=$(basename "$exe")
    work=$(mktemp -d)
    local seeds=()
    [ -d "$corpus" ] && seeds=("$corpus")
    if "$exe" -max_total_time="$2" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$3/fuzz-artifacts/$name-" "$work" "${seeds[@]}" >"$3/fuzz-logs/$name.log" 2>&1; then
        echo "$name: $(grep -E '^stat::number_of_executed_units' "$3/fuzz-logs/$name.log" | awk '{print $2}') execuções, sem falha"
        rm -rf "$work"
    else
        echo "$name: FALHOU (veja $3/fuzz-logs/$name.log)"
        tail -n 30 "$3/fuzz-logs/$name.log"
        rm -rf "$work"
        return 1
    fi
}
export -f run_one
printf '%s\n' "${lists[@]}" | xargs -P 2 -I{} bash -c 'run_one "$@"' _ {} "$seconds" "$build"
