// Any HostValue tree a host could send (see HostValueRecipe) read into a
// BindingValue, back out to a HostValue, and into each of the feature's
// records and back. Checks: a tree fails to read exactly when it carries a tag
// above 10, and then with a message; what the plugin builds reads back as the
// same tree; a record written out always reads back; a build that runs out of
// memory leaves a zero record; nothing leaks from the counting allocator.
//
// Input: a control byte, then the recipe. The control byte modulo 13 picks the
// record the value goes through (12: all of them, in the order of kRecords);
// divided by 13 it is the allocation (1 = the first) at which building the
// HostValue once more runs out of memory, 0 for none.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "binding/binding_convert.h"
#include "binding/host_value_convert.h"
#include "binding/type_registry.h"
#include "content_targeting/record_registration.h"
#include "content_targeting/records.h"
#include "fuzz_support.h"
#include "boundary/allocation_hooks.h"

namespace {

using namespace Vela::Client::Api;
using hpk::BindingResult;
using hpk::BindingValue;

// Type records and the registry are process-wide; built once, before the
// first leak baseline.
const hpk::BindingTypeRegistry& Registry() {
    static hpk::BindingTypeRegistry* registry = [] {
        auto* created = new hpk::BindingTypeRegistry();
        hpk::content_targeting::RegisterRecordTypes(*created, "HpkBeArxContentTargeting");
        return created;
    }();
    return *registry;
}

void Check(bool condition) {
    if (!condition) std::abort();
}

// The plugin's outbound form of `value`, read back.
void RoundTrip(BindingResult& back, const BindingValue& value) {
    hpk::HostValueOwner host;
    Check(hpk::ToHostValue(host.Get(), value, &Registry()));
    hpk::HostValueToBinding(back, host.Get(), "<result>");
    Check(back.IsOk());
}

// A record read from `value` (on failure it keeps what was assigned before
// the failing field), written out, and read back, which must always work.
template <class T>
void ThroughRecord(const BindingValue& value) {
    T record{};
    BindingResult read;
    hpk::FromValue(read, record, value, "<value>", Registry());
    Check(read.IsOk() || !read.ErrorText().empty());
    BindingResult written;
    hpk::ToValue(written, record, Registry());
    Check(written.IsOk());
    BindingResult back;
    RoundTrip(back, written.Value());
    T again{};
    BindingResult reread;
    hpk::FromValue(reread, again, back.Value(), "<value>", Registry());
    Check(reread.IsOk());
}

using RecordCheck = void (*)(const BindingValue&);
const RecordCheck kRecords[] = {
    ThroughRecord<ContentTargetingFilterResponse>,
    ThroughRecord<ContentTargetingLocaleResponse>,
    ThroughRecord<SettingsResource>,
    ThroughRecord<RegionLocale>,
    ThroughRecord<PlatformConfig>,
    ThroughRecord<Summoner>,
    ThroughRecord<GeoInfo>,
    ThroughRecord<GeoInfoResponse>,
    ThroughRecord<LoginSessionState>,
    ThroughRecord<LoginSession>,
    ThroughRecord<ChampionGames>,
    ThroughRecord<ChampionGamesCollection>,
};
constexpr std::size_t kRecordCount = sizeof kRecords / sizeof kRecords[0];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Registry();
    const std::int64_t blocks = hpk::LiveBlocks();
    const std::int64_t bytes = hpk::LiveBytes();
    {
        hpk::fuzz::FuzzBytes input(data, size);
        const std::uint8_t control = input.Byte();
        const std::size_t record = control % (kRecordCount + 1);
        const std::uint8_t failAt = static_cast<std::uint8_t>(control / (kRecordCount + 1));
        hpk::fuzz::HostValueRecipe recipe(input);
        BindingResult read;
        hpk::HostValueToBinding(read, recipe.Root(), "<value>");
        Check(read.IsOk() != recipe.HasInvalidTag());
        if (!read.IsOk()) {
            Check(read.ErrorText() ==
                  "Couldn't assign value to '<value>' of type object because the input is of an incompatible type ''.");
        } else {
            const BindingValue& value = read.Value();
            BindingResult back;
            RoundTrip(back, value);
            Check(hpk::fuzz::SameTree(value, back.Value()));

            if (failAt != 0) {
                // Running out of memory halfway through a build frees what was built.
                const std::int64_t before = hpk::LiveBlocks();
                HostValue host;
                std::memset(&host, 0x5A, sizeof host);
                hpk::FailAllocationAfter(failAt);
                const bool built = hpk::ToHostValue(host, value, &Registry());
                hpk::FailAllocationAfter(0);
                if (built) {
                    hpk::ReleaseHostValue(host);
                } else {
                    const HostValue zero{};
                    Check(std::memcmp(&host, &zero, sizeof host) == 0);
                }
                Check(hpk::LiveBlocks() == before);
            }

            for (std::size_t i = 0; i < kRecordCount; ++i) {
                if (record == kRecordCount || record == i) kRecords[i](value);
            }
        }
    }
    Check(hpk::LiveBlocks() == blocks && hpk::LiveBytes() == bytes);
    return 0;
}
