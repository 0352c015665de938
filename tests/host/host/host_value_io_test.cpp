// The host's own building, reading and releasing of HostValue records.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "host/host_value_io.h"
#include "text/json_text.h"

namespace hpk::host {
namespace {

BindingValue SampleTree() {
    BindingValue value;
    value.Member("uri").SetString("/arx-login/v1/session");
    value.Member("count").SetUnsigned(18446744073709551615ull);
    value.Member("delta").SetSigned(-42);
    value.Member("ratio").SetFloat(0.25);
    value.Member("on").SetBool(true);
    value.Member("nothing");
    const std::uint8_t bytes[] = {0, 1, 2, 255};
    value.Member("bytes").SetBlob(bytes, sizeof(bytes));
    BindingValue& list = value.Member("list");
    list.Append().SetString("Kraków");
    list.Append().MakeStructure();
    list.Append().MakeCollection();
    return value;
}

TEST(HostValueIo, BuiltValuesReadBackToTheSameTree) {
    BindingValue original = SampleTree();
    HostValue host{};
    ASSERT_TRUE(BuildHostValue(host, original).IsOk());
    EXPECT_EQ(static_cast<std::uint32_t>(host.tag), static_cast<std::uint32_t>(HostValueTag::Map));

    const Outcome<BindingValue> read = ReadHostValue(host);
    ASSERT_TRUE(read.IsOk()) << read.Error();
    const BindingValue& copy = read.Value();
    EXPECT_EQ(JsonText(copy, JsonLayout::Compact), JsonText(original, JsonLayout::Compact));

    ReleaseHostValue(host);
    EXPECT_EQ(static_cast<std::uint32_t>(host.tag), 0u);
    EXPECT_EQ(static_cast<std::uint64_t>(host.payload.unsignedValue), 0u);
}

TEST(HostValueIo, OwnedTextsCarryTheirLengthAndMapKeysAreOwned) {
    BindingValue value;
    value.Member("key").SetString("value");
    HostValue host{};
    ASSERT_TRUE(BuildHostValue(host, value).IsOk());
    ASSERT_EQ(static_cast<std::uint32_t>(host.payload.span.count), 1u);
    const auto* entry = static_cast<const HostValueEntry*>(host.payload.span.data);
    EXPECT_STREQ(entry->key, "key");
    EXPECT_EQ(static_cast<int>(entry->ownsKey), 1);
    EXPECT_EQ(static_cast<std::uint32_t>(entry->value.tag), static_cast<std::uint32_t>(HostValueTag::StringOwned));
    EXPECT_EQ(static_cast<std::uint32_t>(entry->value.payload.span.count), 5u);
    ReleaseHostValue(host);
}

TEST(HostValueIo, BrokenRecordsAreReportedWithWhereTheyAre) {
    const char text[] = "abc";
    HostValue elements[2]{};
    elements[0].tag = 6;
    elements[0].payload.span = {const_cast<char*>(text), 3};
    HostValue array{};
    array.tag = 9;
    array.payload.span = {elements, 2};
    HostValueEntry entry{"list", array, 0};
    HostValue map{};
    map.tag = 10;
    map.payload.span = {&entry, 1};

    struct Row {
        const char* name;
        HostValue second;
        const char* message;
    };
    HostValue badTag{};
    badTag.tag = 11;
    HostValue badLength{};
    badLength.tag = 6;
    badLength.payload.span = {const_cast<char*>(text), 7};
    HostValue nullArray{};
    nullArray.tag = 9;
    nullArray.payload.span = {nullptr, 3};
    HostValue badBool{};
    badBool.tag = 1;
    badBool.payload.boolean = 2;
    HostValue unreadableText{};
    unreadableText.tag = 5;
    unreadableText.payload.span = {reinterpret_cast<void*>(16), 0};
    const Row rows[] = {
        {"tag", badTag, "<value>.list[1]: tag 11 is not a value tag (0 to 10)"},
        {"length", badLength, "<value>.list[1]: owned text says it is 7 bytes long but its terminator comes after 3"},
        {"null array", nullArray, "<value>.list[1]: tag 9 with count 3 points to unreadable memory"},
        {"bool", badBool, "<value>.list[1]: bool record holds 2 instead of 0 or 1"},
        {"text", unreadableText, "<value>.list[1]: tag 5 text is unreadable or not terminated"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        elements[1] = row.second;
        const Outcome<BindingValue> read = ReadHostValue(map);
        EXPECT_FALSE(read.IsOk());
        EXPECT_EQ(read.Error(), row.message);
    }
}

TEST(HostValueIo, AMillionLevelsDeepNeedNoCallStack) {
    constexpr int kDepth = 1'000'000;
    BindingValue deep;
    BindingValue* cursor = &deep;
    for (int i = 0; i < kDepth; ++i) cursor = &cursor->Append();
    cursor->SetUnsigned(7);

    HostValue host{};
    ASSERT_TRUE(BuildHostValue(host, deep).IsOk());
    const Outcome<BindingValue> read = ReadHostValue(host);
    ASSERT_TRUE(read.IsOk()) << read.Error();
    const BindingValue& copy = read.Value();
    ReleaseHostValue(host);

    const BindingValue* walk = &copy;
    for (int i = 0; i < kDepth; ++i) {
        ASSERT_EQ(walk->Size(), 1u);
        walk = &walk->Element(0);
    }
    EXPECT_EQ(walk->AsUnsigned(), 7u);
}

}  // namespace
}  // namespace hpk::host
