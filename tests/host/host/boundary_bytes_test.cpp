// The host's boundary routines against records written out byte by byte:
// HostValue building, reading and releasing, the host table and the load
// record. Pointers are the only bytes not known in advance; "pppppppp" stands
// for one (the next of the given pointers when laying records out, any value
// when comparing what was built).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "host/host_value_io.h"
#include "text/json_text.h"
#include "host/plugin_session.h"

namespace hpk::host {
namespace {

std::string Squeezed(std::string hex) {
    hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
    return hex;
}

// Lays out `hex` (spaces ignored) with each "pppppppp" replaced by the next of
// `pointers`, little-endian.
std::vector<std::uint8_t> Bytes(const std::string& text, std::initializer_list<const void*> pointers) {
    const std::string hex = Squeezed(text);
    std::vector<std::uint8_t> out;
    auto next = pointers.begin();
    for (std::size_t i = 0; i < hex.size();) {
        if (hex[i] == 'p') {
            EXPECT_NE(next, pointers.end()) << "more pointer slots than pointers";
            if (next == pointers.end()) return out;
            const auto word = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(*next++));
            for (int b = 0; b < 4; ++b) out.push_back(static_cast<std::uint8_t>(word >> (8 * b)));
            i += 8;
            continue;
        }
        out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    EXPECT_EQ(next, pointers.end()) << "more pointers than slots";
    return out;
}

// The bytes at `data` as hex, with the 4-byte words at `pointerOffsets` shown
// as "pppppppp".
std::string Hex(const void* data, std::size_t size, std::initializer_list<std::size_t> pointerOffsets = {}) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::string out;
    for (std::size_t i = 0; i < size;) {
        if (std::find(pointerOffsets.begin(), pointerOffsets.end(), i) != pointerOffsets.end()) {
            out += "pppppppp";
            i += 4;
            continue;
        }
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", bytes[i++]);
        out += pair;
    }
    return out;
}

TEST(BoundaryBytes, BuiltScalarsHaveTheirLayout) {
    struct Row {
        const char* name;
        BindingValue value;
        const char* record;
        const char* pointee;  // the bytes a span points to, or null
    };
    const std::uint8_t blob[] = {0x01, 0x02, 0xFF};
    Row rows[8] = {
        {"null", {}, "00000000 0000000000000000", nullptr},
        {"bool", {}, "01000000 0100000000000000", nullptr},
        {"signed", {}, "02000000 feffffffffffffff", nullptr},
        {"unsigned", {}, "03000000 0100000001000000", nullptr},
        {"double", {}, "04000000 000000000000d03f", nullptr},
        {"string", {}, "06000000 pppppppp 02000000", "616200"},
        {"empty string", {}, "06000000 pppppppp 00000000", "00"},
        {"blob", {}, "08000000 pppppppp 03000000", "0102ff"},
    };
    rows[1].value.SetBool(true);
    rows[2].value.SetSigned(-2);
    rows[3].value.SetUnsigned(0x100000001ull);
    rows[4].value.SetFloat(0.25);
    rows[5].value.SetString("ab");
    rows[6].value.SetString("");
    rows[7].value.SetBlob(blob, sizeof blob);
    for (Row& row : rows) {
        SCOPED_TRACE(row.name);
        HostValue host{};
        ASSERT_TRUE(BuildHostValue(host, row.value).IsOk());
        const bool span = row.pointee != nullptr;
        EXPECT_EQ(Hex(&host, sizeof host,
                      span ? std::initializer_list<std::size_t>{4} : std::initializer_list<std::size_t>{}),
                  Squeezed(row.record));
        if (span) {
            const std::string pointee = Squeezed(row.pointee);
            EXPECT_EQ(Hex(host.payload.span.data, pointee.size() / 2), pointee);
        }
        ReleaseHostValue(host);
        EXPECT_EQ(Hex(&host, sizeof host), Squeezed("00000000 0000000000000000"));
    }
}

TEST(BoundaryBytes, BuiltContainersLayTheirElementsAndEntriesOut) {
    BindingValue list;
    list.Append().SetUnsigned(7);
    list.Append();
    HostValue array{};
    ASSERT_TRUE(BuildHostValue(array, list).IsOk());
    EXPECT_EQ(Hex(&array, sizeof array, {4}), Squeezed("09000000 pppppppp 02000000"));
    EXPECT_EQ(Hex(array.payload.span.data, 2 * sizeof(HostValue)),
              Squeezed("03000000 0700000000000000  00000000 0000000000000000"));
    ReleaseHostValue(array);

    BindingValue structure;
    structure.Member("k").SetBool(true);
    HostValue map{};
    ASSERT_TRUE(BuildHostValue(map, structure).IsOk());
    EXPECT_EQ(Hex(&map, sizeof map, {4}), Squeezed("0a000000 pppppppp 01000000"));
    const auto* entry = static_cast<const HostValueEntry*>(map.payload.span.data);
    // Key, value record, then the byte that says the key is the receiver's to free.
    EXPECT_EQ(Hex(entry, sizeof(HostValueEntry), {0}), Squeezed("pppppppp 01000000 0100000000000000 01"));
    EXPECT_EQ(Hex(entry->key, 2), "6b00");
    ReleaseHostValue(map);
}

TEST(BoundaryBytes, ReadsRecordsLaidOutByteByByte) {
    const char borrowed[] = "hi";
    const char owned[] = "abc";
    const std::uint8_t blob[] = {0xDE, 0xAD};
    const char keyList[] = "list";
    const char keyText[] = "text";
    const char keyBlob[] = "blob";
    const std::vector<std::uint8_t> elements = Bytes(
        "01000000 0100000000000000"    // true
        "02000000 f6ffffffffffffff"    // -10
        "04000000 0000000000000440"    // 2.5
        "06000000 pppppppp 03000000",  // owned "abc"
        {owned});
    const std::vector<std::uint8_t> entries = Bytes(
        "pppppppp 09000000 pppppppp 04000000 00"
        "pppppppp 05000000 pppppppp 00000000 00"  // a borrowed text's count is not read
        "pppppppp 07000000 pppppppp 02000000 00",
        {keyList, elements.data(), keyText, borrowed, keyBlob, blob});
    const std::vector<std::uint8_t> map = Bytes("0a000000 pppppppp 03000000", {entries.data()});

    const Outcome<BindingValue> read = ReadHostValue(*reinterpret_cast<const HostValue*>(map.data()));
    ASSERT_TRUE(read.IsOk()) << read.Error();
    const BindingValue& out = read.Value();
    EXPECT_EQ(JsonText(out.Member("list"), JsonLayout::Compact), R"([true,-10,2.5,"abc"])");
    EXPECT_EQ(out.Member("text").AsString(), "hi");
    ASSERT_EQ(out.Member("blob").Size(), 2u);
    EXPECT_EQ(Hex(out.Member("blob").BlobData(), 2), "dead");
}

TEST(BoundaryBytes, ReleaseFreesOwnedKeysAndSpansOnly) {
    // An entry block from malloc, as a receiver's release expects; one key
    // borrowed, one owned, one borrowed text and one owned.
    static const char kBorrowedKey[] = "a";
    static const char kBorrowedText[] = "static";
    char* ownedKey = static_cast<char*>(std::malloc(2));
    std::memcpy(ownedKey, "b", 2);
    char* ownedText = static_cast<char*>(std::malloc(3));
    std::memcpy(ownedText, "xy", 3);
    const std::vector<std::uint8_t> entries = Bytes(
        "pppppppp 05000000 pppppppp 06000000 00"
        "pppppppp 06000000 pppppppp 02000000 01",
        {kBorrowedKey, kBorrowedText, ownedKey, ownedText});
    void* block = std::malloc(entries.size());
    std::memcpy(block, entries.data(), entries.size());
    const std::vector<std::uint8_t> record = Bytes("0a000000 pppppppp 02000000", {block});
    HostValue map;
    std::memcpy(&map, record.data(), sizeof map);

    ReleaseHostValue(map);  // a sanitized or memcheck run fails on a wrong free
    EXPECT_EQ(Hex(&map, sizeof map), Squeezed("00000000 0000000000000000"));
}

void RequestStub(HostResponse*, const HostRequest*) {}
std::uint8_t InitStub(void*, const HostApi*) { return 1; }
void ShutdownStub(void*) {}
void CountersStub(void*, MemoryCountersRecord*) {}

TEST(BoundaryBytes, ReadsALoadRecordAndHostTableLaidOutByteByByte) {
    const char* const tags[] = {"Plugins"};
    const char empty[] = "";
    const std::vector<std::uint8_t> enumerator = Bytes("00000000 pppppppp pppppppp 05000000", {"Five", empty});
    const std::vector<std::uint8_t> type =
        Bytes("00000000 pppppppp pppppppp 04000000 pppppppp 00000000 00000000 00000000 pppppppp 01000000",
              {"Count", empty, "A count.", enumerator.data()});
    const std::vector<std::uint8_t> event = Bytes("00000000 pppppppp pppppppp pppppppp pppppppp pppppppp 01000000",
                                                  {"OnCount", empty, "Count", "Fired.", tags});
    const std::vector<std::uint8_t> endpoint = Bytes(
        // function: next, zero, user data, name, namespace, arguments, count
        "00000000 00000000 pppppppp pppppppp pppppppp 00000000 00000000"
        // result {kind 12 string, element kind, name}, description, help,
        // thread-safe, async type name, tags, tag count
        "0c000000 00000000 pppppppp pppppppp pppppppp 01 pppppppp 00000000 00000000"
        // request routine, argument locations, path, method, flags, text lists, count, method name
        "pppppppp 00000000 pppppppp 02000000 00 00000000 00000000 pppppppp",
        {&endpoint, "GetCount", empty, empty, "Reads it.", empty, empty, reinterpret_cast<const void*>(&RequestStub),
         "/count", empty});
    const std::vector<std::uint8_t> table =
        Bytes("pppppppp 01000000 pppppppp 01000000 pppppppp 01000000", {endpoint.data(), type.data(), event.data()});
    const std::vector<std::uint8_t> callbacks =
        Bytes("pppppppp pppppppp pppppppp",
              {reinterpret_cast<const void*>(&InitStub), reinterpret_cast<const void*>(&ShutdownStub),
               reinterpret_cast<const void*>(&CountersStub)});
    int plugin = 0;
    const std::vector<std::uint8_t> record = Bytes("12000000 00000000 00000000 pppppppp pppppppp pppppppp pppppppp",
                                                   {callbacks.data(), &plugin, "arx-content-targeting", table.data()});

    PluginCallbacks read{};
    std::string name;
    ApiDescription api;
    const Outcome<> loaded = ReadLoadRecord(*reinterpret_cast<const PluginLoadRecord*>(record.data()), read, name, api);
    ASSERT_TRUE(loaded.IsOk()) << loaded.Error();
    const auto init = read.init;  // packed: read by value
    const auto counters = read.memoryCounters;
    EXPECT_EQ(init, &InitStub);
    EXPECT_EQ(counters, &CountersStub);
    EXPECT_EQ(name, "arx-content-targeting");
    EXPECT_TRUE(api.problems.empty()) << api.problems.front();
    ASSERT_EQ(api.functions.size(), 1u);
    const FunctionInfo& function = api.functions[0];
    EXPECT_EQ(function.name, "GetCount");
    EXPECT_EQ(function.description, "Reads it.");
    EXPECT_EQ(function.result.kind, HostTypeKind::String);
    EXPECT_TRUE(function.threadSafe);
    EXPECT_EQ(function.endpoint.pathTemplate, "/count");
    EXPECT_EQ(function.endpoint.method, 2u);
    EXPECT_EQ(function.endpoint.callback, &RequestStub);
    EXPECT_EQ(function.endpoint.userData, static_cast<const void*>(&endpoint));
    ASSERT_EQ(api.types.size(), 1u);
    EXPECT_EQ(api.types[0].size, 4u);
    ASSERT_EQ(api.types[0].enumerators.size(), 1u);
    EXPECT_EQ(api.types[0].enumerators[0].name, "Five");
    EXPECT_EQ(api.types[0].enumerators[0].value, 5);
    ASSERT_EQ(api.events.size(), 1u);
    EXPECT_EQ(api.events[0].payloadType, "Count");
    EXPECT_EQ(api.events[0].tags, std::vector<std::string>{"Plugins"});

    // A callbacks record with a null slot fails the handshake.
    const std::vector<std::uint8_t> broken =
        Bytes("pppppppp 00000000 pppppppp",
              {reinterpret_cast<const void*>(&InitStub), reinterpret_cast<const void*>(&CountersStub)});
    PluginLoadRecord again;
    std::memcpy(&again, record.data(), sizeof again);
    again.callbacks = reinterpret_cast<PluginCallbacks*>(const_cast<std::uint8_t*>(broken.data()));
    const Outcome<> refused = ReadLoadRecord(again, read, name, api);
    EXPECT_FALSE(refused.IsOk());
    EXPECT_EQ(refused.Error(), "the callback table has a null slot");
}

}  // namespace
}  // namespace hpk::host
