// Large inputs: a 100 MB JSON body, a 10,000-entry map with a repeated key in
// every form a map can arrive in, and YAML whose aliases would expand without
// end. Each ends in a value or a clean error, in bounded time.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/json_reader.h"
#include "formats/msgpack_reader.h"
#include "formats/yaml_reader.h"
#include "hardening_inputs.h"
#include "boundary/allocation_hooks.h"
#include "served_request.h"
#include "support/fake_host.h"

namespace hpk::hardening {
namespace {

// Under ASan every byte has a shadow and every block a redzone; a quarter of
// the size exercises the same paths.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kLargeBodyBytes = 25u << 20;
#else
constexpr std::size_t kLargeBodyBytes = 100u << 20;
#endif
constexpr std::size_t kChunkBytes = 1u << 20;

TEST(LargeInput, HundredMegabyteJsonBodyThroughTheRequestCallback) {
    // An array of 1 MiB strings, each different in its first byte.
    const std::size_t chunks = kLargeBodyBytes / kChunkBytes;
    std::string body;
    body.reserve(kLargeBodyBytes + chunks * 4 + 2);
    body += '[';
    for (std::size_t i = 0; i < chunks; ++i) {
        if (i != 0) body += ',';
        body += '"';
        body += static_cast<char>('a' + i % 26);
        body.append(kChunkBytes - 1, 'x');
        body += '"';
    }
    body += ']';
    ASSERT_GE(body.size(), kLargeBodyBytes);

    const LeakCheck leaks;
    {
        ServedFunctions served;
        HostRequestBuilder builder;
        builder.Method(6).Url("/measure-body").Body("application/json", body);
        const ServedAnswer answer = served.Call("MeasureBody", builder);
        EXPECT_EQ(answer.error, std::nullopt);
        EXPECT_EQ(answer.body.Member("size").AsUnsigned(), chunks);

        // Cut short, the same body is a clean reader error at the end of the text.
        builder.Body("application/json", body.substr(0, body.size() - 2));
        EXPECT_EQ(
            served.Call("MeasureBody", builder).error,
            "Error: Missing a closing quotation mark in string. at offset " + std::to_string(body.size() - 2) + ".");
    }
    EXPECT_EQ(leaks.BlockDelta(), 0);
    EXPECT_EQ(leaks.ByteDelta(), 0);
}

constexpr std::size_t kEntries = 10000;

// k0 .. k9998, then k0 again with the text "last": 10,000 entries, 9,999 keys.
std::string MapJson() {
    std::string text = "{";
    for (std::size_t i = 0; i + 1 < kEntries; ++i)
        text += "\"k" + std::to_string(i) + "\": " + std::to_string(i) + ", ";
    return text + "\"k0\": \"last\"}";
}

std::string MapYaml() {
    std::string text;
    for (std::size_t i = 0; i + 1 < kEntries; ++i) text += "k" + std::to_string(i) + ": " + std::to_string(i) + "\n";
    return text + "k0: last\n";
}

std::string MapMessagePack() {
    std::string bytes = "\xde";  // map 16
    bytes += static_cast<char>(kEntries >> 8);
    bytes += static_cast<char>(kEntries & 0xff);
    auto key = [&bytes](const std::string& k) {
        bytes += static_cast<char>(0xa0 | k.size());
        bytes += k;
    };
    for (std::size_t i = 0; i + 1 < kEntries; ++i) {
        key("k" + std::to_string(i));
        bytes += '\xcd';  // uint 16
        bytes += static_cast<char>(i >> 8);
        bytes += static_cast<char>(i & 0xff);
    }
    key("k0");
    key("last");
    return bytes;
}

void ExpectMapWithLastValue(const BindingResult& result) {
    ASSERT_TRUE(result.IsOk()) << result.ErrorText();
    const BindingValue& map = result.Value();
    EXPECT_EQ(map.Kind(), BindingValueKind::Structure);
    EXPECT_EQ(map.Size(), kEntries - 1);
    EXPECT_EQ(map.Member("k0").AsString(), "last");
    EXPECT_EQ(map.Member("k9998").AsUnsigned(), kEntries - 2);
}

TEST(LargeInput, TenThousandEntryMapWithARepeatedKeyKeepsTheLastValue) {
    {
        SCOPED_TRACE("json");
        ExpectMapWithLastValue(ParseJson(MapJson().c_str()));
    }
    {
        SCOPED_TRACE("yaml");
        const std::string yaml = MapYaml();
        ExpectMapWithLastValue(ParseYaml(yaml.data(), yaml.size()));
    }
    {
        SCOPED_TRACE("msgpack");
        const std::string bytes = MapMessagePack();
        MessagePackReadResult read = ReadMessagePack(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        EXPECT_EQ(read.consumed, bytes.size());
        ExpectMapWithLastValue(read.result);
    }
    {
        SCOPED_TRACE("host value");
        std::vector<std::string> keys;
        for (std::size_t i = 0; i + 1 < kEntries; ++i) keys.push_back("k" + std::to_string(i));
        keys.emplace_back("k0");
        std::vector<HostValueEntry> entries(kEntries);
        for (std::size_t i = 0; i < kEntries; ++i) {
            entries[i] = HostValueEntry{};
            entries[i].key = keys[i].c_str();
            entries[i].value.tag = static_cast<std::uint32_t>(HostValueTag::Unsigned);
            entries[i].value.payload.unsignedValue = i;
        }
        entries.back().value.tag = static_cast<std::uint32_t>(HostValueTag::StringBorrowed);
        entries.back().value.payload.span.data = const_cast<char*>("last");
        entries.back().value.payload.span.count = 4;
        HostValue map{};
        map.tag = static_cast<std::uint32_t>(HostValueTag::Map);
        map.payload.span.data = entries.data();
        map.payload.span.count = kEntries;
        BindingResult read;
        HostValueToBinding(read, map, "<value>");
        ExpectMapWithLastValue(read);
        // Out again: one entry per distinct key, in key order.
        const LeakCheck leaks;
        {
            HostValueOwner back;
            ASSERT_TRUE(ToHostValue(back.Get(), read.Value(), nullptr));
            const std::uint32_t count = back.Get().payload.span.count;
            EXPECT_EQ(count, kEntries - 1);
            const char* firstKey = static_cast<HostValueEntry*>(back.Get().payload.span.data)[0].key;
            EXPECT_STREQ(firstKey, "k0");
        }
        EXPECT_EQ(leaks.BlockDelta(), 0);
    }
}

// Nine levels, each naming the previous one nine times: 9^9 values if expanded.
// Levels 1 to 5 copy about 670,000 values; the first alias of level 6 (line 7,
// column 10) would copy 9^6 more and is refused.
std::string LaughingAliases() {
    std::string text = "a0: &a0 [\"lol\",\"lol\",\"lol\",\"lol\",\"lol\",\"lol\",\"lol\",\"lol\",\"lol\"]\n";
    for (int level = 1; level < 9; ++level) {
        const std::string previous = "*a" + std::to_string(level - 1);
        text += "a" + std::to_string(level) + ": &a" + std::to_string(level) + " [";
        for (int i = 0; i < 9; ++i) text += (i == 0 ? "" : ",") + previous;
        text += "]\n";
    }
    return text;
}

// One anchored list of 1,000 values, then 2,000 aliases of it in one list:
// each alias copies 1,001 values, so the 999th (column 10 + 3 * 998) is refused.
std::string WideAliases() {
    std::string text = "base: &b [";
    for (int i = 0; i < 1000; ++i) text += i == 0 ? "0" : ",0";
    text += "]\ncopies: [";
    for (int i = 0; i < 2000; ++i) text += i == 0 ? "*b" : ",*b";
    return text + "]\n";
}

TEST(LargeInput, YamlAliasBombsAreRefused) {
    struct Row {
        const char* name;
        std::string yaml;
        std::string error;
    };
    const Row rows[] = {
        {"nested", LaughingAliases(), "YAML aliases expand to more than 1000000 values. At line: 7 col: 10"},
        {"wide", WideAliases(), "YAML aliases expand to more than 1000000 values. At line: 2 col: 3004"},
    };
    const LeakCheck leaks;
    {
        ServedFunctions served;
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            const BindingResult result = ParseYaml(row.yaml.data(), row.yaml.size());
            ASSERT_FALSE(result.IsOk());
            EXPECT_EQ(result.ErrorText(), row.error);

            HostRequestBuilder builder;
            builder.Method(6).Url("/keep").Body("application/x-yaml", row.yaml);
            EXPECT_EQ(served.Call("Keep", builder).error, row.error);
        }
    }
    EXPECT_EQ(leaks.BlockDelta(), 0);
}

}  // namespace
}  // namespace hpk::hardening
