// BindingValue and BindingResult: kinds, reads, element and member access,
// ordering, copy and move, and trees nested far deeper than any stack.
#include "binding/binding_value.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "binding/page_supplier.h"
#include "binding/value_arena.h"
#include "boundary/allocation_hooks.h"

namespace hpk {
namespace {

std::vector<std::string> KeysOf(const BindingValue& value) {
    std::vector<std::string> keys;
    value.ForEachMember([&](std::string_view key, const BindingValue&) { keys.emplace_back(key); });
    return keys;
}

// One value of every kind, built fresh for each table row.
BindingValue MakeOfKind(BindingValueKind kind) {
    BindingValue value;
    switch (kind) {
        case BindingValueKind::Bool: value.SetBool(true); break;
        case BindingValueKind::Signed: value.SetSigned(-42); break;
        case BindingValueKind::Unsigned: value.SetUnsigned(18446744073709551615ull); break;
        case BindingValueKind::Float: value.SetFloat(1.5); break;
        case BindingValueKind::String: value.SetString("abc"); break;
        case BindingValueKind::Blob: value.SetBlob({'a', 'b', 'c', 'd'}); break;
        case BindingValueKind::Enum: value.SetEnum(-7, nullptr); break;
        case BindingValueKind::Collection: value.Element(2).SetBool(false); break;
        case BindingValueKind::Structure:
            value.Member("x");
            value.Member("y");
            break;
        default: break;
    }
    return value;
}

TEST(BindingValue, KindTextNamesEveryKindAndNothingElse) {
    const struct {
        int code;
        const char* text;
    } rows[] = {{0, "empty"}, {1, "bool"}, {2, "signed"},     {3, "unsigned"},  {4, "float"}, {5, "string"},
                {6, "blob"},  {7, "enum"}, {8, "collection"}, {9, "structure"}, {10, ""},     {255, ""}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        EXPECT_STREQ(KindText(static_cast<BindingValueKind>(row.code)), row.text);
    }
}

TEST(BindingValue, SizeAndTextOfEveryKind) {
    const struct {
        BindingValueKind kind;
        std::size_t size;
        const char* text;
    } rows[] = {
        {BindingValueKind::Empty, 0, ""},         {BindingValueKind::Bool, 1, "true"},
        {BindingValueKind::Signed, 1, "-42"},     {BindingValueKind::Unsigned, 1, "18446744073709551615"},
        {BindingValueKind::Float, 1, "1.500000"}, {BindingValueKind::String, 3, "abc"},
        {BindingValueKind::Blob, 4, "YWJjZA=="},  {BindingValueKind::Enum, 1, "-7"},
        {BindingValueKind::Collection, 3, ""},    {BindingValueKind::Structure, 2, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(KindText(row.kind));
        const BindingValue value = MakeOfKind(row.kind);
        EXPECT_EQ(value.Kind(), row.kind);
        EXPECT_EQ(value.Size(), row.size);
        EXPECT_EQ(value.Text(), row.text);
    }
}

TEST(BindingValue, FloatTextUsesSixDecimals) {
    const struct {
        double number;
        const char* text;
    } rows[] = {{0.0, "0.000000"}, {-2.25, "-2.250000"}, {1e-7, "0.000000"}, {123456789.125, "123456789.125000"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        BindingValue value;
        value.SetFloat(row.number);
        EXPECT_EQ(value.Text(), row.text);
    }
    BindingValue huge;
    huge.SetFloat(-1.7976931348623157e308);
    EXPECT_EQ(huge.Text().size(), 317u);
    EXPECT_EQ(huge.Text().substr(huge.Text().size() - 7), ".000000");
}

TEST(BindingValue, TypedReadsFallBackUnlessTheKindMatches) {
    const BindingValueKind kinds[] = {BindingValueKind::Empty,    BindingValueKind::Bool,  BindingValueKind::Signed,
                                      BindingValueKind::Unsigned, BindingValueKind::Float, BindingValueKind::String,
                                      BindingValueKind::Blob,     BindingValueKind::Enum,  BindingValueKind::Collection,
                                      BindingValueKind::Structure};
    for (BindingValueKind kind : kinds) {
        SCOPED_TRACE(KindText(kind));
        const BindingValue value = MakeOfKind(kind);
        EXPECT_EQ(value.AsBool(false), kind == BindingValueKind::Bool);
        EXPECT_EQ(value.AsSigned(5), kind == BindingValueKind::Signed ? -42 : 5);
        EXPECT_EQ(value.AsUnsigned(5), kind == BindingValueKind::Unsigned ? 18446744073709551615ull : 5u);
        EXPECT_EQ(value.AsFloat(0.25), kind == BindingValueKind::Float ? 1.5 : 0.25);
        EXPECT_EQ(value.AsString(), kind == BindingValueKind::String ? "abc" : "");
        EXPECT_EQ(value.BlobData() != nullptr, kind == BindingValueKind::Blob);
        EXPECT_EQ(value.AsEnum({9, nullptr}).value, kind == BindingValueKind::Enum ? -7 : 9);
    }
}

TEST(BindingValue, SettersReplaceThePreviousPayload) {
    BindingValue value;
    value.Member("a").SetString("kept?");
    value.SetSigned(-1);
    EXPECT_EQ(value.Kind(), BindingValueKind::Signed);
    EXPECT_EQ(value.AsSigned(), -1);
    value.SetSigned(std::int32_t{-5});
    EXPECT_EQ(value.AsSigned(), -5);
    value.SetFloat(1.25f);
    EXPECT_EQ(value.AsFloat(), 1.25);
    const std::uint8_t bytes[] = {1, 2, 3};
    value.SetBlob(bytes, 3);
    ASSERT_EQ(value.Size(), 3u);
    EXPECT_EQ(value.BlobData()[2], 3);
    value.SetBlob(std::vector<std::uint8_t>{});
    EXPECT_EQ(value.Kind(), BindingValueKind::Blob);
    EXPECT_EQ(value.Size(), 0u);
    EXPECT_EQ(value.Text(), "");
    value.Clear();
    EXPECT_TRUE(value.IsEmpty());
}

TEST(BindingValue, StringsMayHoldNulBytes) {
    BindingValue value;
    value.SetString(std::string_view("a\0b", 3));
    EXPECT_EQ(value.Size(), 3u);
    EXPECT_EQ(value.AsString(), std::string_view("a\0b", 3));
    value.Member(std::string_view("k\0x", 3)).SetBool(true);
    EXPECT_FALSE(value.HasMember("k"));
    EXPECT_TRUE(value.HasMember(std::string_view("k\0x", 3)));
}

TEST(BindingValue, MutableElementGrowsAnEmptyValueIntoACollection) {
    BindingValue value;
    value.Element(5).SetUnsigned(7);
    ASSERT_EQ(value.Kind(), BindingValueKind::Collection);
    ASSERT_EQ(value.Size(), 6u);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_TRUE(std::as_const(value).Element(i).IsEmpty());
    EXPECT_EQ(std::as_const(value).Element(5).AsUnsigned(), 7u);
    value.Element(1).SetBool(true);  // existing elements are not appended again
    EXPECT_EQ(value.Size(), 6u);
}

TEST(BindingValue, MutableAccessReplacesAValueOfAnotherKind) {
    BindingValue value;
    value.Element(3);
    value.Member("only");
    ASSERT_EQ(value.Kind(), BindingValueKind::Structure);
    EXPECT_EQ(KeysOf(value), std::vector<std::string>{"only"});
    EXPECT_TRUE(value.Member("only").IsEmpty());

    value.SetString("text");
    value.Element(0).SetSigned(1);
    ASSERT_EQ(value.Kind(), BindingValueKind::Collection);
    EXPECT_EQ(value.Size(), 1u);
}

TEST(BindingValue, AppendAddsOneElementEvenToANonCollection) {
    BindingValue value;
    value.SetBool(true);
    value.Append().SetSigned(1);
    value.Append().SetSigned(2);
    ASSERT_EQ(value.Size(), 2u);
    EXPECT_EQ(std::as_const(value).Element(1).AsSigned(), 2);
}

TEST(BindingValue, MakeCollectionAndStructureKeepAnExistingOne) {
    BindingValue value;
    value.Append();
    value.MakeCollection();
    EXPECT_EQ(value.Size(), 1u);
    value.MakeStructure();
    EXPECT_EQ(value.Size(), 0u);
    value.Member("a");
    value.MakeStructure();
    EXPECT_EQ(value.Size(), 1u);
}

TEST(BindingValue, ReadOnlyAccessNeverInserts) {
    BindingValue value;
    value.Member("present");
    const BindingValue& view = value;
    EXPECT_EQ(&view.Member("missing"), &BindingValue::EmptyValue());
    EXPECT_EQ(&view.Element(0), &BindingValue::EmptyValue());
    EXPECT_EQ(value.Size(), 1u);
    EXPECT_FALSE(value.HasMember("missing"));
    EXPECT_TRUE(value.HasMember("present"));  // an empty member still counts

    BindingValue list;
    list.Element(1);
    EXPECT_EQ(&std::as_const(list).Element(2), &BindingValue::EmptyValue());
    EXPECT_EQ(&std::as_const(list).Member("a"), &BindingValue::EmptyValue());
    EXPECT_FALSE(list.HasMember("a"));
    EXPECT_EQ(list.Kind(), BindingValueKind::Collection);
}

TEST(BindingValue, MembersIterateInUnsignedByteOrder) {
    BindingValue value;
    // "a\xFF" sorts after "ab": bytes compare unsigned.
    for (const char* key : {"b", "a", "ab", "\xC3\xA9", "B", "", "a\xFF"}) value.Member(key);
    EXPECT_EQ(KeysOf(value), (std::vector<std::string>{"", "B", "a", "ab", "a\xFF", "b", "\xC3\xA9"}));
}

TEST(BindingValue, ManyMembersStaySortedAndFindable) {
    std::vector<std::string> keys;
    for (int i = 0; i < 3000; ++i) keys.push_back("key" + std::to_string(i * 7919 % 3001));
    std::mt19937 shuffle(12345);
    std::shuffle(keys.begin(), keys.end(), shuffle);
    BindingValue value;
    for (const std::string& key : keys) value.Member(key).SetString(key);
    for (const std::string& key : keys) value.Member(key).SetString(key);  // found, not added
    std::vector<std::string> sorted = keys;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(value.Size(), sorted.size());
    EXPECT_EQ(KeysOf(value), sorted);
    for (const std::string& key : keys) EXPECT_EQ(std::as_const(value).Member(key).AsString(), key);
}

TEST(BindingValue, KeysSharingLongBeginningsNulsAndHighBytesStayInByteOrder) {
    // Keys are ordered by their first four bytes and then word by word: mix
    // lengths around the word size, shared beginnings, NULs and bytes above
    // 0x7F so that every step of that comparison decides some pair.
    const char alphabet[] = {'\0', 'a', 'b', '\x7F', '\x80', '\xFF'};
    std::mt19937 random(2024);
    std::vector<std::string> keys;
    for (int i = 0; i < 1500; ++i) {
        std::string key = i % 3 == 0 ? "profile_" : (i % 3 == 1 ? "pro" : "");
        const std::size_t length = random() % 13;
        for (std::size_t j = 0; j < length; ++j) key.push_back(alphabet[random() % sizeof alphabet]);
        keys.push_back(key);
    }
    BindingValue value;
    for (const std::string& key : keys) value.Member(key).SetString(key);
    std::vector<std::string> sorted = keys;
    std::sort(sorted.begin(), sorted.end());  // std::string compares bytes as unsigned
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    EXPECT_EQ(KeysOf(value), sorted);
    for (const std::string& key : sorted) EXPECT_EQ(std::as_const(value).Member(key).AsString(), key);
}

TEST(BindingValue, MemberReferencesSurviveSiblingInsertion) {
    BindingValue value;
    BindingValue& first = value.Member("m");
    for (int i = 0; i < 200; ++i) value.Member("k" + std::to_string(i));
    first.SetSigned(3);
    EXPECT_EQ(std::as_const(value).Member("m").AsSigned(), 3);
}

TEST(BindingValue, EqualStringsShareOneInternEntry) {
    BindingValue value;
    value.Element(0).SetString("same");
    value.Element(1).SetString("same");
    BindingValueArena* arena = value.Arena();
    ASSERT_NE(arena, nullptr);
    EXPECT_EQ(arena->InternedCount(), 1u);
    EXPECT_EQ(arena->InternReferenceCount("same"), 2u);
    value.Element(0).Clear();
    EXPECT_EQ(arena->InternReferenceCount("same"), 1u);
    EXPECT_EQ(std::as_const(value).Element(1).AsString(), "same");
    value.Element(1).SetString("");
    value.Element(2).SetString("");
    value.Member("");
    EXPECT_EQ(arena->InternedCount(), 0u);
}

TEST(BindingValue, KeysAndStringsShareEntriesAndAreReleasedWithTheirMembers) {
    BindingValue value;
    value.Member("outer").Member("name").SetString("name");
    BindingValueArena* arena = value.Arena();
    EXPECT_EQ(arena->InternReferenceCount("name"), 2u);
    value.Member("outer").Clear();
    EXPECT_EQ(arena->InternReferenceCount("name"), 0u);
    EXPECT_EQ(arena->InternReferenceCount("outer"), 1u);
}

TEST(BindingValue, SetStringMayQuoteItsOwnTree) {
    BindingValue value;
    value.Member("a").SetString("inner text");
    value.SetString(value.Member("a").AsString());
    EXPECT_EQ(value.AsString(), "inner text");
    value.Member(value.AsString()).SetBool(true);
    EXPECT_TRUE(value.HasMember("inner text"));
    value.SetString(value.AsString());
}

TEST(BindingValue, CopyIsDeepAndIndependent) {
    BindingValue source;
    source.Member("list").Element(1).SetString("two");
    source.Member("blob").SetBlob({9, 8});
    source.Member("enum").SetEnum(4, nullptr);
    source.Member("n").SetFloat(2.5);
    BindingValue copy(source);
    source.Member("list").Element(1).SetString("changed");
    source.Member("blob").Clear();
    EXPECT_NE(copy.Arena(), source.Arena());
    EXPECT_EQ(KeysOf(copy), (std::vector<std::string>{"blob", "enum", "list", "n"}));
    EXPECT_EQ(std::as_const(copy).Member("list").Element(1).AsString(), "two");
    EXPECT_EQ(std::as_const(copy).Member("blob").Text(), "CQg=");
    EXPECT_EQ(std::as_const(copy).Member("enum").AsEnum().value, 4);
    EXPECT_EQ(std::as_const(copy).Member("n").AsFloat(), 2.5);

    BindingValue assigned;
    assigned.SetString("old");
    assigned = copy;
    EXPECT_EQ(std::as_const(assigned).Member("list").Element(1).AsString(), "two");
    copy.Member("other").CopyFrom(source.Member("list"));  // into a member of another tree
    EXPECT_EQ(std::as_const(copy).Member("other").Element(1).AsString(), "changed");
}

TEST(BindingValue, CopyWithinOneTreeSurvivesNesting) {
    BindingValue value;
    value.Member("a").Member("b").SetString("deep");
    value.CopyFrom(value.Member("a"));  // a child into its ancestor
    EXPECT_EQ(KeysOf(value), std::vector<std::string>{"b"});
    EXPECT_EQ(std::as_const(value).Member("b").AsString(), "deep");

    value.Member("b").CopyFrom(value);  // an ancestor into its child
    EXPECT_EQ(std::as_const(value).Member("b").Member("b").AsString(), "deep");
    value.Member("c").CopyFrom(value.Member("b"));  // sibling
    EXPECT_EQ(std::as_const(value).Member("c").Member("b").AsString(), "deep");
    value = value;
    EXPECT_EQ(value.Size(), 2u);
}

TEST(BindingValue, MoveBetweenRootsSwapsWithoutAllocating) {
    BindingValue source;
    source.Member("k").SetString("v");
    BindingValue target;
    target.SetString("old");
    BindingValueArena* sourceArena = source.Arena();
    const std::int64_t liveBefore = LiveBytes();
    const std::size_t blocksBefore = PageSupplier::Instance().BlocksHeld();
    target.MoveFrom(source);
    EXPECT_EQ(LiveBytes(), liveBefore);
    EXPECT_EQ(PageSupplier::Instance().BlocksHeld(), blocksBefore);
    EXPECT_EQ(target.Arena(), sourceArena);
    EXPECT_EQ(std::as_const(target).Member("k").AsString(), "v");
    EXPECT_TRUE(source.IsEmpty());

    BindingValue constructed(std::move(target));
    EXPECT_EQ(constructed.Arena(), sourceArena);
    EXPECT_TRUE(target.IsEmpty());
}

TEST(BindingValue, MoveFromAChildCopiesAndEmptiesIt) {
    BindingValue tree;
    tree.Member("data").Member("x").SetSigned(1);
    tree.Member("other").SetBool(true);
    BindingValue moved;
    moved.MoveFrom(tree.Member("data"));
    EXPECT_EQ(std::as_const(moved).Member("x").AsSigned(), 1);
    EXPECT_TRUE(std::as_const(tree).Member("data").IsEmpty());
    EXPECT_TRUE(tree.HasMember("data"));

    tree.Member("data").Member("y").SetSigned(2);
    tree.MoveFrom(tree.Member("data"));  // unwrapping a member into its own root
    EXPECT_EQ(KeysOf(tree), std::vector<std::string>{"y"});

    BindingValue other;
    other.Member("slot").MoveFrom(moved);  // a root into another tree's member
    EXPECT_EQ(std::as_const(other).Member("slot").Member("x").AsSigned(), 1);
    EXPECT_TRUE(moved.IsEmpty());
}

TEST(BindingValue, DestroyingARootFreesItsWholeTree) {
    BindingValueArena::ReleaseSpare();
    const std::int64_t liveBefore = LiveBytes();
    const std::size_t blocksBefore = PageSupplier::Instance().BlocksHeld();
    {
        BindingValue value;
        for (int i = 0; i < 2000; ++i) {
            BindingValue& item = value.Append();
            item.Member("name").SetString("item" + std::to_string(i));
            item.Member("bytes").SetBlob(std::vector<std::uint8_t>(100, 1));
        }
        EXPECT_GT(LiveBytes(), liveBefore);
        EXPECT_GT(PageSupplier::Instance().BlocksHeld(), blocksBefore);
    }
    EXPECT_EQ(LiveBytes(), liveBefore);
    // The emptied arena is kept for the next tree with a few pages; the rest
    // went back.
    EXPECT_EQ(BindingValueArena::SpareCount(), 1u);
    BindingValueArena::ReleaseSpare();
    EXPECT_EQ(PageSupplier::Instance().BlocksHeld(), blocksBefore);
}

TEST(BindingValue, ClearingAChildReturnsItsParts) {
    BindingValue value;
    value.Member("keep").SetString("k");
    const std::int64_t liveBefore = LiveBytes();
    for (int i = 0; i < 500; ++i) value.Member("big").Append().SetBlob(std::vector<std::uint8_t>(200, 2));
    value.Member("big").Clear();
    EXPECT_EQ(LiveBytes(), liveBefore);
    EXPECT_EQ(value.Arena()->InternedCount(), 3u);  // keep, k, big
}

TEST(BindingValue, RunningOutOfMemoryMidCopyLeavesNothingBehind) {
    // Texts and blobs past the largest pooled size take counted blocks, so
    // injected failures land in the middle of the copy.
    BindingValue source;
    for (int i = 0; i < 6; ++i) {
        BindingValue& item = source.Member("item" + std::to_string(i));
        // Parts too large for any pool come from the counted heap, where
        // allocations can be made to fail.
        item.Member("text").SetString(std::string(1500, static_cast<char>('a' + i)));
        item.Member("bytes").SetBlob(std::vector<std::uint8_t>(1400, static_cast<std::uint8_t>(i)));
        item.Member("list").Element(100).SetSigned(i);
    }
    const std::int64_t liveBefore = LiveBytes();
    bool copied = false;
    int failures = 0;
    for (std::uint64_t n = 1; !copied && n < 500; ++n) {
        SCOPED_TRACE(n);
        BindingValue target;
        target.Member("old").SetString(std::string(80, 'o'));
        FailAllocationAfter(n);
        try {
            target.CopyFrom(source);
            copied = true;
        } catch (const std::bad_alloc&) {
            ++failures;
        }
        FailAllocationAfter(0);
        if (copied) {
            EXPECT_EQ(std::as_const(target).Member("item5").Member("text").AsString(), std::string(1500, 'f'));
        } else {
            // Whatever was copied so far is a valid tree that can be used and freed.
            target.Member("after").SetString("usable");
            EXPECT_TRUE(target.HasMember("after"));
        }
    }
    EXPECT_TRUE(copied);
    EXPECT_GT(failures, 0);
    EXPECT_EQ(LiveBytes(), liveBefore);
}

TEST(BindingResult, ErrorReplacesTheValueWithOneErrorMember) {
    BindingResult result;
    EXPECT_TRUE(result.IsOk());
    EXPECT_TRUE(result.Value().IsEmpty());
    EXPECT_EQ(result.ErrorText(), "");
    result.Value().SetSigned(5);
    result.SetError("A value for 'x' is required.");
    EXPECT_FALSE(result.IsOk());
    ASSERT_EQ(result.Value().Kind(), BindingValueKind::Structure);
    EXPECT_EQ(KeysOf(result.Value()), std::vector<std::string>{"error"});
    EXPECT_EQ(result.ErrorText(), "A value for 'x' is required.");
    result.Value().Member("error").SetSigned(1);
    EXPECT_EQ(result.ErrorText(), "");
}

TEST(BindingResult, TakeValueMovesItOut) {
    BindingResult result;
    result.Value().Member("a").SetString("b");
    BindingValue target;
    result.TakeValue(target);
    EXPECT_EQ(std::as_const(target).Member("a").AsString(), "b");
    EXPECT_TRUE(result.Value().IsEmpty());
}

// Alternates structures and collections down to `depth`, a string at the bottom.
void BuildDeep(BindingValue& root, std::size_t depth) {
    BindingValue* node = &root;
    for (std::size_t i = 0; i < depth; ++i) node = (i % 2 == 0) ? &node->Member("n") : &node->Append();
    node->SetString("bottom");
}

std::size_t MeasureDepth(const BindingValue& root) {
    const BindingValue* node = &root;
    std::size_t depth = 0;
    while (!node->IsEmpty() && node->Kind() != BindingValueKind::String) {
        node = node->Kind() == BindingValueKind::Structure ? &node->Member("n") : &node->Element(0);
        ++depth;
    }
    return node->AsString() == "bottom" ? depth : 0;
}

TEST(BindingValue, AMillionLevelsDeepNeverOverflowTheStack) {
    constexpr std::size_t kDepth = 1000000;
    const std::int64_t liveBefore = LiveBytes();
    {
        BindingValue deep;
        BuildDeep(deep, kDepth);
        BindingValue copy(deep);
        EXPECT_EQ(MeasureDepth(copy), kDepth);
        BindingValue holder;
        holder.Member("deep").CopyFrom(deep);
        holder.Member("deep").Clear();  // a child's subtree released by walking
        EXPECT_EQ(holder.Arena()->InternedCount(), 1u);
        deep.Clear();
        EXPECT_TRUE(deep.IsEmpty());
        BuildDeep(deep, kDepth);
        deep = copy;  // copy assignment over an existing deep tree
        EXPECT_EQ(MeasureDepth(deep), kDepth);
    }
    EXPECT_EQ(LiveBytes(), liveBefore);
}

}  // namespace
}  // namespace hpk
