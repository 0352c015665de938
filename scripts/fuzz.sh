#!/usr/bin/env bash
# A fuzzing campaign: builds the fuzz targets and runs each for SECONDS
# (default 600) on its corpus, keeping new inputs in build/fuzz-corpus/.
# Crashes, leaks and hangs (over 30 s) are written to build/fuzz-findings/;
# copy each into fuzz/corpus/<target>/ so the replay tests keep it.
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]     e.g. bash scripts/fuzz.sh 60 json yaml
# HPK_FUZZ_BUILD names the build folder (default build/x86-linux-fuzz).
# Targets run one after another; the last line per target gives its run time,
# executions and findings.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
seconds=${1:-600}
shift || true
build=${HPK_FUZZ_BUILD:-build/x86-linux-fuzz}
bash scripts/setup.sh
cmake --preset x86-linux-fuzz -B "$build" >/dev/null
cmake --build "$build" -- -j2 >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for exe in "$build"/fuzz/hpk-fuzz-* "$build"/hpk-fuzz-*; do
        [ -x "$exe" ] && targets+=("${exe##*/hpk-fuzz-}")
    done
fi
export UBSAN_OPTIONS="suppressions=$top/cmake/ubsan.supp:print_stacktrace=1:halt_on_error=1"
mkdir -p build/fuzz-findings
for t in "${targets[@]}"; do
    exe=""
    for candidate in "$build"/hpk-fuzz-"$t" "$build"/fuzz/hpk-fuzz-"$t"; do
        [ -x "$candidate" ] && exe=$candidate && break
    done
    if [ -z "$exe" ]; then
        echo "fuzz.sh: no target '$t' in $build" >&2
        exit 1
    fi
    work="build/fuzz-corpus/$t"
    log="build/fuzz-findings/$t.log"
    mkdir -p "$work"
    echo "== fuzz $t for ${seconds}s"
    start=$(date +%s)
    marker=$(mktemp)
    "$exe" -max_total_time="$seconds" -timeout=30 -artifact_prefix="build/fuzz-findings/$t-" \
        -print_final_stats=1 "$work" "fuzz/corpus/$t" >"$log" 2>&1 || true
    grep -E '^(==.*ERROR|SUMMARY|.*runtime error)' "$log" | head -n 5 || true
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    findings=$(find build/fuzz-findings -maxdepth 1 -name "$t-*" -newer "$marker" | wc -l)
    rm -f "$marker"
    echo "$t: $(( $(date +%s) - start ))s, ${runs:-0} executions, $findings findings (log: $log)"
done
