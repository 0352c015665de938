#!/usr/bin/env bash
# System calls per warm parse, ours beside the peer, on every input of 100 KB
# and more of the bench-data folder (strace -f -c of the callgrind driver).
# The difference between a run of 3N parses and a run of 2N, divided by N, is
# what one more parse of the same document costs once the process is warm
# (after 2N parses, the first one's set-up, any growth to the document's size
# and the return of what only the first parse needed are done).
#
#   scripts/bench-syscalls.sh [json|msgpack|yaml]...
#
# Environment: HPK_BENCH_BUILD (build folder, default build/bench-callgrind,
# shared with scripts/bench-callgrind.sh), HPK_BENCH_DRIVER (a driver built
# elsewhere, say of an older commit, measured as it is), HPK_BENCH_DATA
# (default ../shared/bench-data beside the repository).
# Exits 1 when ours makes more system calls per parse than the peer on any
# input, 2 on a failed run.
set -euo pipefail

# shellcheck source=scripts/bench-env.sh
. "$(dirname "$0")/bench-env.sh"
formats=("$@")
[ ${#formats[@]} -eq 0 ] && formats=(json msgpack yaml)
iterations=20
large=100000

command -v strace >/dev/null || { echo "bench-syscalls: strace is missing (scripts/setup.sh installs it)" >&2; exit 2; }

driver=${HPK_BENCH_DRIVER:-}
[ -n "$driver" ] || bench_driver
missed=0

# The summary of CASE on FILE over N measured iterations: "total mmap munmap brk"
# (calls of the whole run; mremap is counted with mmap).
calls() {
    local case=$1 file=$2 n=$3
    # Without address randomisation, so that whether a fresh mapping needs
    # trimming to its alignment (one system call more or less) is the same in
    # every run.
    if ! setarch "$(uname -m)" -R strace -f -c -o "$work/summary" "$driver" "$case" "$file" "$n" >"$work/log" 2>&1; then
        echo "bench-syscalls: $case $file failed:" >&2
        cat "$work/log" >&2
        exit 2
    fi
    # Columns: % time, seconds, usecs/call, calls, [errors,] syscall. A
    # summary per personality (the 64-bit one holds the execve): added up.
    awk '$NF == "total" { total += $4 }
         $NF ~ /^(mmap|mmap2|mremap)$/ { map += $4 }
         $NF == "munmap" { unmap += $4 }
         $NF == "brk" { brk += $4 }
         END { printf "%d %d %d %d\n", total, map, unmap, brk }' "$work/summary"
}

# Calls per parse, one decimal, for each of the four figures of `calls`.
per_parse() {
    local case=$1 file=$2 cold warm
    cold=$(calls "$case" "$file" $((2 * iterations)))
    warm=$(calls "$case" "$file" $((3 * iterations)))
    awk -v c="$cold" -v w="$warm" -v n="$iterations" 'BEGIN {
        split(c, a, " "); split(w, b, " ");
        printf "%.1f %.1f %.1f %.1f\n", (b[1] - a[1]) / n, (b[2] - a[2]) / n, (b[3] - a[3]) / n, (b[4] - a[4]) / n }'
}

declare -A peers=([json]=json/rapidjson [msgpack]=msgpack/msgpack-cxx [yaml]=yaml/libyaml-events)

echo "System calls per warm parse (mean of $iterations, strace -f -c): total (mmap/munmap/brk)"
printf '| %-22s | %-22s | %-22s | %-4s |\n' document ours peer ok
printf '|%s|%s|%s|%s|\n' "------------------------" "------------------------" "------------------------" "------"
for format in "${formats[@]}"; do
    peer=${peers[$format]:-}
    [ -n "$peer" ] || { echo "bench-syscalls: unknown format $format" >&2; exit 2; }
    for f in "$data"/*."$format"; do
        [ "$(stat -c %s "$f")" -ge "$large" ] || continue
        read -r ot om ou ob < <(per_parse "$format/ours" "$f")
        read -r pt pm pu pb < <(per_parse "$peer" "$f")
        ok=$(awk -v a="$ot" -v b="$pt" 'BEGIN { print (a <= b) ? "yes" : "NO" }')
        [ "$ok" = yes ] || missed=1
        printf '| %-22s | %-22s | %-22s | %-4s |\n' "$(basename "$f")" "$ot ($om/$ou/$ob)" "$pt ($pm/$pu/$pb)" "$ok"
    done
done
exit "$missed"
