#!/usr/bin/env bash
# Instructions per document under callgrind, ours beside the peer on every
# input of the bench-data folder, with the ratio against each target; then the
# whole-plugin paths and peak live bytes against their budgets.
#
#   scripts/bench-callgrind.sh [all|json|msgpack|yaml|record|plugin|memory]...
#
# Environment: HPK_BENCH_BUILD (build folder, default build/bench-callgrind),
# HPK_BENCH_DATA (default ../shared/bench-data beside the repository).
# Exits 1 when any figure misses its target or budget, 2 on a failed run.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build=${HPK_BENCH_BUILD:-$top/build/bench-callgrind}
data=${HPK_BENCH_DATA:-$top/../shared/bench-data}
sections=("$@")
[ ${#sections[@]} -eq 0 ] && sections=(all)

# Targets (ours / peer) and budgets (instructions or bytes). The budgets come
# from bench/README.md, where each is explained.
json_target=1.0
msgpack_target=1.0  # against the peer plus 3 instructions per byte of string payload
yaml_target=1.1
record_target=0.5
budget_plugin_get=32000
budget_plugin_update=270000
budget_plugin_load=1700000
budget_peak_init=24000
budget_peak_events=32000

wanted() {
    local s
    for s in "${sections[@]}"; do
        [ "$s" = all ] || [ "$s" = "$1" ] && return 0
    done
    return 1
}

cmake --preset x86-linux-release -B "$build" >/dev/null
cmake --build "$build" --target hpk-callgrind-driver -- -j2 >/dev/null
driver=$build/hpk-callgrind-driver
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
missed=0

# Iterations: enough that one document's count dominates, few enough that the
# large corpora stay quick under callgrind's slowdown.
iterations_for() {
    local size
    size=$(stat -c %s "$1")
    if [ "$size" -gt 100000 ]; then echo 2; else echo 20; fi
}

# Instructions per iteration of CASE on FILE.
count() {
    local case=$1 file=$2 n=$3 out
    out=$work/callgrind.out
    if ! valgrind --tool=callgrind --collect-atstart=no --toggle-collect=HpkMeasured \
            --callgrind-out-file="$out" "$driver" "$case" "$file" "$n" >"$work/log" 2>&1; then
        echo "bench-callgrind: $case $file failed:" >&2
        cat "$work/log" >&2
        exit 2
    fi
    awk -v n="$n" '/^(summary|totals):/ { total = $2 } END { printf "%.0f\n", total / n }' "$out"
}

# One table of ratios: FORMAT EXTENSION OURS PEER TARGET [FILES...]. With
# ADJUST=1 (MessagePack) the target is held against the peer plus the cost of
# hashing every byte of string payload once (FNV-1a, 3 instructions a byte),
# which interning every text needs and a reader that points into its input
# does not; the plain ratio is shown beside it.
ratio_table() {
    local title=$1 ext=$2 ours=$3 peer=$4 target=$5
    shift 5
    local files=("$@")
    if [ ${#files[@]} -eq 0 ]; then
        for f in "$data"/*."$ext"; do files+=("$f"); done
    fi
    echo
    if [ "${ADJUST:-0}" = 1 ]; then
        echo "$title: $ours vs $peer + 3 x string bytes (target: at most ${target}x)"
        printf '| %-29s | %12s | %12s | %9s | %6s | %8s | %-4s |\n' document ours peer strings plain adjusted ok
        printf '|%s|%s|%s|%s|%s|%s|%s|\n' "-------------------------------" "--------------" "--------------" \
            "-----------" "--------" "----------" "------"
    else
        echo "$title: $ours vs $peer (target: at most ${target}x)"
        printf '| %-29s | %12s | %12s | %6s | %-4s |\n' document ours peer ratio ok
        printf '|%s|%s|%s|%s|%s|\n' "-------------------------------" "--------------" "--------------" "--------" "------"
    fi
    local f n a b r ok strings adjusted
    for f in "${files[@]}"; do
        n=$(iterations_for "$f")
        a=$(count "$ours" "$f" "$n")
        b=$(count "$peer" "$f" "$n")
        r=$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", a / b }')
        if [ "${ADJUST:-0}" = 1 ]; then
            strings=$("$driver" string-bytes "$f")
            adjusted=$(awk -v a="$a" -v b="$b" -v s="$strings" 'BEGIN { printf "%.2f", a / (b + 3 * s) }')
            ok=$(awk -v r="$adjusted" -v t="$target" 'BEGIN { print (r <= t) ? "yes" : "NO" }')
            printf '| %-29s | %12s | %12s | %9s | %5sx | %7sx | %-4s |\n' "$(basename "$f")" "$a" "$b" "$strings" "$r" \
                "$adjusted" "$ok"
        else
            ok=$(awk -v r="$r" -v t="$target" 'BEGIN { print (r <= t) ? "yes" : "NO" }')
            printf '| %-29s | %12s | %12s | %5sx | %-4s |\n' "$(basename "$f")" "$a" "$b" "$r" "$ok"
        fi
        [ "$ok" = yes ] || missed=1
    done
}

budget_row() {
    local what=$1 value=$2 budget=$3 ok=yes
    [ "$value" -le "$budget" ] || { ok=NO; missed=1; }
    printf '| %-44s | %12s | %12s | %-4s |\n' "$what" "$value" "$budget" "$ok"
}

wanted json && ratio_table JSON json json/ours json/rapidjson "$json_target"
wanted msgpack && ADJUST=1 ratio_table MessagePack msgpack msgpack/ours msgpack/msgpack-cxx "$msgpack_target"
if wanted yaml; then
    ratio_table YAML yaml yaml/ours yaml/libyaml-events "$yaml_target"
    echo "(shown only: yaml-cpp YAML::Load)"
    for f in "$data"/*.yaml; do
        printf '  %-26s %14s\n' "$(basename "$f")" "$(count yaml/yaml-cpp "$f" "$(iterations_for "$f")")"
    done
fi
wanted record && ratio_table "JSON into a record" json record/ours record/nlohmann "$record_target" \
    "$data/small-platform-config.json" "$data/small-champion-games.json"

if wanted plugin; then
    echo
    echo "Plugin paths (instructions per operation)"
    printf '| %-44s | %12s | %12s | %-4s |\n' path instructions budget ok
    printf '|%s|%s|%s|%s|\n' "----------------------------------------------" "--------------" "--------------" "------"
    budget_row "served GET of the filters" "$(count plugin/get - 50)" "$budget_plugin_get"
    budget_row "PlatformConfig update to both publications" "$(count plugin/update - 20)" "$budget_plugin_update"
    budget_row "load + init + shutdown, every input present" "$(count plugin/load - 5)" "$budget_plugin_load"
fi

if wanted memory; then
    echo
    echo "Peak live bytes (the plugin's memory counters)"
    printf '| %-44s | %12s | %12s | %-4s |\n' moment bytes budget ok
    printf '|%s|%s|%s|%s|\n' "----------------------------------------------" "--------------" "--------------" "------"
    "$driver" memory 1000 >"$work/memory" || exit 2
    budget_row "after init, every input present" "$(awk '/^peak-after-init/ { print $2 }' "$work/memory")" \
        "$budget_peak_init"
    budget_row "after 1,000 PlatformConfig updates" "$(awk '/^peak-after-events/ { print $2 }' "$work/memory")" \
        "$budget_peak_events"
fi

if [ "$missed" -ne 0 ]; then
    echo
    echo "bench-callgrind: some figures miss their target or budget"
fi
exit "$missed"
