// Typed conversion of strings, enumerations, structures, vectors, objects and
// blobs, through the templates that the runtime and the feature use.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "binding/binding_convert.h"
#include "binding/type_registration.h"
#include "value_makers.h"

namespace hpk {
namespace {

enum class Letter : std::int32_t { A = 1, B = 2 };
enum class SessionState : std::uint8_t { InProgress = 0, Succeeded = 1, LoggingOut = 2, Error = 3 };
enum class Unregistered { X = 1 };

struct NotRegistered {
    int x = 0;
};
struct NotRegisteredYet {
    int x = 0;
};
struct Inner {
    std::int32_t x = 0;
    std::string label;
};
struct Outer {
    bool flag = false;
    Inner inner;
    std::vector<Inner> items;
    std::vector<std::int32_t> numbers;
    Letter letter = Letter::A;
    BindingValue extra;
    std::vector<std::uint8_t> bytes;
    double ratio = 0;
    std::vector<bool> bits;
};
struct Strict {
    std::string id;
    std::uint32_t count = 7;
};
struct Sparse {
    std::string text;
    bool on = false;
    std::uint64_t number = 0;
    SessionState state = SessionState::InProgress;
    std::vector<std::int32_t> list;
    BindingValue any;
    std::string kept;
};
struct AllOptional {
    std::string note;
    std::vector<std::int32_t> list;
};
struct Holder {
    AllOptional optional;
    Inner inner;
    BindingValue any;
    std::int32_t after = 0;
};
struct HoldsUnknown {
    NotRegisteredYet unknown;
};
struct Tree {
    std::int32_t id = 0;
    std::vector<Tree> children;
};


class ConvertNative : public ::testing::Test {
protected:
    ConvertNative() {
        RegisterEnum<Letter>(registry_, "Letters", {{"A", Letter::A}, {"B", Letter::B}});
        RegisterEnum<SessionState>(registry_, "SessionState",
                                   {{"IN_PROGRESS", SessionState::InProgress},
                                    {"ERROR", SessionState::Error},
                                    {"SUCCEEDED", SessionState::Succeeded},
                                    {"LOGGING_OUT", SessionState::LoggingOut}});
        RegisterStruct<Inner>(registry_, "Inner", {Field("x", &Inner::x), Field("label", &Inner::label)});
        RegisterStruct<Outer>(
            registry_, "Outer",
            {Field("flag", &Outer::flag), Field("inner", &Outer::inner), Field("items", &Outer::items),
             Field("numbers", &Outer::numbers), Field("letter", &Outer::letter), Field("extra", &Outer::extra),
             Field("bytes", &Outer::bytes), Field("ratio", &Outer::ratio), Field("bits", &Outer::bits)});
        RegisterStruct<Strict>(registry_, "Strict",
                               {Field("id", &Strict::id).Required(), Field("count", &Strict::count)});
        RegisterStruct<Sparse>(
            registry_, "Sparse",
            {Field("text", &Sparse::text).OmitWhenEmpty(), Field("on", &Sparse::on).OmitWhenEmpty(),
             Field("number", &Sparse::number).OmitWhenEmpty(), Field("state", &Sparse::state).OmitWhenEmpty(),
             Field("list", &Sparse::list).OmitWhenEmpty(), Field("any", &Sparse::any).OmitWhenEmpty(),
             Field("kept", &Sparse::kept)});
        RegisterStruct<AllOptional>(
            registry_, "AllOptional",
            {Field("note", &AllOptional::note).OmitWhenEmpty(), Field("list", &AllOptional::list).OmitWhenEmpty()});
        RegisterStruct<Holder>(
            registry_, "Holder",
            {Field("optional", &Holder::optional).OmitWhenEmpty(), Field("inner", &Holder::inner).OmitWhenEmpty(),
             Field("any", &Holder::any).OmitWhenEmpty(), Field("after", &Holder::after)});
        RegisterStruct<HoldsUnknown>(registry_, "HoldsUnknown",
                                     {Field("unknown", &HoldsUnknown::unknown).OmitWhenEmpty()});
        RegisterStruct<Tree>(registry_, "Tree", {Field("id", &Tree::id), Field("children", &Tree::children)});
    }

    template <class T>
    std::string From(T& target, const BindingValue& value) {
        BindingResult result;
        FromValue(result, target, value, "field", registry_);
        return result.ErrorText();
    }

    BindingTypeRegistry registry_;
};

TEST_F(ConvertNative, EnumerationTable) {
    BindingValue otherEnum;
    otherEnum.SetEnum(2, &TypeRecordOf<SessionState>());
    struct Row {
        const char* label;
        BindingValue input;
        Letter expected;
        std::string message;
    };
    const std::vector<Row> rows = {
        {"name", Str("A"), Letter::A, ""},
        {"unsigned number", Uns(1), Letter::A, ""},
        {"signed number", Sgn(2), Letter::B, ""},
        {"number as text", Str("1"), Letter::A, ""},
        {"hex number as text", Str("0x2"), Letter::B, ""},
        {"enum of another enumeration", otherEnum, Letter::B, ""},
        {"wrong case", Str("a"), Letter::A, "a is not a valid Letters enumeration value for 'field'."},
        {"text number not an enumerator", Str("3"), Letter::A,
         "3 is not a valid Letters enumeration value for 'field'."},
        {"huge text number", Str("99999999999999999999"), Letter::A,
         "99999999999999999999 is not a valid Letters enumeration value for 'field'."},
        {"number not an enumerator", Uns(5), Letter::A, "5 is not a valid Letters enumeration value for 'field'."},
        {"unsigned beyond 32 bits", Uns(4294967297ULL), Letter::A,
         "4294967297 is not a valid Letters enumeration value for 'field'."},
        {"negative number", Sgn(-1), Letter::A, "-1 is not a valid Letters enumeration value for 'field'."},
        {"float", Flt(1.0), Letter::A,
         "Couldn't assign value to 'field' of enum type because the input is of an invalid type float."},
        {"empty", BindingValue(), Letter::A, "A value for 'field' is required."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        Letter target = Letter::A;
        EXPECT_EQ(From(target, row.input), row.message);
        EXPECT_EQ(target, row.expected);
    }
}

TEST_F(ConvertNative, EnumerationValuesAreNotPositions) {
    SessionState state = SessionState::InProgress;
    EXPECT_EQ(From(state, Uns(3)), "");
    EXPECT_EQ(state, SessionState::Error);
    EXPECT_EQ(From(state, Str("SUCCEEDED")), "");
    EXPECT_EQ(state, SessionState::Succeeded);
}

TEST_F(ConvertNative, UnregisteredEnumerationIsNamedByItsRecord) {
    Unregistered target = Unregistered::X;
    const std::string expected =
        std::string("1 is not a valid ") + TypeRecordOf<Unregistered>().name + " enumeration value for 'field'.";
    EXPECT_EQ(From(target, Uns(1)), expected);
}

TEST_F(ConvertNative, StringTable) {
    BindingValue letterB;
    letterB.SetEnum(2, &TypeRecordOf<Letter>());
    BindingValue letterNine;
    letterNine.SetEnum(9, &TypeRecordOf<Letter>());
    BindingValue boolean;
    boolean.SetBool(true);
    struct Row {
        const char* label;
        BindingValue input;
        std::string expected;
        std::string message;
    };
    const std::vector<Row> rows = {
        {"string", Str("text"), "text", ""},
        {"enum gives its name", letterB, "B", ""},
        {"enum without name", letterNine, "", "9 is not a valid enumeration value for 'field'."},
        {"number", Uns(12), "", "Couldn't assign value to 'field' because the input is not a string."},
        {"bool", boolean, "", "Couldn't assign value to 'field' because the input is not a string."},
        {"empty", BindingValue(), "", "A value for 'field' is required."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        std::string target;
        EXPECT_EQ(From(target, row.input), row.message);
        EXPECT_EQ(target, row.expected);
    }
}

TEST_F(ConvertNative, StructureFromValueFillsEveryKindOfField) {
    BindingValue input;
    input.Member("flag").SetString("true");
    input.Member("inner").Member("x").SetSigned(-4);
    input.Member("inner").Member("label").SetString("in");
    input.Member("items").Element(1).Member("x").SetUnsigned(9);
    input.Member("numbers").Element(0).SetString("0x10");
    input.Member("letter").SetString("B");
    input.Member("extra").Member("deep").Element(2).SetBool(true);
    input.Member("bytes").SetBlob(std::vector<std::uint8_t>{1, 2, 3});
    input.Member("ratio").SetUnsigned(3);
    input.Member("bits").Element(1).SetBool(true);
    input.Member("unknown").SetString("ignored");

    Outer outer;
    EXPECT_EQ(From(outer, input), "");
    EXPECT_TRUE(outer.flag);
    EXPECT_EQ(outer.inner.x, -4);
    EXPECT_EQ(outer.inner.label, "in");
    ASSERT_EQ(outer.items.size(), 2u);
    EXPECT_EQ(outer.items[0].x, 0);
    EXPECT_EQ(outer.items[1].x, 9);
    EXPECT_EQ(outer.numbers, std::vector<std::int32_t>{16});
    EXPECT_EQ(outer.letter, Letter::B);
    EXPECT_EQ(outer.extra.Member("deep").Size(), 3u);
    EXPECT_TRUE(outer.extra.Member("deep").Element(2).AsBool());
    EXPECT_EQ(outer.bytes, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(outer.ratio, 3.0);
    EXPECT_EQ(outer.bits, (std::vector<bool>{false, true}));
}

TEST_F(ConvertNative, StructureMessages) {
    struct Row {
        const char* label;
        BindingValue input;
        std::string message;
    };
    BindingValue notStructure = Str("x");
    BindingValue missingRequired;
    missingRequired.Member("count").SetUnsigned(1);
    BindingValue emptyRequired;
    emptyRequired.Member("id");
    BindingValue badField;
    badField.Member("id").SetString("a");
    badField.Member("count").SetString("-1");
    const std::vector<Row> rows = {
        {"not a structure", notStructure,
         "Couldn't assign value to 'field' of type Strict because the input not a structure."},
        {"required missing", missingRequired,
         "Couldn't assign value to 'field' of type Strict because the input structure doesn't have required field "
         "'id'."},
        {"required present but empty", emptyRequired,
         "Couldn't assign value to 'field' of type Strict because the input structure doesn't have required field "
         "'id'."},
        {"field error uses the field name", badField, "Value -1 for 'count' of type uint32 is out of range"},
        {"empty", BindingValue(), "A value for 'field' is required."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        Strict strict;
        EXPECT_EQ(From(strict, row.input), row.message);
    }
    NotRegistered unknown;
    EXPECT_EQ(
        From(unknown, badField),
        "Couldn't assign value to 'field' because the input is an unregistered structure or not a structure at all.");
}

TEST_F(ConvertNative, OptionalFieldMissingKeepsItsContent) {
    BindingValue input;
    input.Member("id").SetString("abc");
    Strict strict;
    strict.count = 42;
    EXPECT_EQ(From(strict, input), "");
    EXPECT_EQ(strict.id, "abc");
    EXPECT_EQ(strict.count, 42u);
}

TEST_F(ConvertNative, FirstErrorWinsAndEarlierFieldsStay) {
    BindingValue input;
    input.Member("flag").SetBool(true);
    input.Member("inner").Member("x").SetString("bad");
    input.Member("letter").SetString("B");
    Outer outer;
    BindingResult result;
    FromValue(result, outer, input, "<value>", registry_);
    EXPECT_EQ(result.ErrorText(), "Value bad for 'x' of type int32 is in an incorrect format");
    EXPECT_TRUE(outer.flag);             // converted before the failing field
    EXPECT_EQ(outer.letter, Letter::A);  // after it: untouched

    // A later conversion into the same result does nothing.
    std::string text = "keep";
    FromValue(result, text, Str("other"), "next", registry_);
    EXPECT_EQ(text, "keep");
    EXPECT_EQ(result.ErrorText(), "Value bad for 'x' of type int32 is in an incorrect format");
}

TEST_F(ConvertNative, VectorKeepsDefaultsForEmptyElements) {
    BindingValue input;
    input.Element(0).SetSigned(1);
    input.Element(1);
    input.Element(2).SetSigned(3);
    std::vector<std::int32_t> numbers{9, 9, 9, 9, 9};
    EXPECT_EQ(From(numbers, input), "");
    EXPECT_EQ(numbers, (std::vector<std::int32_t>{1, 0, 3}));
}

TEST_F(ConvertNative, VectorMessages) {
    std::vector<std::int32_t> numbers{1, 2};
    EXPECT_EQ(From(numbers, Str("1")),
              "Couldn't assign value to 'field' of type vector because the input not a collection.");
    EXPECT_TRUE(numbers.empty());  // emptied before the check

    BindingValue input;
    input.Element(0).SetSigned(1);
    input.Element(1).SetString("x");
    EXPECT_EQ(From(numbers, input), "Value x for 'field' of type int32 is in an incorrect format");

    std::vector<std::vector<Letter>> nested;
    BindingValue grid;
    grid.Element(1).Element(0).SetString("B");
    EXPECT_EQ(From(nested, grid), "");
    ASSERT_EQ(nested.size(), 2u);
    EXPECT_TRUE(nested[0].empty());
    EXPECT_EQ(nested[1], std::vector<Letter>{Letter::B});
}

TEST_F(ConvertNative, ObjectAndBlobTargets) {
    BindingValue object;
    BindingValue input;
    input.Member("a").SetSigned(1);
    EXPECT_EQ(From(object, input), "");
    EXPECT_EQ(object.Member("a").AsSigned(), 1);
    EXPECT_EQ(From(object, BindingValue()), "A value for 'field' is required.");

    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(From(bytes, Str("AQID")),
              "Couldn't assign value to 'field' of type blob because the input is of an invalid type string.");
}

TEST_F(ConvertNative, StructureToValueWritesEveryField) {
    Outer outer;
    outer.flag = true;
    outer.inner.x = 5;
    outer.items.resize(2);
    outer.items[1].label = "second";
    outer.letter = Letter::B;
    outer.extra.Member("k").SetString("v");
    outer.bytes = {7};
    outer.ratio = 0.5;
    outer.bits = {true};

    BindingResult result;
    ToValue(result, outer, registry_);
    ASSERT_TRUE(result.IsOk()) << result.ErrorText();
    const BindingValue& value = result.Value();
    EXPECT_EQ(value.Kind(), BindingValueKind::Structure);
    EXPECT_EQ(value.Size(), 9u);
    EXPECT_TRUE(value.Member("flag").AsBool());
    EXPECT_EQ(value.Member("inner").Member("x").AsSigned(), 5);
    EXPECT_EQ(value.Member("inner").Member("label").Kind(), BindingValueKind::String);
    EXPECT_EQ(value.Member("items").Size(), 2u);
    EXPECT_EQ(value.Member("items").Element(1).Member("label").AsString(), "second");
    EXPECT_EQ(value.Member("numbers").Kind(), BindingValueKind::Collection);
    EXPECT_EQ(value.Member("numbers").Size(), 0u);
    EXPECT_EQ(value.Member("letter").AsEnum().value, 2);
    EXPECT_EQ(value.Member("letter").AsEnum().type, &TypeRecordOf<Letter>());
    EXPECT_EQ(value.Member("extra").Member("k").AsString(), "v");
    EXPECT_EQ(value.Member("bytes").Kind(), BindingValueKind::Blob);
    EXPECT_EQ(value.Member("ratio").AsFloat(), 0.5);
    EXPECT_TRUE(value.Member("bits").Element(0).AsBool());

    // And back again.
    Outer copy;
    BindingResult back;
    FromValue(back, copy, value, "<value>", registry_);
    ASSERT_TRUE(back.IsOk()) << back.ErrorText();
    EXPECT_EQ(copy.items[1].label, "second");
    EXPECT_EQ(copy.letter, Letter::B);
    EXPECT_EQ(copy.bytes, std::vector<std::uint8_t>{7});
}

TEST_F(ConvertNative, OmitWhenEmptyLeavesEmptyMembersOut) {
    Sparse sparse;
    BindingResult result;
    ToValue(result, sparse, registry_);
    ASSERT_TRUE(result.IsOk());
    // Only the field without the flag is written, empty as it is.
    EXPECT_EQ(result.Value().Size(), 1u);
    EXPECT_TRUE(result.Value().HasMember("kept"));
    EXPECT_EQ(result.Value().Member("kept").Kind(), BindingValueKind::String);

    sparse.text = "t";
    sparse.on = true;
    sparse.number = 1;
    sparse.state = SessionState::Error;
    sparse.list = {0};
    sparse.any.SetSigned(0);  // a zero is omittable, however it got there
    BindingResult filled;
    ToValue(filled, sparse, registry_);
    ASSERT_TRUE(filled.IsOk());
    EXPECT_EQ(filled.Value().Size(), 6u);
    EXPECT_FALSE(filled.Value().HasMember("any"));
    EXPECT_EQ(filled.Value().Member("list").Size(), 1u);
}

TEST_F(ConvertNative, OmitWhenEmptyJudgesNestedStructuresByTheirOutput) {
    Holder holder;
    holder.any.MakeStructure();
    BindingResult result;
    ToValue(result, holder, registry_);
    ASSERT_TRUE(result.IsOk()) << result.ErrorText();
    // "optional" would be a structure without members and "any" is one; "inner"
    // always has members, empty or not.
    EXPECT_FALSE(result.Value().HasMember("optional"));
    EXPECT_FALSE(result.Value().HasMember("any"));
    EXPECT_TRUE(result.Value().HasMember("inner"));
    EXPECT_EQ(result.Value().Member("inner").Size(), 2u);
    EXPECT_TRUE(result.Value().HasMember("after"));

    holder.optional.list = {1};
    BindingResult filled;
    ToValue(filled, holder, registry_);
    ASSERT_TRUE(filled.IsOk());
    EXPECT_EQ(filled.Value().Member("optional").Size(), 1u);

    // Omission never hides a record that cannot be converted.
    BindingResult unknown;
    ToValue(unknown, HoldsUnknown{}, registry_);
    EXPECT_EQ(unknown.ErrorText(), "Couldn't convert native value because it's an unregistered structure.");
}

TEST_F(ConvertNative, OmittableValueTable) {
    BindingValue emptyStructure;
    emptyStructure.MakeStructure();
    BindingValue enumZero;
    enumZero.SetEnum(0, nullptr);
    BindingValue boolTrue;
    boolTrue.SetBool(true);
    BindingValue negativeZero = Flt(-0.0);
    struct Row {
        const char* label;
        BindingValue value;
        bool omittable;
    };
    const std::vector<Row> rows = {
        {"empty", BindingValue(), true},    {"false", BindingValue(), true}, {"true", boolTrue, false},
        {"signed zero", Sgn(0), true},      {"signed", Sgn(-1), false},      {"unsigned zero", Uns(0), true},
        {"float zero", negativeZero, true}, {"float", Flt(0.1), false},      {"enum zero", enumZero, true},
        {"empty string", Str(""), true},    {"string", Str("x"), false},     {"empty structure", emptyStructure, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(IsOmittableValue(row.value), row.omittable);
    }
}

TEST_F(ConvertNative, ToValueOfUnregisteredStructureFails) {
    BindingResult result;
    ToValue(result, NotRegistered{}, registry_);
    EXPECT_EQ(result.ErrorText(), "Couldn't convert native value because it's an unregistered structure.");

    std::vector<NotRegistered> list(2);
    BindingResult listResult;
    ToValue(listResult, list, registry_);
    EXPECT_EQ(listResult.ErrorText(), "Couldn't convert native value because it's an unregistered structure.");
}

TEST_F(ConvertNative, ScalarsToValue) {
    BindingResult result;
    ToValue(result, std::int8_t{-3}, registry_);
    EXPECT_EQ(result.Value().Kind(), BindingValueKind::Signed);
    EXPECT_EQ(result.Value().AsSigned(), -3);
    ToValue(result, std::uint16_t{3}, registry_);
    EXPECT_EQ(result.Value().Kind(), BindingValueKind::Unsigned);
    ToValue(result, 1.5f, registry_);
    EXPECT_EQ(result.Value().AsFloat(), 1.5);
    ToValue(result, std::string("s"), registry_);
    EXPECT_EQ(result.Value().AsString(), "s");
    ToValue(result, std::vector<std::string>{"a", "b"}, registry_);
    EXPECT_EQ(result.Value().Element(1).AsString(), "b");
}

TEST_F(ConvertNative, SelfNestingStructuresStopAtTheDepthGuard) {
    BindingValue shallow;
    BindingValue* node = &shallow;
    for (int i = 0; i < 10; ++i) node = &node->Member("children").Element(0);
    node->Member("id").SetSigned(10);
    Tree tree;
    EXPECT_EQ(From(tree, shallow), "");

    BindingValue deep;
    node = &deep;
    for (int i = 0; i < 100; ++i) node = &node->Member("children").Element(0);
    EXPECT_EQ(From(tree, deep), "Couldn't assign value to 'children' because the input is nested too deeply.");

    Tree native;
    Tree* leaf = &native;
    for (int i = 0; i < 100; ++i) leaf = &leaf->children.emplace_back();
    BindingResult result;
    ToValue(result, native, registry_);
    EXPECT_EQ(result.ErrorText(), "Couldn't convert native value because it's nested too deeply.");
}

}  // namespace
}  // namespace hpk
