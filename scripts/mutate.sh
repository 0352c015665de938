#!/usr/bin/env bash
# Planted faults: proof that `hpk-host explore` catches real faults in the
# content targeting feature. Copies the tracked files of the working tree into
# a scratch folder, plants each fault of scripts/mutate_faults.py there in
# turn, builds only the library (release), and explores it with the host of
# build/x86-linux-release until an invariant breaks or SESSIONS have passed.
# Prints a line per fault and a table (fault, caught by, sessions, shrunk
# size); exits 1 when any fault goes uncaught. Not part of the test command.
#   bash scripts/mutate.sh [--sessions N] [--seed N] [FAULT...]
# HPK_MUTATE_DIR names the scratch folder (default build/mutate).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
sessions=20000
seed=7
while [ $# -gt 0 ]; do
    case "$1" in
        --sessions) sessions=$2; shift 2 ;;
        --seed) seed=$2; shift 2 ;;
        *) break ;;
    esac
done
scratch=${HPK_MUTATE_DIR:-$top/build/mutate}
case "$scratch" in /*) ;; *) scratch=$top/$scratch ;; esac
start=$(date +%s)

bash scripts/setup.sh
cmake --preset x86-linux-release >/dev/null
cmake --build build/x86-linux-release --target hpk-host -- -j2 >/dev/null
host=$top/build/x86-linux-release/hpk-host

# The scratch copy: the tracked files as they are now, changes included, in
# a fresh build folder (a fault of an earlier run may still be built there).
rm -rf "$scratch"
mkdir -p "$scratch"
git ls-files -z | tar --null -T - -cf - | tar -xf - -C "$scratch"
(cd "$scratch" && cmake --preset x86-linux-release -DHPK_BUILD_TESTS=OFF -DHPK_BUILD_BENCH=OFF >/dev/null)

status=0
python3 scripts/mutate_faults.py "$top" "$scratch" build/x86-linux-release "$host" "$sessions" "$seed" "$@" || status=$?
echo "mutate.sh: $(( $(date +%s) - start )) s in all"
exit $status
