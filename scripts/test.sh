#!/usr/bin/env bash
# Builds both targets and runs every test: the Linux tests natively, the same
# tests built for Windows under Wine. Exits non-zero on any failure.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/setup.sh
bash scripts/fetch-libyaml-source.sh

source scripts/wine-env.sh

presets=(x86-linux x86-windows)
if [ "${HPK_SKIP_ASAN:-0}" != 1 ]; then presets+=(x86-linux-asan x86-linux-fuzz); fi

for preset in "${presets[@]}"; do
    echo "== build $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build "build/$preset" -- -j2 | grep -vE '^\[[0-9]+/[0-9]+\] ' || true
    test ${PIPESTATUS[0]} -eq 0
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
done

echo "== summary"
printf '%s\n' "${summary[@]}"
exit $failed
