// Type records and the registry: get-or-create registration, lookups by name
// and by record, enumerators, events, functions, clear and reset.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "binding/fnv1a_hash.h"
#include "binding/type_registration.h"

namespace hpk {
namespace {

enum class Color : std::int32_t { Red = 1, Green = 2 };
struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
};
struct Shape {
    std::string name;
    std::vector<Point> points;
    Color color = Color::Red;
    std::vector<std::int32_t> weights;
    Point origin;
};
struct Other {
    std::uint8_t a = 0;
    std::uint64_t b = 0;
};

TEST(BindingTypeRecord, KindTexts) {
    const std::vector<std::pair<std::uint32_t, std::string>> rows = {
        {0, ""},          {1, "bool"},    {2, "int8"},  {3, "uint8"},      {4, "int16"},  {5, "uint16"},
        {6, "int32"},     {7, "uint32"},  {8, "int64"}, {9, "uint64"},     {10, "float"}, {11, "double"},
        {12, "string"},   {13, "object"}, {14, "blob"}, {15, "vector"},    {16, "enum"},  {17, "struct"},
        {18, "callback"}, {19, "map"},    {20, ""},     {0xffffffffu, ""},
    };
    for (const auto& [code, text] : rows) {
        SCOPED_TRACE(code);
        EXPECT_EQ(TypeKindText(static_cast<BindingTypeKind>(code)), text);
    }
}

TEST(BindingTypeRecord, OneRecordPerTypeWithItsHexName) {
    const BindingTypeRecord& point = TypeRecordOf<Point>();
    EXPECT_EQ(&point, &TypeRecordOf<const Point&>());
    EXPECT_EQ(point.name, point.buffer);
    char expected[16];
    std::snprintf(expected, sizeof expected, "#%08X", static_cast<unsigned>(point.identifier));
    EXPECT_STREQ(point.name, expected);

    const std::set<std::uint32_t> identifiers = {
        TypeRecordOf<int>().identifier,         TypeRecordOf<long>().identifier,
        TypeRecordOf<unsigned>().identifier,    TypeRecordOf<Point>().identifier,
        TypeRecordOf<Shape>().identifier,       TypeRecordOf<std::vector<Point>>().identifier,
        TypeRecordOf<std::string>().identifier, TypeRecordOf<Color>().identifier,
    };
    EXPECT_EQ(identifiers.size(), 8u);
    EXPECT_EQ(identifiers.count(kReservedTypeIdentifier), 0u);
}

TEST(BindingTypeRecord, ReservedRecordIsVoid) {
    EXPECT_EQ(ReservedTypeRecord().identifier, kReservedTypeIdentifier);
    EXPECT_STREQ(ReservedTypeRecord().name, "#00000000");
    EXPECT_EQ(&ReservedTypeRecord(), &TypeRecordOf<void>());
}

TEST(BindingTypeRegistry, SecondRegistrationKeepsTheFirstDescription) {
    BindingTypeRegistry registry;
    auto first = RegisterStruct<Point>(registry, "Point", {Field("x", &Point::x)});
    first.SetDescription("first").AddTag("one");
    EXPECT_FALSE(first.Existed());

    auto second = RegisterStruct<Point>(registry, "Point", {Field("x", &Point::x), Field("y", &Point::y)});
    second.SetDescription("second").AddTag("two").SetNameSpace("ns");
    second.AddEnumerator("E", 1);
    EXPECT_TRUE(second.Existed());
    EXPECT_EQ(second.Info(), first.Info());

    const BindingStructInfo* info = registry.FindTypeByName("Point");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->fields.size(), 1u);
    EXPECT_EQ(info->description, "first");
    EXPECT_EQ(info->tags, std::vector<std::string>{"one"});
    EXPECT_EQ(info->nameSpace, "");
    EXPECT_TRUE(info->enumerators.empty());
}

TEST(BindingTypeRegistry, DescriptionFieldsFromTheDeclarativeList) {
    BindingTypeRegistry registry;
    RegisterStruct<Point>(registry, "Point", {Field("x", &Point::x), Field("y", &Point::y)});
    RegisterEnum<Color>(registry, "Color", {{"Red", Color::Red}, {"Green", Color::Green}});
    RegisterStruct<Shape>(registry, "Shape",
                          {Field("name", &Shape::name).Required().Describe("the name"),
                           Field("points", &Shape::points).OmitWhenEmpty().Optional(), Field("color", &Shape::color),
                           Field("weights", &Shape::weights).ExportAs<std::string>(), Field("origin", &Shape::origin)})
        .SetDescription("A shape.")
        .AddTag("")
        .AddTag("geometry");

    const BindingStructInfo* shape = registry.FindType(TypeRecordOf<Shape>());
    const BindingStructInfo* point = registry.FindType(TypeRecordOf<Point>());
    const BindingStructInfo* color = registry.FindType(TypeRecordOf<Color>());
    ASSERT_NE(shape, nullptr);
    ASSERT_NE(point, nullptr);
    ASSERT_NE(color, nullptr);
    EXPECT_EQ(shape->size, sizeof(Shape));
    EXPECT_FALSE(shape->isEnumeration);
    EXPECT_TRUE(color->isEnumeration);
    EXPECT_EQ(color->size, sizeof(Color));
    EXPECT_EQ(shape->identifier, TypeRecordOf<Shape>().identifier);
    EXPECT_EQ(shape->record, &TypeRecordOf<Shape>());
    EXPECT_EQ(shape->registry, &registry);
    EXPECT_EQ(shape->tags, std::vector<std::string>{"geometry"});  // the empty tag is ignored
    ASSERT_EQ(shape->fields.size(), 5u);

    const BindingFieldInfo& name = shape->fields[0];
    EXPECT_EQ(name.name, "name");
    EXPECT_EQ(name.nameHash, Fnv1a32(std::string_view("name")));
    EXPECT_EQ(name.description, "the name");
    EXPECT_EQ(name.offset, offsetof(Shape, name));
    EXPECT_EQ(name.flags, kFieldRequired);
    EXPECT_EQ(name.type.kind, BindingTypeKind::String);
    EXPECT_EQ(name.record, &TypeRecordOf<std::string>());
    EXPECT_EQ(name.owner, shape);

    const BindingFieldInfo& points = shape->fields[1];
    EXPECT_EQ(points.offset, offsetof(Shape, points));
    EXPECT_EQ(points.flags, kFieldOmitWhenEmpty);
    EXPECT_TRUE(points.optional);
    EXPECT_EQ(points.type, (BindingTypeIdentifier{BindingTypeKind::Vector, BindingTypeKind::Struct, point}));

    EXPECT_EQ(shape->fields[2].type, (BindingTypeIdentifier{BindingTypeKind::Enum, BindingTypeKind::None, color}));
    EXPECT_EQ(shape->fields[3].type, (BindingTypeIdentifier{BindingTypeKind::Vector, BindingTypeKind::Int32, nullptr}));
    EXPECT_EQ(shape->fields[3].exportType.kind, BindingTypeKind::String);
    EXPECT_EQ(shape->fields[4].type, (BindingTypeIdentifier{BindingTypeKind::Struct, BindingTypeKind::None, point}));
    EXPECT_EQ(shape->fields[4].exportType.kind, BindingTypeKind::None);
}

TEST(BindingTypeRegistry, ReservedRecordIsFoundByNameOnly) {
    BindingTypeRegistry registry;
    registry.RegisterType(4, "HostOnly", ReservedTypeRecord(), false);
    EXPECT_NE(registry.FindTypeByName("HostOnly"), nullptr);
    EXPECT_EQ(registry.FindType(ReservedTypeRecord()), nullptr);
}

TEST(BindingTypeRegistry, LaterNameWithTheSameRecordWinsTheRecordLookup) {
    BindingTypeRegistry registry;
    RegisterStruct<Point>(registry, "PointA", {Field("x", &Point::x)});
    RegisterStruct<Point>(registry, "PointB", {Field("y", &Point::y)});
    ASSERT_NE(registry.FindType(TypeRecordOf<Point>()), nullptr);
    EXPECT_EQ(registry.FindType(TypeRecordOf<Point>())->name, "PointB");
    EXPECT_EQ(registry.FindTypeByName("PointA")->name, "PointA");
    EXPECT_EQ(registry.FindType(TypeRecordOf<Other>()), nullptr);
    EXPECT_EQ(registry.FindType(nullptr), nullptr);
}

TEST(BindingTypeRegistry, EnumeratorsAreKeptByNameAndLookedUpExactly) {
    BindingTypeRegistry registry;
    auto builder = registry.RegisterType(4, "Levels", TypeRecordOf<Color>(), true);
    builder.AddEnumerator("B", 1, "bee").AddEnumerator("A", 1, "ay").AddEnumerator("C", 3).AddEnumerator("C", 5, "sea");
    const BindingStructInfo* info = builder.Info();
    ASSERT_EQ(info->enumerators.size(), 3u);
    EXPECT_EQ(info->enumerators.at("C").value, 5);
    EXPECT_EQ(info->enumerators.at("C").description, "sea");
    EXPECT_EQ(info->enumerators.at("C").owner, info);
    std::string order;
    for (const auto& entry : info->enumerators) order += entry.first;
    EXPECT_EQ(order, "ABC");

    EXPECT_EQ(info->EnumeratorByName("A")->value, 1);
    EXPECT_EQ(info->EnumeratorByName("a"), nullptr);
    EXPECT_EQ(info->EnumeratorByName("AB"), nullptr);
    EXPECT_EQ(info->EnumeratorByValue(1)->name, "A");  // first in name order
    EXPECT_TRUE(info->IsValidEnumValue(5));
    EXPECT_FALSE(info->IsValidEnumValue(3));

    EXPECT_STREQ(registry.EnumeratorName(&TypeRecordOf<Color>(), 1), "A");
    EXPECT_EQ(registry.EnumeratorName(&TypeRecordOf<Color>(), 2), nullptr);
    EXPECT_EQ(registry.EnumeratorName(&TypeRecordOf<Point>(), 1), nullptr);
    EXPECT_EQ(registry.EnumeratorName(nullptr, 1), nullptr);
}

TEST(BindingTypeRegistry, EventsAreGetOrCreate) {
    BindingTypeRegistry registry;
    RegisterStruct<Point>(registry, "Point", {Field("x", &Point::x)});
    auto first = RegisterEvent<Point>(registry, "OnPoint");
    first.SetDescription("moved").AddTag("").AddTag("geo").SetNameSpace("space");
    auto second = RegisterEvent<Other>(registry, "OnPoint");
    second.SetDescription("other");
    EXPECT_FALSE(first.Existed());
    EXPECT_TRUE(second.Existed());

    const BindingEventInfo* event = registry.FindEvent("OnPoint");
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(event->payload, registry.FindTypeByName("Point"));
    EXPECT_EQ(event->description, "moved");
    EXPECT_EQ(event->nameSpace, "space");
    EXPECT_EQ(event->tags, std::vector<std::string>{"geo"});

    EXPECT_EQ(RegisterEvent<Other>(registry, "OnOther").Info()->payload, nullptr);
}

class CountingHandler : public BindingFunctionHandlerBase {
public:
    explicit CountingHandler(std::atomic<int>& destroyed) : destroyed_(destroyed) {}
    ~CountingHandler() override { ++destroyed_; }

private:
    std::atomic<int>& destroyed_;
};

std::unique_ptr<BindingFunctionInfo> MakeFunction(const char* name, std::atomic<int>& destroyed) {
    auto function = std::make_unique<BindingFunctionInfo>();
    function->name = name;
    function->handler = std::make_unique<CountingHandler>(destroyed);
    return function;
}

TEST(BindingTypeRegistry, FunctionsByName) {
    std::atomic<int> destroyed{0};
    BindingTypeRegistry registry;
    BindingFunctionInfo* get = registry.RegisterFunction(MakeFunction("Get", destroyed));
    ASSERT_NE(get, nullptr);
    EXPECT_EQ(registry.FindFunction("Get"), get);
    // A second function of the same name is refused and dropped.
    EXPECT_EQ(registry.RegisterFunction(MakeFunction("Get", destroyed)), nullptr);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(registry.FindFunction("Get"), get);
    ASSERT_NE(registry.RegisterFunction(MakeFunction("Put", destroyed)), nullptr);
    EXPECT_EQ(registry.RegisteredFunctionCount(), 2u);
    EXPECT_EQ(registry.FunctionsSnapshot().size(), 2u);

    registry.UnregisterFunction(get);
    EXPECT_EQ(destroyed, 2);
    EXPECT_EQ(registry.FindFunction("Get"), nullptr);
    EXPECT_EQ(registry.FunctionsSnapshot().size(), 1u);
    EXPECT_EQ(registry.RegisterFunction(nullptr), nullptr);
}

class RecordingRegistry : public BindingTypeRegistry {
public:
    void Clear() override {
        ++clears;
        BindingTypeRegistry::Clear();
    }
    int clears = 0;
};

TEST(BindingTypeRegistry, ClearEmptiesAndResetRestoresTheBuiltins) {
    std::atomic<int> destroyed{0};
    RecordingRegistry registry;
    const std::size_t builtinTypes = registry.TypesSnapshot().size();
    const std::size_t builtinEvents = registry.EventsSnapshot().size();
    EXPECT_GT(builtinTypes, 0u);
    EXPECT_FALSE(registry.IsReady());
    RegisterStruct<Point>(registry, "Point", {Field("x", &Point::x)});
    ASSERT_NE(registry.RegisterFunction(MakeFunction("Get", destroyed)), nullptr);
    registry.BuildHostDescription();

    registry.Clear();
    EXPECT_EQ(registry.clears, 1);
    EXPECT_EQ(destroyed, 1);
    EXPECT_TRUE(registry.TypesSnapshot().empty());
    EXPECT_TRUE(registry.EventsSnapshot().empty());
    EXPECT_TRUE(registry.FunctionsSnapshot().empty());
    EXPECT_EQ(registry.FindType(TypeRecordOf<Point>()), nullptr);
    EXPECT_EQ(registry.HostDescription(), nullptr);

    registry.Reset();
    EXPECT_EQ(registry.clears, 2);
    EXPECT_TRUE(registry.IsReady());
    EXPECT_EQ(registry.TypesSnapshot().size(), builtinTypes);
    EXPECT_EQ(registry.EventsSnapshot().size(), builtinEvents);
    EXPECT_EQ(registry.FindTypeByName("Point"), nullptr);
}

TEST(BindingTypeRegistry, ConcurrentRegistrationCreatesOneDescription) {
    BindingTypeRegistry registry;
    std::atomic<int> created{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                const std::string name = "Type" + std::to_string(i % 20);
                auto builder = registry.RegisterType(4, name, TypeRecordOf<Other>(), false);
                if (!builder.Existed()) ++created;
                EXPECT_NE(registry.FindTypeByName(name), nullptr);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(created, 20);
}

}  // namespace
}  // namespace hpk
