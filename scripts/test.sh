#!/usr/bin/env bash
# Builds both targets and runs every test: the Linux tests natively, the same
# tests built for Windows under Wine. Exits non-zero on any failure.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/setup.sh
bash scripts/fetch-libyaml-source.sh

source scripts/wine-env.sh
# One Wine server for every Windows program of the run (see wine-env.sh).
wine_start_server || { echo "test: could not start the Wine server" >&2; exit 1; }
trap wine_stop_server EXIT

presets=(x86-linux x86-windows)
if [ "${HPK_SKIP_ASAN:-0}" != 1 ]; then presets+=(x86-linux-asan x86-linux-fuzz); fi

for preset in "${presets[@]}"; do
    echo "== build $preset"
    # A tree configured before its toolchain file changed keeps the old
    # compiler in its cache: configure such a tree afresh.
    fresh=()
    cache="build/$preset/CMakeCache.txt"
    if [ -f "$cache" ] && [ -n "$(find cmake -name 'toolchain-*.cmake' -newer "$cache")" ]; then fresh=(--fresh); fi
    cmake --preset "$preset" "${fresh[@]}" >/dev/null
    status=0
    cmake --build "build/$preset" -- -j2 2>&1 | { grep -vE '^\[[0-9]+/[0-9]+\] ' || true; } || status=$?
    if [ "$status" -ne 0 ]; then echo "test: the $preset build failed" >&2; exit 1; fi
done

summary=()
failed=0
for preset in "${presets[@]}"; do
    echo "== test $preset"
    log="build/$preset/ctest.log"
    if ctest --test-dir "build/$preset" -j2 --output-on-failure >"$log" 2>&1; then
        tail -n 3 "$log"
    else
        cat "$log"
        failed=1
    fi
    summary+=("$preset: $(grep -E 'tests passed|tests failed' "$log" | tail -n 1)")
    # A skip passes ctest: name each one with its reason, from googletest's
    # lines (tests/test_main.cpp) and from the tests ctest did not run.
    while IFS= read -r line; do summary+=("$preset: skipped $line"); done < <(
        { sed -n 's/^\[  SKIPPED \] \(.*: .*\)$/\1/p' "build/$preset/Testing/Temporary/LastTest.log" 2>/dev/null
          sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (\(Skipped\|Disabled\))$/\1: \2 (ctest)/p' "$log"; } | tr -d '\r')
done

echo "== summary"
printf '%s\n' "${summary[@]}"
exit $failed
