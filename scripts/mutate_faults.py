#!/usr/bin/env python3
"""Planted faults in the content targeting feature, and whether exploring
catches each (driven by scripts/mutate.sh, which prepares the scratch copy).

For every fault: the feature's file in the scratch copy is restored, the one
change is made (its text must occur exactly once, else the fault no longer
applies and the run fails), only the library is built, and `hpk-host explore`
runs against it until an invariant breaks or the session limit is reached.
A table of what was caught, by which invariant, after how many sessions and
shrunk to how many steps ends the output; the exit status is 1 when a fault
went uncaught or could not be planted.

    mutate_faults.py TOP SCRATCH BUILD HOST SESSIONS SEED [FAULT...]
"""
import json
import os
import shutil
import subprocess
import sys
import time

FILTERS = "src/content_targeting/filters.cpp"
FILTERS_H = "src/content_targeting/filters.h"
PLUGIN = "src/content_targeting/content_targeting_plugin.cpp"
LOCALE = "src/content_targeting/locale.cpp"
TELEMETRY = "src/content_targeting/telemetry_text.cpp"

LOCALE_LANGUAGE_FIRST = """    if (!inputs.selectedLanguage.empty() && inputs.selectedLanguage != kAutoLanguage) {
        locale.assign(inputs.selectedLanguage);
        return;
    }
    const BindingValue& mapping = inputs.localeMapping;
"""
LOCALE_MAPPING_FIRST = """    const BindingValue& mapping = inputs.localeMapping;
    const BindingValue& planted = mapping.Member(inputs.geoInfo.country).Member(kMappingEnabled);
    const bool mapped = !mapping.IsEmpty() && !inputs.geoInfo.IsUnknown() &&
                        planted.Kind() == BindingValueKind::Bool && planted.AsBool();
    if (!mapped && !inputs.selectedLanguage.empty() && inputs.selectedLanguage != kAutoLanguage) {
        locale.assign(inputs.selectedLanguage);
        return;
    }
"""

# (name, what it does, file, text, replacement, space): "edge" runs the
# space with a game at the revival cutoff itself (see EdgeSpace).
FAULTS = [
    ("lane-threshold-gt", "lane count compared with > for >=", FILTERS,
     "if (counts[lane] >= inputs.config.LaneFilterThreshold)",
     "if (counts[lane] > inputs.config.LaneFilterThreshold)", "space"),
    ("revival-cutoff-second", "revival cutoff off by one second (a game in the cutoff second qualifies)", FILTERS,
     "return lastPlayedSecond < static_cast<std::uint64_t>(cutoffSecond);",
     "return lastPlayedSecond <= static_cast<std::uint64_t>(cutoffSecond);", "edge"),
    ("revival-29-days", "revival after 29 days of inactivity, not 30", FILTERS_H,
     "kRevivalInactivityTicks = 25'920'000'000'000;", "kRevivalInactivityTicks = 25'056'000'000'000;", "space"),
    ("location-not-encoded", "location parts not percent-encoded", FILTERS,
     "return PercentEncode(folded, true);", "return folded;", "space"),
    ("location-spaces-encoded", "spaces in location parts encoded as %20, not turned into _", FILTERS,
     "for (char& c : folded) c = (c == ' ') ? '_' : AsciiLower(c);",
     "for (char& c : folded) c = AsciiLower(c);", "space"),
    ("locale-precedence-swapped", "the country mapping wins over the player's language", LOCALE,
     LOCALE_LANGUAGE_FIRST, LOCALE_MAPPING_FIRST, "space"),
    ("telemetry-twice", "the telemetry event sent twice", PLUGIN,
     "(void)sender->Send(kTelemetryEventName, fields);",
     "(void)sender->Send(kTelemetryEventName, fields);\n    (void)sender->Send(kTelemetryEventName, fields);", "space"),
    ("config-delete-ignored", "a Delete of the configuration ignored", PLUGIN,
     "    platformConfig_ = update.data;\n",
     "    if (update.eventType == PluginResourceEventType::Delete) return;\n    platformConfig_ = update.data;\n",
     "space"),
    ("ranked-from-31", "level 30 counted as unranked", FILTERS,
     "inputs.summonerLevel < kRankedLevel ? kRankedDisabled", "inputs.summonerLevel <= kRankedLevel ? kRankedDisabled",
     "space"),
    ("lane-queue-450", "games of queue 450 count towards the lanes", PLUGIN,
     "kLaneQueues[] = {400, 420, 440};", "kLaneQueues[] = {400, 420, 440, 450};", "space"),
    ("telemetry-keeps-location", "location filters reported in telemetry", TELEMETRY,
     "        if (std::string_view(filter).substr(0, kLocationPrefix.size()) == kLocationPrefix) continue;\n", "",
     "space"),
    ("locale-republished", "an unchanged locale published again", PLUGIN,
     "    if (locale_.locale == previous) return;\n", "", "space"),
    ("level-gate-open", "filters computed while the level is still 0", FILTERS,
     "&& inputs.summonerLevel == 0) return false;", "&& inputs.summonerLevel == 0 && false) return false;", "space"),
    ("failed-lookup-stored", "a failed location lookup stored", PLUGIN,
     "    if (!update.data.success) return;\n", "", "space"),
    ("elapsed-wrong-unit", "telemetry times in tenths of milliseconds", TELEMETRY,
     "(nowTicks - sinceTicks) / kTicksPerMillisecond", "(nowTicks - sinceTicks) / 1000", "space"),
    ("player-data-refetched", "the player data asked for again on every configuration update", PLUGIN,
     "if (!loggedIn_ || !platformConfig_.Enabled || playerDataRequested_) return;",
     "if (!loggedIn_ || !platformConfig_.Enabled) return;", "space"),
    ("later-games-used", "a later games collection replaces the first", PLUGIN,
     "|| recentChampionsReceived_) return;", ") return;", "space"),
]


def edge_space(top, scratch):
    """The CI space with one more games variant, the newest game exactly 30
    days old when the session is read, so the cutoff second falls inside the
    session; without re-deliveries and reordered pairs, whose invariants
    assume the served values do not depend on when a step runs."""
    text = open(os.path.join(top, "scenarios/space.yaml"), encoding="utf-8").read()
    games = "  /arx-acs/v2/recently-played-champions/current-summoner:\n    weight: 3\n    at_start: 50\n    variants:\n"
    changes = [
        (games, games + "      - {weight: 12, value: {gameCount: 1, champions: [{queue: 420, lane: mid, "
                        "timestamp: 30 days ago}]}}\n"),
        ("  repeat: 3\n", "  repeat: 0\n"),
        ("  share: 10\n", "  share: 0\n"),
    ]
    for old, new in changes:
        if text.count(old) != 1:
            sys.exit("mutate: scenarios/space.yaml changed; the edge space cannot be made from it")
        text = text.replace(old, new)
    path = os.path.join(scratch, "edge-space.yaml")
    with open(path, "w", encoding="utf-8") as out:
        out.write(text)
    return path


def run(command, **kwargs):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kwargs)


def build(scratch, build_dir):
    result = run(["cmake", "--build", build_dir, "--target", "hpk-be-arx-content-targeting", "--", "-j2"], cwd=scratch)
    return result.returncode == 0, result.stdout[-2000:] + result.stderr[-2000:]


def explore(host, space, library, out, sessions, seed):
    result = run([host, "explore", space, "--plugin", library, "--sessions", str(sessions), "--seed", str(seed),
                  "--out", out, "--json"])
    try:
        return json.loads(result.stdout)
    except ValueError:
        return {"error": result.stderr.strip() or "exit %d" % result.returncode}


def main():
    top, scratch, build_dir, host, sessions, seed = sys.argv[1:7]
    chosen = sys.argv[7:]
    faults = [f for f in FAULTS if not chosen or f[0] in chosen]
    library = os.path.join(scratch, build_dir, "hpk-be-arx-content-targeting.so")
    spaces = {"space": os.path.join(top, "scenarios/space.yaml"), "edge": edge_space(top, scratch)}

    ok, log = build(scratch, build_dir)
    if not ok:
        sys.exit("mutate: the scratch copy does not build:\n" + log)
    for kind, space in sorted(spaces.items()):
        found = explore(host, space, library, os.path.join(scratch, "out", "pristine-" + kind), 2000, seed)
        if found.get("failures") != []:
            sys.exit("mutate: the unchanged plugin does not pass its own %s space: %s" % (kind, json.dumps(found)))
    print("the unchanged plugin passes 2000 sessions of both spaces (seed %s)" % seed, flush=True)

    rows = []
    for name, what, path, text, replacement, kind in faults:
        target = os.path.join(scratch, path)
        original = open(os.path.join(top, path), encoding="utf-8").read()
        if original.count(text) != 1:
            rows.append((name, what, "does not apply", "-", "-", "-", 0.0))
            continue
        start = time.time()
        try:
            with open(target, "w", encoding="utf-8") as out:
                out.write(original.replace(text, replacement))
            ok, log = build(scratch, build_dir)
            if not ok:
                rows.append((name, what, "does not build", "-", "-", "-", 0.0))
                print(log, file=sys.stderr)
                continue
            found = explore(host, spaces[kind], library, os.path.join(scratch, "out", name), sessions, seed)
        finally:
            with open(target, "w", encoding="utf-8") as out:
                out.write(original)
        failures = found.get("failures") or []
        if failures:
            failure = failures[0]
            row = (name, what, failure["invariant"], str(failure["session"] + 1),
                   "%d of %d" % (failure["shrunkSteps"], failure["steps"]), kind, time.time() - start)
        else:
            row = (name, what, "NOT CAUGHT" if "error" not in found else "error: " + found["error"],
                   str(found.get("sessions", "-")), "-", kind, time.time() - start)
        rows.append(row)
        print("%-26s %-22s sessions %-6s shrunk %-9s (%.0f s)" % (row[0], row[2], row[3], row[4], row[6]), flush=True)

    print()
    print("| fault | what | caught by | sessions | shrunk to (steps) | space |")
    print("|---|---|---|---|---|---|")
    for name, what, caught, count, shrunk, kind, _ in rows:
        print("| %s | %s | %s | %s | %s | %s |" % (name, what, caught, count, shrunk, kind))
    missed = [r for r in rows if r[2] in ("NOT CAUGHT", "does not apply", "does not build") or r[2].startswith("error")]
    print()
    print("%d of %d planted faults caught" % (len(rows) - len(missed), len(rows)))
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
