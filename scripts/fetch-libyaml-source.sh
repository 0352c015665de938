#!/usr/bin/env bash
# Fetches Debian's libyaml source package into .deps/ for the Windows build.
# Nothing of it is committed; run again it does nothing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$top/.deps"
cd "$top/.deps"
if compgen -G "libyaml-*/src/parser.c" >/dev/null; then
    exit 0
fi
apt-get source -qq libyaml >/dev/null 2>&1 || apt-get source libyaml
compgen -G "libyaml-*/src/parser.c" >/dev/null
