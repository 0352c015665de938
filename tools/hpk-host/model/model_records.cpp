// Reading the feature's records from values. The rules, per target kind:
//   bool     a bool; the texts "1", "0", "true", "false"; nothing else
//   integer  a signed or unsigned number in range; a float in range, truncated;
//            a text holding a number in automatic base (0x hex, 0 octal), with
//            nothing after it ("" reads as 0); nothing else
//   text     a text only
//   enum     a number that is an enumerator's value; an enumerator's name; a
//            text holding such a number
//   record   a structure: each field from the member of its name, a missing or
//            empty member leaving the default; members no field names ignored
//   list     a collection; empty elements keep their default
//   value    anything, copied
#include "model/model_records.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <limits>
#include <utility>

#include "diagnostics/positional_format.h"
#include "model/model_messages.h"

namespace hpk::host {

namespace {

struct Enumerator {
    const char* name;
    std::int32_t value;
};
constexpr Enumerator kLoginStates[] = {{"IN_PROGRESS", 0}, {"ERROR", 3}, {"SUCCEEDED", 1}, {"LOGGING_OUT", 2}};
constexpr Enumerator kEventTypes[] = {{"Create", 0}, {"Update", 1}, {"Delete", 2}};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// A text as a number in automatic base. False with `overflow` when the text
// is a number too large for 64 bits, false without it when more follows.
bool ParseSigned(const std::string& text, std::int64_t& out, bool& overflow) {
    overflow = false;
    errno = 0;
    char* end = nullptr;
    out = std::strtoll(text.c_str(), &end, 0);
    overflow = errno == ERANGE;
    return !overflow && end == text.c_str() + text.size();
}

bool ParseUnsigned(const std::string& text, std::uint64_t& out, bool& overflow, bool& negative) {
    std::size_t first = 0;
    while (first < text.size() && IsSpace(text[first])) ++first;
    negative = first < text.size() && text[first] == '-';
    errno = 0;
    char* end = nullptr;
    out = std::strtoull(text.c_str(), &end, 0);
    overflow = errno == ERANGE;
    return !overflow && end == text.c_str() + text.size();
}

// Reads members of one record into fields, keeping the first failure.
class FieldReader {
public:
    bool Ok() const { return ok_; }
    // `out` when every field fitted, else why the first did not.
    template <typename T>
    Outcome<T> Result(T& out) {
        if (!ok_) return host::Fail(why_);
        return std::move(out);
    }
    bool Fail(std::string text) {
        if (ok_) why_ = std::move(text);
        ok_ = false;
        return false;
    }

    // The member of a structure, or null when it is missing or empty (the
    // field keeps its default).
    const BindingValue* Member(const BindingValue& record, const char* name) const {
        if (!ok_ || !record.HasMember(name)) return nullptr;
        const BindingValue& member = record.Member(name);
        return member.IsEmpty() ? nullptr : &member;
    }

    // The record itself: a structure, not empty.
    bool Record(const BindingValue& value, const char* path, const char* type) {
        if (value.IsEmpty()) return Fail(FormatPositional(kMsgModelValueRequired, path));
        if (value.Kind() != BindingValueKind::Structure) {
            return Fail(FormatPositional(kMsgModelNotStructure, path, type, KindText(value.Kind())));
        }
        return true;
    }

    void Bool(const BindingValue* value, const char* path, bool& out) {
        if (value == nullptr) return;
        if (value->Kind() == BindingValueKind::Bool) {
            out = value->AsBool();
            return;
        }
        if (value->Kind() == BindingValueKind::String) {
            const std::string_view text = value->AsString();
            if (text == "1" || text == "true" || text == "0" || text == "false") {
                out = text == "1" || text == "true";
                return;
            }
        }
        Fail(Mismatch(*value, path, "bool"));
    }

    void Text(const BindingValue* value, const char* path, std::string& out) {
        if (value == nullptr) return;
        if (value->Kind() != BindingValueKind::String) {
            Fail(Mismatch(*value, path, "string"));
            return;
        }
        out = std::string(value->AsString());
    }

    void Unsigned(const BindingValue* value, const char* path, const char* type, std::uint64_t max,
                  std::uint64_t& out) {
        if (value == nullptr) return;
        switch (value->Kind()) {
            case BindingValueKind::Signed:
                if (value->AsSigned() < 0 || static_cast<std::uint64_t>(value->AsSigned()) > max) break;
                out = static_cast<std::uint64_t>(value->AsSigned());
                return;
            case BindingValueKind::Unsigned:
                if (value->AsUnsigned() > max) break;
                out = value->AsUnsigned();
                return;
            case BindingValueKind::Float: {
                // The largest uint64 reads as 2^64 in a double, which no
                // uint64 holds: that one is out of range too.
                const double number = value->AsFloat();
                if (!(number >= 0) || number > static_cast<double>(max) || number >= 18446744073709551616.0) break;
                out = static_cast<std::uint64_t>(number);
                return;
            }
            case BindingValueKind::String: {
                std::uint64_t parsed = 0;
                bool overflow = false;
                bool negative = false;
                const std::string text(value->AsString());
                const bool whole = ParseUnsigned(text, parsed, overflow, negative);
                if (!whole && !overflow) {
                    Fail(FormatPositional(kMsgModelBadFormat, text, path, type));
                    return;
                }
                if (negative || overflow || parsed > max) break;
                out = parsed;
                return;
            }
            default: Fail(Mismatch(*value, path, type)); return;
        }
        Fail(FormatPositional(kMsgModelOutOfRange, Quoted(*value), path, type));
    }

    void Signed(const BindingValue* value, const char* path, const char* type, std::int64_t min, std::int64_t max,
                std::int64_t& out) {
        if (value == nullptr) return;
        switch (value->Kind()) {
            case BindingValueKind::Signed:
                if (value->AsSigned() < min || value->AsSigned() > max) break;
                out = value->AsSigned();
                return;
            case BindingValueKind::Unsigned:
                if (value->AsUnsigned() > static_cast<std::uint64_t>(max)) break;
                out = static_cast<std::int64_t>(value->AsUnsigned());
                return;
            case BindingValueKind::Float: {
                const double number = value->AsFloat();
                if (!(number >= static_cast<double>(min)) || number > static_cast<double>(max)) break;
                out = static_cast<std::int64_t>(number);
                return;
            }
            case BindingValueKind::String: {
                std::int64_t parsed = 0;
                bool overflow = false;
                const std::string text(value->AsString());
                if (!ParseSigned(text, parsed, overflow) && !overflow) {
                    Fail(FormatPositional(kMsgModelBadFormat, text, path, type));
                    return;
                }
                if (overflow || parsed < min || parsed > max) break;
                out = parsed;
                return;
            }
            default: Fail(Mismatch(*value, path, type)); return;
        }
        Fail(FormatPositional(kMsgModelOutOfRange, Quoted(*value), path, type));
    }

    void Enum(const BindingValue* value, const char* path, const char* type,
              std::initializer_list<Enumerator> enumerators, std::int32_t& out) {
        if (value == nullptr) return;
        auto known = [&](std::int64_t number) {
            for (const Enumerator& e : enumerators) {
                if (e.value == number) return true;
            }
            return false;
        };
        std::int64_t number = 0;
        bool found = false;
        if (value->Kind() == BindingValueKind::Signed) {
            number = value->AsSigned();
            found = known(number);
        } else if (value->Kind() == BindingValueKind::Unsigned) {
            found = value->AsUnsigned() <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) &&
                    known(static_cast<std::int64_t>(value->AsUnsigned()));
            number = found ? static_cast<std::int64_t>(value->AsUnsigned()) : 0;
        } else if (value->Kind() == BindingValueKind::String) {
            const std::string text(value->AsString());
            for (const Enumerator& e : enumerators) {
                if (text == e.name) {
                    number = e.value;
                    found = true;
                }
            }
            bool overflow = false;
            if (!found && ParseSigned(text, number, overflow)) found = known(number);
        } else {
            Fail(Mismatch(*value, path, type));
            return;
        }
        if (!found) {
            Fail(FormatPositional(kMsgModelNotEnumerator, Quoted(*value), type, path));
            return;
        }
        out = static_cast<std::int32_t>(number);
    }

private:
    static std::string Quoted(const BindingValue& value) {
        return value.Kind() == BindingValueKind::String ? "\"" + value.Text() + "\"" : value.Text();
    }
    static std::string Mismatch(const BindingValue& value, const char* path, const char* type) {
        return FormatPositional(kMsgModelWrongKind, path, type, KindText(value.Kind()), Quoted(value));
    }

    std::string why_;
    bool ok_ = true;
};

constexpr std::uint64_t kUint32Max = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t kUint64Max = std::numeric_limits<std::uint64_t>::max();
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

}  // namespace

Outcome<ModelEvent> ReadEvent(const BindingValue& value) {
    FieldReader read;
    ModelEvent out;
    if (!read.Record(value, "<result>", "PluginResourceEvent")) return read.Result(out);
    read.Text(read.Member(value, "uri"), "uri", out.uri);
    read.Enum(read.Member(value, "eventType"), "eventType", "PluginResourceEventType",
              {kEventTypes[0], kEventTypes[1], kEventTypes[2]}, out.eventType);
    if (const BindingValue* data = read.Member(value, "data")) out.data.CopyFrom(*data);
    return read.Result(out);
}

Outcome<ModelLoginSession> ReadLoginSession(const BindingValue& value) {
    FieldReader read;
    ModelLoginSession out;
    if (!read.Record(value, "<value>", "LoginSession")) return read.Result(out);
    read.Enum(read.Member(value, "state"), "state", "LoginSessionState",
              {kLoginStates[0], kLoginStates[1], kLoginStates[2], kLoginStates[3]}, out.state);
    read.Unsigned(read.Member(value, "summonerId"), "summonerId", "uint64", kUint64Max, out.summonerId);
    read.Unsigned(read.Member(value, "accountId"), "accountId", "uint64", kUint64Max, out.accountId);
    return read.Result(out);
}

Outcome<ModelPlatformConfig> ReadPlatformConfig(const BindingValue& value) {
    FieldReader read;
    ModelPlatformConfig out;
    if (!read.Record(value, "<value>", "PlatformConfig")) return read.Result(out);
    read.Bool(read.Member(value, "Enabled"), "Enabled", out.Enabled);
    read.Text(read.Member(value, "Mapping"), "Mapping", out.Mapping);
    read.Bool(read.Member(value, "RevivalFilterEnabled"), "RevivalFilterEnabled", out.RevivalFilterEnabled);
    read.Bool(read.Member(value, "LaneFilterEnabled"), "LaneFilterEnabled", out.LaneFilterEnabled);
    std::uint64_t threshold = out.LaneFilterThreshold;
    read.Unsigned(read.Member(value, "LaneFilterThreshold"), "LaneFilterThreshold", "uint32", kUint32Max, threshold);
    out.LaneFilterThreshold = static_cast<std::uint32_t>(threshold);
    read.Bool(read.Member(value, "LevelFilterEnabled"), "LevelFilterEnabled", out.LevelFilterEnabled);
    read.Bool(read.Member(value, "RankedFilterEnabled"), "RankedFilterEnabled", out.RankedFilterEnabled);
    read.Bool(read.Member(value, "LocationFiltersEnabled"), "LocationFiltersEnabled", out.LocationFiltersEnabled);
    return read.Result(out);
}

Outcome<std::string> ReadRegionLocale(const BindingValue& value) {
    FieldReader read;
    std::string out;
    if (!read.Record(value, "<value>", "RegionLocale")) return read.Result(out);
    read.Text(read.Member(value, "locale"), "locale", out);
    return read.Result(out);
}

Outcome<bool> ReadReady(const BindingValue& value) {
    FieldReader read;
    bool out = false;
    if (value.IsEmpty()) return host::Fail(FormatPositional(kMsgModelValueRequired, "<value>"));
    read.Bool(&value, "<value>", out);
    return read.Result(out);
}

Outcome<ModelGeoResponse> ReadGeoResponse(const BindingValue& value) {
    FieldReader read;
    ModelGeoResponse out;
    if (!read.Record(value, "<value>", "GeoInfoResponse")) return read.Result(out);
    read.Bool(read.Member(value, "success"), "success", out.success);
    if (const BindingValue* geo = read.Member(value, "geoInfo")) {
        if (read.Record(*geo, "geoInfo", "GeoInfo")) {
            read.Text(read.Member(*geo, "country"), "country", out.geoInfo.country);
            read.Text(read.Member(*geo, "city"), "city", out.geoInfo.city);
            read.Text(read.Member(*geo, "region"), "region", out.geoInfo.region);
        }
    }
    std::string errorMessage;
    read.Text(read.Member(value, "errorMessage"), "errorMessage", errorMessage);
    bool isLatest = false;
    read.Bool(read.Member(value, "isLatest"), "isLatest", isLatest);
    return read.Result(out);
}

Outcome<std::uint32_t> ReadSummonerLevel(const BindingValue& value) {
    FieldReader read;
    std::uint32_t out = 0;
    if (!read.Record(value, "<value>", "Summoner")) return read.Result(out);
    std::uint64_t level = 0;
    read.Unsigned(read.Member(value, "summonerLevel"), "summonerLevel", "uint32", kUint32Max, level);
    out = static_cast<std::uint32_t>(level);
    return read.Result(out);
}

Outcome<ModelGames> ReadGames(const BindingValue& value) {
    FieldReader read;
    ModelGames out;
    if (!read.Record(value, "<value>", "ChampionGamesCollection")) return read.Result(out);
    std::uint64_t count = 0;
    read.Unsigned(read.Member(value, "gameCount"), "gameCount", "uint32", kUint32Max, count);
    out.gameCount = static_cast<std::uint32_t>(count);
    const BindingValue* list = read.Member(value, "champions");
    if (list == nullptr) return read.Result(out);
    if (list->Kind() != BindingValueKind::Collection) {
        return host::Fail(FormatPositional(kMsgModelNotCollection, "champions", KindText(list->Kind())));
    }
    out.champions.assign(list->Size(), ModelGame{});
    for (std::size_t i = 0; i < list->Size() && read.Ok(); ++i) {
        const BindingValue& element = list->Element(i);
        if (element.IsEmpty() || !read.Record(element, "champions", "ChampionGames")) continue;
        ModelGame& game = out.champions[i];
        std::int64_t number = 0;
        read.Signed(read.Member(element, "championId"), "championId", "int32", kInt32Min, kInt32Max, number);
        number = 0;
        read.Signed(read.Member(element, "queue"), "queue", "int32", kInt32Min, kInt32Max, number);
        game.queue = static_cast<std::int32_t>(number);
        read.Text(read.Member(element, "lane"), "lane", game.lane);
        std::string role;
        read.Text(read.Member(element, "role"), "role", role);
        read.Unsigned(read.Member(element, "timestamp"), "timestamp", "uint64", kUint64Max, game.timestamp);
    }
    return read.Result(out);
}

Outcome<BindingValue> ReadSettings(const BindingValue& value) {
    FieldReader read;
    BindingValue data;
    if (!read.Record(value, "<value>", "SettingsResource")) return read.Result(data);
    if (const BindingValue* member = read.Member(value, "data")) data.CopyFrom(*member);
    return read.Result(data);
}

}  // namespace hpk::host
