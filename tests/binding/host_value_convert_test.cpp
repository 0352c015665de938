// Host value exchange: building records for the host, reading them back,
// releasing them, and doing all three without leaks or recursion.
#include "binding/host_value_convert.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "boundary/allocation_hooks.h"

namespace hpk {
namespace {

constexpr std::uint32_t Tag(HostValueTag tag) { return static_cast<std::uint32_t>(tag); }

const BindingTypeRecord* const kColour = reinterpret_cast<const BindingTypeRecord*>(0x1000);

class FakeEnumNames : public EnumNameSource {
public:
    const char* EnumeratorName(const BindingTypeRecord* type, std::int32_t value) const override {
        if (type == kColour && value == 1) return "Red";
        return nullptr;
    }
};

// A compact rendering of a tree for whole-value comparisons. Recursion is
// fine here: the trees compared this way are a few levels deep.
std::string Render(const BindingValue& value) {
    switch (value.Kind()) {
        case BindingValueKind::Collection: {
            std::string text = "[";
            for (std::size_t i = 0; i < value.Size(); ++i) text += (i ? "," : "") + Render(value.Element(i));
            return text + "]";
        }
        case BindingValueKind::Structure: {
            std::string text = "{";
            value.ForEachMember([&](std::string_view key, const BindingValue& member) {
                text += (text.size() > 1 ? "," : "") + std::string(key) + ":" + Render(member);
            });
            return text + "}";
        }
        default: return std::string(KindText(value.Kind())) + "(" + value.Text() + ")";
    }
}

BindingValue SampleTree() {
    BindingValue value;
    value.Member("name").SetString("summoner");
    value.Member("level").SetUnsigned(42);
    value.Member("delta").SetSigned(-3);
    value.Member("ratio").SetFloat(0.5);
    value.Member("ranked").SetBool(true);
    value.Member("raw").SetBlob({1, 2, 3});
    value.Member("none");
    value.Member("games").Element(0).Member("champion").SetString("Ahri");
    value.Member("games").Element(1).MakeCollection();
    value.Member("games").Element(2).MakeStructure();
    value.Member("empty text").SetString("");
    return value;
}

TEST(HostValueConvert, ScalarsGetTheirTags) {
    const FakeEnumNames names;
    BindingValue value;
    HostValueOwner owner;

    value.Clear();
    ASSERT_TRUE(ToHostValue(owner.Get(), value, &names));
    EXPECT_EQ(owner.Get().tag, Tag(HostValueTag::Null));

    value.SetBool(true);
    ASSERT_TRUE(ToHostValue(owner.Get(), value, &names));
    EXPECT_EQ(owner.Get().tag, Tag(HostValueTag::Bool));
    EXPECT_EQ(owner.Get().payload.boolean, 1);

    value.SetSigned(-5);
    ASSERT_TRUE(ToHostValue(owner.Get(), value, &names));
    EXPECT_EQ(owner.Get().tag, Tag(HostValueTag::Signed));
    EXPECT_EQ(owner.Get().payload.signedValue, -5);

    value.SetUnsigned(18446744073709551615ull);
    ASSERT_TRUE(ToHostValue(owner.Get(), value, &names));
    EXPECT_EQ(owner.Get().tag, Tag(HostValueTag::Unsigned));
    EXPECT_EQ(owner.Get().payload.unsignedValue, 18446744073709551615ull);

    value.SetFloat(-0.25);
    ASSERT_TRUE(ToHostValue(owner.Get(), value, &names));
    EXPECT_EQ(owner.Get().tag, Tag(HostValueTag::Double));
    EXPECT_EQ(owner.Get().payload.number, -0.25);
}

TEST(HostValueConvert, TextsAndBytesAreOwnedCopies) {
    BindingValue value;
    value.SetString("hello");
    HostValueOwner text;
    ASSERT_TRUE(ToHostValue(text.Get(), value, nullptr));
    EXPECT_EQ(text.Get().tag, Tag(HostValueTag::StringOwned));
    EXPECT_EQ(text.Get().payload.span.count, 5u);
    EXPECT_STREQ(static_cast<const char*>(text.Get().payload.span.data), "hello");
    EXPECT_NE(text.Get().payload.span.data, value.AsString().data());

    value.SetBlob({0, 255, 7});
    HostValueOwner bytes;
    ASSERT_TRUE(ToHostValue(bytes.Get(), value, nullptr));
    EXPECT_EQ(bytes.Get().tag, Tag(HostValueTag::BinaryOwned));
    ASSERT_EQ(bytes.Get().payload.span.count, 3u);
    EXPECT_EQ(std::memcmp(bytes.Get().payload.span.data, value.BlobData(), 3), 0);

    value.SetString("");
    HostValueOwner emptyText;
    ASSERT_TRUE(ToHostValue(emptyText.Get(), value, nullptr));
    EXPECT_EQ(emptyText.Get().tag, Tag(HostValueTag::StringOwned));
    EXPECT_EQ(emptyText.Get().payload.span.count, 0u);
    EXPECT_STREQ(static_cast<const char*>(emptyText.Get().payload.span.data), "");
}

TEST(HostValueConvert, EnumsAreNamedWhenTheSourceKnowsTheValue) {
    const FakeEnumNames names;
    const struct {
        std::int32_t value;
        const EnumNameSource* names;
        std::uint32_t tag;
        const char* text;
        std::int64_t number;
    } rows[] = {
        {1, &names, Tag(HostValueTag::StringOwned), "Red", 0},
        {-2, &names, Tag(HostValueTag::Signed), nullptr, -2},
        {1, nullptr, Tag(HostValueTag::Signed), nullptr, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        BindingValue value;
        value.SetEnum(row.value, kColour);
        HostValueOwner owner;
        ASSERT_TRUE(ToHostValue(owner.Get(), value, row.names));
        EXPECT_EQ(owner.Get().tag, row.tag);
        if (row.text != nullptr) {
            EXPECT_STREQ(static_cast<const char*>(owner.Get().payload.span.data), row.text);
            EXPECT_EQ(owner.Get().payload.span.count, std::strlen(row.text));
        } else {
            EXPECT_EQ(owner.Get().payload.signedValue, row.number);
        }
    }
}

TEST(HostValueConvert, StructuresBecomeMapsInKeyOrderWithOwnedKeys) {
    BindingValue value;
    value.Member("b").SetSigned(2);
    value.Member("a").SetSigned(1);
    value.Member("ab").Element(1).SetBool(false);
    HostValueOwner owner;
    ASSERT_TRUE(ToHostValue(owner.Get(), value, nullptr));
    ASSERT_EQ(owner.Get().tag, Tag(HostValueTag::Map));
    ASSERT_EQ(owner.Get().payload.span.count, 3u);
    const auto* entries = static_cast<const HostValueEntry*>(owner.Get().payload.span.data);
    const char* keys[] = {"a", "ab", "b"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_STREQ(entries[i].key, keys[i]);
        EXPECT_EQ(entries[i].ownsKey, 1);
    }
    // Entries are packed: copy fields out rather than bind references to them.
    EXPECT_EQ(+entries[0].value.payload.signedValue, 1);
    ASSERT_EQ(+entries[1].value.tag, Tag(HostValueTag::Array));
    ASSERT_EQ(+entries[1].value.payload.span.count, 2u);
    const auto* elements = static_cast<const HostValue*>(entries[1].value.payload.span.data);
    EXPECT_EQ(+elements[0].tag, Tag(HostValueTag::Null));
    EXPECT_EQ(+elements[1].tag, Tag(HostValueTag::Bool));
    EXPECT_EQ(elements[1].payload.boolean, 0);
}

TEST(HostValueConvert, EmptyContainersKeepTheirTags) {
    BindingValue value;
    value.MakeCollection();
    HostValueOwner list;
    ASSERT_TRUE(ToHostValue(list.Get(), value, nullptr));
    EXPECT_EQ(list.Get().tag, Tag(HostValueTag::Array));
    EXPECT_EQ(list.Get().payload.span.count, 0u);
    value.MakeStructure();
    HostValueOwner map;
    ASSERT_TRUE(ToHostValue(map.Get(), value, nullptr));
    EXPECT_EQ(map.Get().tag, Tag(HostValueTag::Map));
    EXPECT_EQ(map.Get().payload.span.count, 0u);
}

TEST(HostValueConvert, RoundTripKeepsTheTree) {
    const BindingValue original = SampleTree();
    HostValueOwner owner;
    ASSERT_TRUE(ToHostValue(owner.Get(), original, nullptr));
    BindingResult result;
    HostValueToBinding(result, owner.Get(), "<value>");
    ASSERT_TRUE(result.IsOk()) << result.ErrorText();
    EXPECT_EQ(Render(result.Value()), Render(original));
    EXPECT_EQ(Render(result.Value()),
              "{delta:signed(-3),empty text:string(),games:[{champion:string(Ahri)},[],{}],level:unsigned(42),"
              "name:string(summoner),none:empty(),ranked:bool(true),ratio:float(0.500000),raw:blob(AQID)}");
}

TEST(HostValueConvert, ReadsBorrowedTagsAndIgnoresTheTextLength) {
    static char text[] = "borrowed";
    static std::uint8_t bytes[] = {9, 8, 7};
    HostValue values[4] = {};
    values[0].tag = Tag(HostValueTag::StringBorrowed);
    values[0].payload.span = HostValueSpan{text, 3};  // the length word is not consulted
    values[1].tag = Tag(HostValueTag::BinaryBorrowed);
    values[1].payload.span = HostValueSpan{bytes, 2};
    values[2].tag = Tag(HostValueTag::StringOwned);
    values[2].payload.span = HostValueSpan{nullptr, 5};  // no text reads as empty
    values[3].tag = Tag(HostValueTag::Array);
    values[3].payload.span = HostValueSpan{nullptr, 4};
    HostValue list{};
    list.tag = Tag(HostValueTag::Array);
    list.payload.span = HostValueSpan{values, 4};
    BindingResult result;
    HostValueToBinding(result, list, "<value>");
    ASSERT_TRUE(result.IsOk());
    EXPECT_EQ(Render(result.Value()), "[string(borrowed),blob(CQg=),string(),[]]");
    ReleaseHostValue(values[0]);  // borrowed: nothing to free, record zeroed
    EXPECT_EQ(values[0].tag, 0u);
    EXPECT_EQ(std::string(text), "borrowed");
}

TEST(HostValueConvert, ARepeatedKeyKeepsTheLastValue) {
    HostValue inner[1] = {};
    inner[0].tag = Tag(HostValueTag::Signed);
    inner[0].payload.signedValue = 1;
    HostValueEntry entries[3] = {};
    entries[0].key = "k";
    entries[0].value.tag = Tag(HostValueTag::Array);
    entries[0].value.payload.span = HostValueSpan{inner, 1};
    entries[1].key = "other";
    entries[2].key = "k";
    entries[2].value.tag = Tag(HostValueTag::Bool);
    entries[2].value.payload.boolean = 1;
    HostValue map{};
    map.tag = Tag(HostValueTag::Map);
    map.payload.span = HostValueSpan{entries, 3};
    BindingResult result;
    HostValueToBinding(result, map, "<value>");
    EXPECT_EQ(Render(result.Value()), "{k:bool(true),other:empty()}");

    std::swap(entries[0], entries[2]);  // a container after a scalar replaces it as well
    BindingResult reversed;
    HostValueToBinding(reversed, map, "<value>");
    EXPECT_EQ(Render(reversed.Value()), "{k:[signed(1)],other:empty()}");
}

TEST(HostValueConvert, AnUnknownTagFailsWithThePath) {
    HostValue bad{};
    bad.tag = 11;
    HostValue elements[2] = {};
    elements[0].tag = Tag(HostValueTag::Bool);
    elements[1] = bad;
    HostValue nested{};
    nested.tag = Tag(HostValueTag::Array);
    nested.payload.span = HostValueSpan{elements, 2};
    const struct {
        const HostValue* value;
        const char* path;
    } rows[] = {{&bad, "<value>"}, {&nested, "data"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        BindingResult result;
        HostValueToBinding(result, *row.value, row.path);
        EXPECT_FALSE(result.IsOk());
        EXPECT_EQ(result.ErrorText(), std::string("Couldn't assign value to '") + row.path +
                                          "' of type object because the input is of an incompatible type ''.");
        EXPECT_EQ(result.Value().Size(), 1u);  // the partial tree is gone
    }
}

TEST(HostValueConvert, AFailedResultIsLeftAlone) {
    BindingResult result;
    result.SetError("first");
    HostValue value{};
    value.tag = Tag(HostValueTag::Bool);
    HostValueToBinding(result, value, "<value>");
    EXPECT_EQ(result.ErrorText(), "first");
}

TEST(HostValueConvert, ReleaseFreesOnlyWhatIsOwned) {
    const std::int64_t liveBefore = LiveBytes();
    static char borrowedKey[] = "borrowed key";
    static char borrowedText[] = "borrowed text";
    auto* entries = static_cast<HostValueEntry*>(Allocate(2 * sizeof(HostValueEntry)));
    std::memset(entries, 0, 2 * sizeof(HostValueEntry));
    entries[0].key = borrowedKey;
    entries[0].ownsKey = 0;
    entries[0].value.tag = Tag(HostValueTag::StringBorrowed);
    entries[0].value.payload.span = HostValueSpan{borrowedText, 13};
    entries[1].key = DuplicateText("owned", 5);
    entries[1].ownsKey = 1;
    entries[1].value.tag = Tag(HostValueTag::StringOwned);
    entries[1].value.payload.span = HostValueSpan{DuplicateText("x", 1), 1};
    HostValue map{};
    map.tag = Tag(HostValueTag::Map);
    map.payload.span = HostValueSpan{entries, 2};
    ReleaseHostValue(map);
    EXPECT_EQ(LiveBytes(), liveBefore);
    const HostValue zero{};
    EXPECT_EQ(std::memcmp(&map, &zero, sizeof(HostValue)), 0);
    EXPECT_STREQ(borrowedKey, "borrowed key");
}

TEST(HostValueConvert, OwnerReleasesUnlessHandedOver) {
    const BindingValue tree = SampleTree();
    const std::int64_t liveBefore = LiveBytes();
    {
        HostValueOwner dropped;
        ASSERT_TRUE(ToHostValue(dropped.Get(), tree, nullptr));
    }
    EXPECT_EQ(LiveBytes(), liveBefore);
    HostValue handed{};
    {
        HostValueOwner owner;
        ASSERT_TRUE(ToHostValue(owner.Get(), tree, nullptr));
        handed = owner.Release();
        EXPECT_EQ(owner.Get().tag, 0u);
    }
    EXPECT_EQ(handed.tag, Tag(HostValueTag::Map));
    EXPECT_GT(LiveBytes(), liveBefore);
    ReleaseHostValue(handed);
    EXPECT_EQ(LiveBytes(), liveBefore);
}

TEST(HostValueConvert, RunningOutOfMemoryLeavesNothingBehind) {
    const FakeEnumNames names;
    BindingValue tree = SampleTree();
    tree.Member("colour").SetEnum(1, kColour);
    const std::int64_t liveBefore = LiveBytes();
    bool built = false;
    int failures = 0;
    for (std::uint64_t n = 1; !built && n < 1000; ++n) {
        SCOPED_TRACE(n);
        HostValue host;
        std::memset(&host, 0x7F, sizeof host);
        FailAllocationAfter(n);
        built = ToHostValue(host, tree, &names);
        FailAllocationAfter(0);
        if (built) {
            ReleaseHostValue(host);
        } else {
            ++failures;
            const HostValue zero{};
            EXPECT_EQ(std::memcmp(&host, &zero, sizeof(HostValue)), 0);
        }
        EXPECT_EQ(LiveBytes(), liveBefore);
    }
    EXPECT_TRUE(built);
    // One failure per allocation of a full build: 11 keys, 3 texts, 1 enum
    // name, 1 blob and 3 arrays (empty containers need none).
    EXPECT_EQ(failures, 19);
}

TEST(HostValueConvert, RunningOutOfMemoryWhileReadingLeavesNothingBehind) {
    BindingValue tree = SampleTree();
    tree.Member("long").SetString(std::string(200, 'x'));
    tree.Member("games").Element(30).SetBlob(std::vector<std::uint8_t>(100, 3));
    HostValueOwner host;
    ASSERT_TRUE(ToHostValue(host.Get(), tree, nullptr));
    const std::int64_t liveBefore = LiveBytes();
    bool read = false;
    for (std::uint64_t n = 1; !read && n < 500; ++n) {
        SCOPED_TRACE(n);
        {
            BindingResult result;
            FailAllocationAfter(n);
            try {
                HostValueToBinding(result, host.Get(), "<value>");
                read = true;
            } catch (const std::bad_alloc&) {
                // Memory shortage is the one exception, for the boundary guard to turn into a failure.
            }
            FailAllocationAfter(0);
            if (read) {
                EXPECT_EQ(Render(result.Value()), Render(tree));
            }
        }
        EXPECT_EQ(LiveBytes(), liveBefore);
    }
    EXPECT_TRUE(read);
}

TEST(HostValueConvert, AMillionLevelsDeepRoundTripAndRelease) {
    constexpr std::size_t kDepth = 1000000;
    const std::int64_t liveBefore = LiveBytes();
    {
        BindingValue deep;
        BindingValue* node = &deep;
        for (std::size_t i = 0; i < kDepth; ++i) {
            node = (i % 2 == 0) ? &node->Member("n") : &node->Append();
            if (i % 3 == 0) node->MakeCollection().Append().SetString("side");  // siblings below the chain
        }
        node->SetString("bottom");

        HostValueOwner host;
        ASSERT_TRUE(ToHostValue(host.Get(), deep, nullptr));
        BindingResult back;
        HostValueToBinding(back, host.Get(), "<value>");
        ASSERT_TRUE(back.IsOk());
        const BindingValue* walk = &back.Value();
        std::size_t depth = 0;
        while (walk->Kind() == BindingValueKind::Structure || walk->Kind() == BindingValueKind::Collection) {
            walk = walk->Kind() == BindingValueKind::Structure ? &walk->Member("n") : &walk->Element(walk->Size() - 1);
            ++depth;
        }
        EXPECT_EQ(depth, kDepth);
        EXPECT_EQ(walk->AsString(), "bottom");
    }
    EXPECT_EQ(LiveBytes(), liveBefore);
}

}  // namespace
}  // namespace hpk
