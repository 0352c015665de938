#!/usr/bin/env bash
# README's first command: installs what the build needs, builds the plugin and
# the reference host hpk-host (Linux i386, debug), and plays the built-in
# scenario, a player's session, against the plugin. Arguments are passed to
# `hpk-host run` (a scenario file, --json).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

echo "== set-up: scripts/setup.sh (Debian packages and the OpenAPI validator; quick once done)"
bash scripts/setup.sh

echo "== build: preset x86-linux, just the plugin and hpk-host"
cmake --preset x86-linux >/dev/null
cmake --build build/x86-linux --target hpk-host -- -j2 | grep -vE '^\[[0-9]+/[0-9]+\] ' || true
test "${PIPESTATUS[0]}" -eq 0

cat <<'INTRO'
== run: build/x86-linux/hpk-host run

hpk-host loads hpk-be-arx-content-targeting.so the way the game client's plugin
host does, and plays a player's session against it (scenarios/default.yaml).
Each line is one call across the plugin boundary, with the milliseconds since
the start; a line indented under another happened inside it:
  event      the host delivers a change of another plugin's resource
  request    the plugin asks the host for a resource, and what it got back
  post       the plugin announces a change of the filters or the locale it serves
  telemetry  the plugin's one telemetry event
The summary at the end shows what the plugin serves and its memory counters.
More: scenarios/README.md, `hpk-host describe`, `hpk-host check`.

INTRO
exec build/x86-linux/hpk-host run "$@"
