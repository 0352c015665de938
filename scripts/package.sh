#!/usr/bin/env bash
# Builds the packages of the current commit from a clean clone and writes
#   dist/hpk-be-arx-content-targeting-<version>-win32.zip
#   dist/hpk-be-arx-content-targeting-<version>-linux-i386.tar.gz
# With --verify it then builds the commit again from a second clone in another
# directory and exits 1 unless the two give the same bytes.
# usage: scripts/package.sh [--verify]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

verify=0
case "${1:-}" in
    "") ;;
    --verify) verify=1 ;;
    *) echo "usage: scripts/package.sh [--verify]" >&2; exit 2 ;;
esac

bash scripts/setup.sh
bash scripts/fetch-libyaml-source.sh

name=hpk-be-arx-content-targeting
version=$(head -n 1 VERSION)
commit=$(git rev-parse HEAD)
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "package: uncommitted changes are left out: packaging commit $commit" >&2
fi
# Everything dated in the packages (the PE timestamps, archive entries) is the commit time.
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct "$commit")
export TZ=UTC LC_ALL=C

source "$top/scripts/wine-env.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/hpk-package.XXXXXX")
trap 'rm -rf "$work"; wine_stop_server' EXIT
# One Wine server for every Windows program of the run (see wine-env.sh).
wine_start_server || { echo "package: could not start the Wine server" >&2; exit 1; }

# Fills the named template with the platform's file names.
integration() {
    local library=$1 symbols=$2 symbols_what=$3 host=$4 host_run=$5 howto=$6
    sed -e "s|@VERSION@|$version|g" -e "s|@LIBRARY@|$library|g" -e "s|@SYMBOLS@|$symbols|g" \
        -e "s|@SYMBOLS_WHAT@|$symbols_what|g" -e "s|@HOST@|$host|g" -e "s|@HOST_RUN@|$host_run|g" \
        -e "s|@SYMBOLS_HOWTO@|$howto|g" packaging/INTEGRATION.md
}

# Checksums, fixed dates and modes: a staged directory reads the same on every build.
seal() {
    local dir=$1
    (cd "$dir" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | sort | xargs sha256sum > SHA256SUMS)
    find "$dir" -type d -exec chmod 755 {} +
    find "$dir" -type f -exec chmod 644 {} +
    find "$dir" -type f \( -name '*.exe' -o -name '*.dll' -o -name '*.so' -o -name hpk-host \) -exec chmod 755 {} +
    find "$dir" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

# build DIRECTORY: clones the commit into DIRECTORY/<name>, builds both
# products there and stages the two packages in DIRECTORY/stage.
build() {
    local dir=$1 src=$1/$name
    mkdir -p "$dir"
    git clone -q --no-checkout "$top" "$src"
    git -C "$src" checkout -q --detach "$commit"
    cp -a .deps "$src/.deps"
    echo "== build $commit in $src"
    (
        cd "$src"
        for preset in x86-windows x86-linux; do
            cmake --preset "$preset" -DHPK_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
            cmake --build "build/$preset" -j2 >"build/$preset.log" 2>&1 || { cat "build/$preset.log"; exit 1; }
        done
    )

    local win=$dir/stage/$name-$version-win32 linux=$dir/stage/$name-$version-linux-i386
    local wb=$src/build/x86-windows lb=$src/build/x86-linux
    mkdir -p "$win/api" "$linux/api"

    cp "$wb/$name.dll" "$wb/$name.pdb" "$win/"
    llvm-objcopy-14 --strip-all "$wb/hpk-host.exe" "$win/hpk-host.exe"
    cp "$lb/$name.so" "$lb/$name.so.debug" "$linux/"
    objcopy --strip-all "$lb/hpk-host" "$linux/hpk-host"

    # Each platform's own host describes its own build: native record layouts
    # differ (64-bit fields are 8-aligned on Windows, 4-aligned on Linux i386).
    for format in json openapi; do
        local file=describe.json
        [ "$format" = openapi ] && file=openapi.json
        "$linux/hpk-host" describe --format $format --plugin "$linux/$name.so" >"$linux/api/$file"
        wine "$win/hpk-host.exe" describe --format $format --plugin "$win/$name.dll" | tr -d '\r' >"$win/api/$file"
        test -s "$win/api/$file"
    done

    integration "$name.dll" "$name.pdb" "the PDB: functions, types and line tables for Windows debuggers and symbol servers" \
        hpk-host.exe "hpk-host.exe" \
        "Debuggers find \`$name.pdb\` beside the DLL or on a symbol server: the DLL names it with its GUID and age (\`symstore add /f $name.pdb /s <store> /t $name\` publishes it). Source paths in it are relative to the source tree's root (\`src\\\\plugin\\\\entry.cpp\`): point the debugger's source path at a checkout of the commit." \
        >"$win/INTEGRATION.md"
    integration "$name.so" "$name.so.debug" "its debug information (DWARF), found by gdb through the library's debuglink" \
        hpk-host "./hpk-host" \
        "gdb reads \`$name.so.debug\` when it lies beside the library or under \`/usr/lib/debug\` with the same relative path. Source paths in it start at the source tree's root (\`./src/plugin/entry.cpp\`): \`set substitute-path . /path/to/checkout\` in gdb." \
        >"$linux/INTEGRATION.md"

    seal "$win"
    seal "$linux"
    (cd "$dir/stage" && find "$name-$version-win32" | sort | zip -q -X -D -@ "$dir/$name-$version-win32.zip")
    tar --sort=name --format=gnu --owner=0 --group=0 --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" \
        -C "$dir/stage" -cf - "$name-$version-linux-i386" | gzip -n -9 >"$dir/$name-$version-linux-i386.tar.gz"

    # The shipped library must still do its job once stripped.
    "$linux/hpk-host" check --plugin "$linux/$name.so" >/dev/null
    wine "$win/hpk-host.exe" check --plugin "$win/$name.dll" >/dev/null
}

start=$(date +%s)
build "$work/a"
mkdir -p dist
cp "$work/a/$name-$version-win32.zip" "$work/a/$name-$version-linux-i386.tar.gz" dist/
echo "== wrote dist/$name-$version-win32.zip and dist/$name-$version-linux-i386.tar.gz ($(($(date +%s) - start)) s)"
(cd dist && sha256sum "$name-$version-win32.zip" "$name-$version-linux-i386.tar.gz")

if [ $verify = 1 ]; then
    second=$(date +%s)
    build "$work/second-clone"
    differ=0
    for file in "$name-$version-win32/$name.dll" "$name-$version-win32/$name.pdb" "$name-$version-win32/hpk-host.exe" \
                "$name-$version-linux-i386/$name.so" "$name-$version-linux-i386/$name.so.debug" \
                "$name-$version-linux-i386/hpk-host"; do
        if cmp -s "$work/a/stage/$file" "$work/second-clone/stage/$file"; then
            echo "identical: $file  $(sha256sum <"$work/a/stage/$file" | cut -d' ' -f1)"
        else
            echo "DIFFERENT: $file"
            differ=1
        fi
    done
    for file in "$name-$version-win32.zip" "$name-$version-linux-i386.tar.gz"; do
        if cmp -s "$work/a/$file" "$work/second-clone/$file"; then
            echo "identical: $file  $(sha256sum <"$work/a/$file" | cut -d' ' -f1)"
        else
            echo "DIFFERENT: $file"
            differ=1
        fi
    done
    echo "== verify: second build $(($(date +%s) - second)) s, both $(($(date +%s) - start)) s"
    if [ $differ = 1 ]; then
        echo "package: two builds of $commit differ" >&2
        exit 1
    fi
    echo "== verify: two clean builds of $commit give the same bytes"
fi
