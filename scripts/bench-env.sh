# shellcheck shell=bash disable=SC2034
# Set-up shared by the bench scripts, sourced after `set -euo pipefail`:
# `top`, `build` (HPK_BENCH_BUILD, default build/bench-callgrind), `data`
# (HPK_BENCH_DATA, default ../shared/bench-data beside the repository), a
# `work` folder removed on exit, and bench_driver, which builds the
# callgrind driver of the release preset and sets `driver` to it.

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${HPK_BENCH_BUILD:-$top/build/bench-callgrind}
data=${HPK_BENCH_DATA:-$top/../shared/bench-data}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

bench_driver() {
    cmake --preset x86-linux-release -B "$build" >/dev/null
    cmake --build "$build" --target hpk-callgrind-driver -- -j2 >/dev/null
    driver=$build/hpk-callgrind-driver
}
