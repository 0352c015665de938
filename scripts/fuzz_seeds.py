#!/usr/bin/env python3
"""Writes the seed inputs of the recipe-driven fuzz targets (host-value,
request, events) into fuzz/corpus/<target>/seed-*. The byte layouts are the
recipes documented at the top of fuzz/fuzz_support.h and of each target."""
import json
import os
import struct

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


class Owned(str):
    """A text the host sends as an owned copy (tag 6)."""


def text(b):
    b = b.encode() if isinstance(b, str) else b
    assert len(b) < 256, b
    return bytes([len(b)]) + b


def value(v):
    """A HostValueRecipe for a Python value; dicts may be lists of pairs (repeated keys)."""
    if v is None:
        return bytes([0])
    if isinstance(v, bool):
        return bytes([1, int(v)])
    if isinstance(v, int):
        return bytes([3]) + struct.pack('<Q', v) if v >= 0 else bytes([2]) + struct.pack('<q', v)
    if isinstance(v, float):
        return bytes([4]) + struct.pack('<d', v)
    if isinstance(v, Owned):
        return bytes([6, 0]) + text(v)
    if isinstance(v, str):
        return bytes([5, 0]) + text(v)
    if isinstance(v, bytes):
        return bytes([7, 0]) + text(v)
    if isinstance(v, dict):
        v = list(v.items())
    if isinstance(v, tuple) and v and v[0] == 'map':
        pairs = v[1]
        out = bytes([10, len(pairs)])
        for i, (k, item) in enumerate(pairs):
            out += bytes([9 if i % 2 else 1]) + text(k) + value(item)
        return out
    if isinstance(v, list) and v and all(isinstance(p, tuple) and len(p) == 2 for p in v):
        return value(('map', v))
    if isinstance(v, list):
        return bytes([9, len(v)]) + b''.join(value(x) for x in v)
    raise TypeError(v)


def chain(depth, inner):
    return bytes([12]) + struct.pack('<H', depth) + inner


def write(target, name, data):
    folder = os.path.join(TOP, 'fuzz', 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, 'seed-' + name), 'wb') as f:
        f.write(data)


LOGIN = {"state": "SUCCEEDED", "summonerId": 11, "accountId": 22}
CONFIG = {"Enabled": True, "LevelFilterEnabled": True, "LaneFilterEnabled": True, "LaneFilterThreshold": 2,
          "LocationFiltersEnabled": True, "Mapping": Owned('{"PL": {"Enabled": true, "Locale": "pl_PL"}}')}
GAMES = {"gameCount": 2, "champions": [
    {"championId": 1, "queue": 420, "lane": "JUNGLE", "role": "SOLO", "timestamp": 1704063600000},
    {"championId": 2, "queue": 440, "lane": "jungle", "role": "SOLO", "timestamp": 1704063600000}]}
GEO = {"success": True, "geoInfo": {"country": "GB", "city": "York", "region": "ENG"}, "isLatest": True}

# host-value: a control byte (record index + 13 * allocation to fail; 12 is
# every record), then the recipe.
ALL = bytes([12])
write('host-value', 'login', bytes([9]) + value(LOGIN))
write('host-value', 'config', bytes([4]) + value(CONFIG))
write('host-value', 'games', bytes([11]) + value(GAMES))
write('host-value', 'geo-out-of-memory', bytes([7 + 13 * 3]) + value(GEO))
write('host-value', 'repeated-keys', ALL + value([("a", 1), ("b", [1, 2]), ("a", "x"), ("a", None)]))
write('host-value', 'deep-chain', ALL + chain(2000, value({"state": "ERROR"})))
write('host-value', 'bad-tag-in-array', ALL + bytes([9, 3]) + value(1.5) + bytes([11, 1, 0, 0, 0]) + bytes(8) + value(b'\x00\xff'))
write('host-value', 'null-spans', ALL + bytes([9, 2, 13, 4]) + struct.pack('<I', 1000) + bytes([13, 1]) + struct.pack('<I', 3))

# request: function, method, url kind and text, headers, arguments, content type, body flag, body.
def request(function, method, url, headers=(), arguments=(), content=8, body=None):
    out = bytes([function, method]) + bytes([2]) + text(url) + bytes([len(headers)])
    for k, v in headers:
        out += text(k) + text(v)
    out += bytes([len(arguments)])
    for name_kind, extra, v in arguments:
        out += bytes([name_kind]) + extra + value(v)
    out += bytes([content])
    out += bytes([0 if body is None else 1]) + (body or b'')
    return out


write('request', 'typed-json', request(0, 6, '5/a/b?levels=1&levels=-2', [("token", "abc")], (), 0,
                                       json.dumps({"Enabled": True, "Mapping": "{}"}).encode()))
write('request', 'echo-argument', request(1, 2, '', (), [(2, b'\0', LOGIN), (0, text('games'), GAMES)]))
write('request', 'geo-yaml', request(2, 7, 'PL?scale=0.5', (), (), 2,
                                     b'success: true\ngeoInfo:\n  city: York\n  region: &r ENG\nerrorMessage: *r\n'))
write('request', 'geo-msgpack', request(2, 7, 'DE', (), (), 1, b'\x82\xa7success\xc3\xa8isLatest\xc2'))
write('request', 'served-get', request(3, 2, ''))


# events: which resources are scripted, their scripts, then events.
RESOURCES = ["login", "config", "region", "ready", "geo", "account", "games", "summoner"]


def scripts(**bodies):
    mask = 0
    out = b''
    for i, name in enumerate(RESOURCES):
        if name in bodies:
            mask |= 1 << i
            out += bytes([0]) + text(json.dumps(bodies[name], separators=(',', ':')))
    return bytes([mask]) + out


def event(subscription, event_type, data):
    """A well-formed resource event to the subscription at that index (in subscribe order)."""
    return bytes([subscription, 0, 0, event_type]) + text(json.dumps(data, separators=(',', ':')))


SMALL_CONFIG = dict(CONFIG, Mapping='{"PL":{"Enabled":true,"Locale":"pl_PL"}}')
write('events', 'everything-at-start', scripts(login=LOGIN, config=SMALL_CONFIG, region={"locale": "en_US"},
                                              geo={"success": True, "geoInfo": {"country": "PL"}},
                                              summoner={"summonerLevel": 31}))
write('events', 'updates', scripts(login=LOGIN) + event(1, 1, SMALL_CONFIG) + event(4, 1, GEO) + event(2, 0, {"locale": "cy_GB"}))
write('events', 'ready-then-account', scripts(account={"data": {"selectedLanguage": "cy_GB"}}) + event(3, 1, True)
      + event(1, 2, None))
write('events', 'raw-payloads', scripts() + bytes([0x41, 1]) + text('other') + value([("uri", 5), ("eventType", "Update")])
      + bytes([0x40, 0]) + chain(500, value(None)))
