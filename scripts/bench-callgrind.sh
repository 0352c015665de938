#!/usr/bin/env bash
# Instructions per document under callgrind, ours beside the peer on every
# input of the bench-data folder, with the ratio against each target; then the
# whole-plugin paths and peak live bytes against their budgets.
#
#   scripts/bench-callgrind.sh [all|json|msgpack|yaml|record|plugin|memory]...
#
# Environment: HPK_BENCH_BUILD (build folder, default build/bench-callgrind),
# HPK_BENCH_DATA (default ../shared/bench-data beside the repository).
# Exits 1 when any figure misses its target (and, for a reader, is more than
# 5% over its floor) or its budget, 2 on a failed run.
set -euo pipefail

# shellcheck source=scripts/bench-env.sh
. "$(dirname "$0")/bench-env.sh"
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

bench_driver
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

# One table of ratios: TITLE EXTENSION OURS PEER TARGET [FILES...]. With
# ADJUST=1 (MessagePack) the target is held against the peer plus the cost of
# hashing every byte of string payload once (FNV-1a, 3 instructions a byte),
# which interning every text needs and a reader that points into its input
# does not; the plain ratio is shown beside it. With FLOOR=CASE each row also
# shows its floor, what the value model asks at the least on top of the peer
# (bench/peer_floors.h): CASE's count, or with WALKED=CASE2 the peer plus CASE
# less CASE2 (the peer's tree interned, less its bare walk). A row is ok when
# it meets its target or, failing that, when it is within 5% of its floor; the
# ok column says which.
ratio_table() {
    local title=$1 ext=$2 ours=$3 peer=$4 target=$5
    shift 5
    local files=("$@")
    if [ ${#files[@]} -eq 0 ]; then
        for f in "$data"/*."$ext"; do files+=("$f"); done
    fi
    local adjust=${ADJUST:-0} floor_case=${FLOOR:-} walked_case=${WALKED:-}
    local heads=(document ours peer) against=$peer
    [ "$adjust" = 1 ] && { heads+=(strings); against="$peer + 3 x string bytes"; }
    heads+=(ratio)
    [ "$adjust" = 1 ] && heads+=(adjusted)
    [ -n "$floor_case" ] && heads+=(floor /floor)
    heads+=(ok)
    echo
    local rule="at most ${target}x"
    if [ -n "$floor_case" ]; then
        rule+=", else at most 1.05x the floor ($floor_case"
        [ -n "$walked_case" ] && rule+=" + $peer - $walked_case"
        rule+=")"
    fi
    echo "$title: $ours vs $against (target: $rule)"
    table_row "${heads[@]}"
    table_row "${heads[@]/*/-}"
    local f n a b r held ok strings floor over cells
    for f in "${files[@]}"; do
        n=$(iterations_for "$f")
        a=$(count "$ours" "$f" "$n")
        b=$(count "$peer" "$f" "$n")
        r=$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", a / b }')
        cells=("$(basename "$f")" "$a" "$b")
        held=$r
        if [ "$adjust" = 1 ]; then
            strings=$("$driver" string-bytes "$f")
            held=$(awk -v a="$a" -v b="$b" -v s="$strings" 'BEGIN { printf "%.2f", a / (b + 3 * s) }')
            cells+=("$strings" "${r}x" "${held}x")
        else
            cells+=("${r}x")
        fi
        ok=$(awk -v r="$held" -v t="$target" 'BEGIN { print (r <= t) ? "target" : "NO" }')
        if [ -n "$floor_case" ]; then
            floor=$(count "$floor_case" "$f" "$n")
            if [ -n "$walked_case" ]; then
                floor=$((b + floor - $(count "$walked_case" "$f" "$n")))
            fi
            over=$(awk -v a="$a" -v f="$floor" 'BEGIN { printf "%.2f", a / f }')
            cells+=("$floor" "${over}x")
            # Held as shown, to two places, as the ratio is against its target.
            if [ "$ok" = NO ]; then ok=$(awk -v r="$over" 'BEGIN { print (r <= 1.05) ? "floor" : "NO" }'); fi
        fi
        cells+=("$ok")
        table_row "${cells[@]}"
        [ "$ok" != NO ] || missed=1
    done
}

# One row of a ratio table: the document's name, then numbers, then ok. A
# cell of "-" is drawn as the rule under the heading.
table_row() {
    local cells=("$@") last=$(($# - 1)) i line="|"
    for i in "${!cells[@]}"; do
        local width=12 align=""
        [ "$i" -eq 0 ] && { width=29; align=-; }
        [ "$i" -eq "$last" ] && { width=6; align=-; }
        if [ "${cells[$i]}" = - ]; then
            line+=$(printf -- '-%.0s' $(seq 1 $((width + 2))))"|"
        else
            line+=$(printf " %${align}${width}s |" "${cells[$i]}")
        fi
    done
    echo "$line"
}

budget_row() {
    local what=$1 value=$2 budget=$3 ok=yes
    [ "$value" -le "$budget" ] || { ok=NO; missed=1; }
    printf '| %-44s | %12s | %12s | %-4s |\n' "$what" "$value" "$budget" "$ok"
}

wanted json && FLOOR=json/rapidjson-interned WALKED=json/rapidjson-walked \
    ratio_table JSON json json/ours json/rapidjson "$json_target"
wanted msgpack && ADJUST=1 FLOOR=msgpack/msgpack-cxx-interned WALKED=msgpack/msgpack-cxx-walked \
    ratio_table MessagePack msgpack msgpack/ours msgpack/msgpack-cxx "$msgpack_target"
if wanted yaml; then
    FLOOR=yaml/libyaml-interned ratio_table YAML yaml yaml/ours yaml/libyaml-events "$yaml_target"
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
