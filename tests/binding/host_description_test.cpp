// The packed host description: arrays, chains, counts, offsets, type triples
// and enumerator order. Fields of the packed records are compared through unary
// plus, which reads them by value: the test macros would otherwise bind
// references to misaligned fields.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "binding/host_description.h"
#include "binding/type_registration.h"
#include "boundary/allocation_hooks.h"

namespace hpk {
namespace {

enum class Order : std::int32_t { B = 1, A = 2 };
struct Item {
    std::int32_t id = 0;
    std::string label;
};
struct Basket {
    std::vector<Item> items;
    std::vector<std::int32_t> counts;
    Order order = Order::B;
    Item best;
    std::uint64_t total = 0;
};
struct Bare {};

template <class Record>
std::size_t ChainLength(Record* first) {
    std::size_t length = 0;
    for (Record* record = first; record != nullptr; record = record->next) ++length;
    return length;
}

template <class Record>
void ExpectContiguousChain(Record* first, std::uint32_t count) {
    ASSERT_EQ(ChainLength(first), count);
    for (std::uint32_t i = 0; i < count; ++i) {
        Record* next = first[i].next;  // packed field: read by value
        EXPECT_EQ(next, i + 1 < count ? &first[i + 1] : nullptr);
    }
}

const HostTypeRecord* FindType(HostTypeRecord* first, const char* name) {
    for (HostTypeRecord* record = first; record != nullptr; record = record->next) {
        if (std::strcmp(record->name, name) == 0) return record;
    }
    return nullptr;
}

class HostDescription : public ::testing::Test {
protected:
    HostDescription() {
        registry_.Clear();  // only this test's records
        RegisterEnum<Order>(registry_, "Order", {{"B", Order::B, "bee"}, {"A", Order::A, "ay"}});
        RegisterStruct<Item>(registry_, "Item", {Field("id", &Item::id), Field("label", &Item::label)});
        RegisterStruct<Basket>(registry_, "Basket",
                               {Field("items", &Basket::items).Describe("all items").Optional(),
                                Field("counts", &Basket::counts), Field("order", &Basket::order),
                                Field("best", &Basket::best), Field("total", &Basket::total).ExportAs<std::string>()})
            .SetDescription("A basket.")
            .SetNameSpace("shop")
            .AddTag("t1")
            .AddTag("t2");
        registry_.RegisterType(0, "Bare", TypeRecordOf<Bare>(), false);
    }

    BindingTypeRegistry registry_;
};

TEST_F(HostDescription, TypeRecordsCarryFieldsAndEnumerators) {
    BindingHostDescription& description = registry_.BuildHostDescription();
    ASSERT_EQ(+description.TypeCount(), 4u);
    ExpectContiguousChain(description.Types(), description.TypeCount());

    const HostTypeRecord* basket = FindType(description.Types(), "Basket");
    const BindingStructInfo* basketInfo = registry_.FindTypeByName("Basket");
    ASSERT_NE(basket, nullptr);
    EXPECT_EQ(+basket->name, basketInfo->name.c_str());  // points into the registry
    EXPECT_STREQ(basket->nameSpace, "shop");
    EXPECT_EQ(+basket->size, sizeof(Basket));
    EXPECT_STREQ(basket->description, "A basket.");
    ASSERT_EQ(+basket->tagCount, 2u);
    EXPECT_STREQ(basket->tags[0], "t1");
    EXPECT_STREQ(basket->tags[1], "t2");
    EXPECT_EQ(+basket->enumerators, nullptr);
    ASSERT_EQ(+basket->count, 5u);
    ExpectContiguousChain(basket->fields, basket->count);

    struct Row {
        const char* name;
        std::uint32_t offset;
        std::uint32_t kind;
        std::uint32_t elementKind;
        const char* typeName;
        std::uint8_t optional;
    };
    const std::vector<Row> rows = {
        {"items", offsetof(Basket, items), 15, 17, "Item", 1}, {"counts", offsetof(Basket, counts), 15, 6, "", 0},
        {"order", offsetof(Basket, order), 16, 0, "Order", 0}, {"best", offsetof(Basket, best), 17, 0, "Item", 0},
        {"total", offsetof(Basket, total), 12, 0, "", 0},  // exported as a string
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        const HostFieldRecord& field = basket->fields[i];
        EXPECT_STREQ(field.name, rows[i].name);
        EXPECT_EQ(+field.offset, rows[i].offset);
        EXPECT_EQ(+field.type.kind, rows[i].kind);
        EXPECT_EQ(+field.type.elementKind, rows[i].elementKind);
        EXPECT_STREQ(field.type.name, rows[i].typeName);
        EXPECT_EQ(+field.optional, rows[i].optional);
    }
    EXPECT_STREQ(basket->fields[0].description, "all items");

    const HostTypeRecord* order = FindType(description.Types(), "Order");
    ASSERT_NE(order, nullptr);
    EXPECT_EQ(+order->fields, nullptr);
    ASSERT_EQ(+order->count, 2u);
    ExpectContiguousChain(order->enumerators, 2);
    EXPECT_STREQ(order->enumerators[0].name, "A");  // name order, not value order
    EXPECT_EQ(+order->enumerators[0].value, 2);
    EXPECT_STREQ(order->enumerators[0].description, "ay");
    EXPECT_STREQ(order->enumerators[1].name, "B");
    EXPECT_EQ(+order->tags, nullptr);
    EXPECT_EQ(+order->tagCount, 0u);
}

TEST_F(HostDescription, TypeWithoutFieldsIsExportedLikeAnEnumeration) {
    BindingHostDescription& description = registry_.BuildHostDescription();
    const HostTypeRecord* bare = FindType(description.Types(), "Bare");
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(+bare->fields, nullptr);
    EXPECT_EQ(+bare->enumerators, nullptr);
    EXPECT_EQ(+bare->count, 0u);
}

TEST_F(HostDescription, FunctionRecordsWithArguments) {
    auto function = std::make_unique<BindingFunctionInfo>();
    function->name = "GetBasket";
    function->nameSpace = "shop";
    function->description = "Gets a basket.";
    function->help = "help text";
    function->threadSafe = true;
    function->tags = {"Plugins", "Plugin x"};
    function->result = TypeIdentifierOf<Basket>(registry_);
    function->arguments.push_back({"id", "which", false, TypeIdentifierOf<std::int32_t>(registry_), {}});
    function->arguments.push_back(
        {"filter", "", true, TypeIdentifierOf<std::vector<Item>>(registry_), TypeIdentifierOf<std::string>(registry_)});
    ASSERT_NE(registry_.RegisterFunction(std::move(function)), nullptr);

    auto async = std::make_unique<BindingFunctionInfo>();
    async->name = "Later";
    async->async = true;
    async->result = TypeIdentifierOf<Item>(registry_);
    async->exportResult = TypeIdentifierOf<std::uint32_t>(registry_);
    ASSERT_NE(registry_.RegisterFunction(std::move(async)), nullptr);

    BindingHostDescription& description = registry_.BuildHostDescription();
    ASSERT_EQ(+description.FunctionCount(), 2u);
    ExpectContiguousChain(description.Functions(), 2);

    const HostFunctionRecord* get = description.FindFunctionRecord("GetBasket");
    ASSERT_NE(get, nullptr);
    EXPECT_EQ(+get->zero, 0u);
    EXPECT_EQ(+get->endpointUserData, nullptr);
    EXPECT_STREQ(get->nameSpace, "shop");
    EXPECT_STREQ(get->description, "Gets a basket.");
    EXPECT_STREQ(get->help, "help text");
    EXPECT_EQ(+get->threadSafe, 1);
    EXPECT_STREQ(get->asyncTypeName, "");
    EXPECT_EQ(+get->result.kind, 17u);
    EXPECT_STREQ(get->result.name, "Basket");
    ASSERT_EQ(+get->tagCount, 2u);
    EXPECT_STREQ(get->tags[1], "Plugin x");
    ASSERT_EQ(+get->argumentCount, 2u);
    ExpectContiguousChain(get->arguments, 2);
    EXPECT_STREQ(get->arguments[0].name, "id");
    EXPECT_STREQ(get->arguments[0].description, "which");
    EXPECT_EQ(+get->arguments[0].type.kind, 6u);
    EXPECT_EQ(+get->arguments[0].optional, 0);
    EXPECT_EQ(+get->arguments[1].type.kind, 12u);  // the export identifier wins
    EXPECT_EQ(+get->arguments[1].optional, 1);

    const HostFunctionRecord* later = description.FindFunctionRecord("Later");
    ASSERT_NE(later, nullptr);
    EXPECT_STREQ(later->asyncTypeName, "Item");
    EXPECT_EQ(+later->result.kind, 7u);
    EXPECT_STREQ(later->result.name, "");
    EXPECT_EQ(+later->arguments, nullptr);
    EXPECT_EQ(+later->argumentCount, 0u);
    EXPECT_EQ(+later->tags, nullptr);
    EXPECT_EQ(description.FindFunctionRecord("Missing"), nullptr);
}

TEST_F(HostDescription, EventRecordsAndTheTable) {
    RegisterEvent<Item>(registry_, "OnItem").SetDescription("changed").AddTag("vclient");
    RegisterEvent<Bare>(registry_, "OnBare");  // a type registered without fields
    RegisterEvent<int>(registry_, "OnUnregistered");
    BindingHostDescription& description = registry_.BuildHostDescription();
    ASSERT_EQ(+description.EventCount(), 3u);
    ExpectContiguousChain(description.Events(), 3);
    for (HostEventRecord* event = description.Events(); event != nullptr; event = event->next) {
        SCOPED_TRACE(event->name);
        if (std::strcmp(event->name, "OnItem") == 0) {
            EXPECT_STREQ(event->payloadTypeName, "Item");
            EXPECT_STREQ(event->description, "changed");
            ASSERT_EQ(+event->tagCount, 1u);
            EXPECT_STREQ(event->tags[0], "vclient");
        } else if (std::strcmp(event->name, "OnBare") == 0) {
            EXPECT_STREQ(event->payloadTypeName, "Bare");
        } else {
            EXPECT_STREQ(event->payloadTypeName, "");
        }
    }

    HostTableRecord table{};
    description.FillTable(table);
    EXPECT_EQ(+table.types, description.Types());
    EXPECT_EQ(+table.typeCount, 4u);
    EXPECT_EQ(+table.events, description.Events());
    EXPECT_EQ(+table.eventCount, 3u);
    EXPECT_EQ(+table.endpoints, nullptr);
}

TEST_F(HostDescription, SingleRecordsHaveNullNextAndEmptyArraysAreNull) {
    BindingTypeRegistry empty;
    empty.Clear();
    BindingHostDescription& none = empty.BuildHostDescription();
    EXPECT_EQ(+none.Types(), nullptr);
    EXPECT_EQ(+none.Functions(), nullptr);
    EXPECT_EQ(+none.Events(), nullptr);

    RegisterStruct<Item>(empty, "Item", {Field("id", &Item::id)});
    BindingHostDescription& one = empty.BuildHostDescription();
    ASSERT_EQ(+one.TypeCount(), 1u);
    EXPECT_EQ(+one.Types()->next, nullptr);
    EXPECT_EQ(+one.Types()->fields->next, nullptr);
    EXPECT_EQ(+empty.HostDescription(), &one);
}

TEST_F(HostDescription, BuiltinsAreDescribedAndMemoryIsReturned) {
    const std::int64_t blocksBefore = LiveBlocks();
    {
        BindingTypeRegistry registry;
        BindingHostDescription& first = registry.BuildHostDescription();
        EXPECT_EQ(+first.TypeCount(), 15u);
        EXPECT_EQ(+first.EventCount(), 1u);
        EXPECT_NE(+FindType(first.Types(), "BindingFullApiHelp"), nullptr);
        EXPECT_GT(LiveBlocks(), blocksBefore);
        // Building again replaces the earlier records.
        registry.BuildHostDescription();
        EXPECT_EQ(+registry.HostDescription()->TypeCount(), 15u);
    }
    EXPECT_EQ(LiveBlocks(), blocksBefore);
}

}  // namespace
}  // namespace hpk
