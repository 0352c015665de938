// The type registry under threads: racing registrations of one name create
// one description, first requests of a type record give one record, and
// conversions through registered descriptions run side by side.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "binding/type_registration.h"
#include "stress.h"

namespace hpk {
namespace {

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
};
struct Shape {
    std::string name;
    std::vector<Point> points;
    std::vector<std::int32_t> weights;
};
// Types whose records nobody has asked for before the threads race for them.
template <int N>
struct Fresh {
    std::int32_t value = N;
};

constexpr int kNames = 24;

template <int... N>
std::vector<const BindingTypeRecord*> FreshRecords(std::integer_sequence<int, N...>) {
    return {&TypeRecordOf<Fresh<N>>()...};
}

TEST(TypeRegistryStress, RacingRegistrationsMakeOneDescriptionPerName) {
    BindingTypeRegistry registry;
    const int rounds = stress::Rounds(40);
    std::atomic<int> typesCreated{0};
    std::atomic<int> eventsCreated{0};
    std::vector<std::vector<const BindingTypeRecord*>> records(static_cast<std::size_t>(stress::Threads()));
    std::atomic<int> missing{0};
    stress::RunThreads(stress::Threads(), [&](int t) {
        records[static_cast<std::size_t>(t)] = FreshRecords(std::make_integer_sequence<int, 8>());
        for (int round = 0; round < rounds; ++round) {
            for (int i = 0; i < kNames; ++i) {
                // Each thread walks the names from its own starting point.
                const int n = (i + t * 7 + round) % kNames;
                const std::string name = "Racing" + std::to_string(n);
                if (!registry.RegisterType(4, name, TypeRecordOf<Point>(), false).Existed()) typesCreated.fetch_add(1);
                if (!RegisterEvent<Point>(registry, "On" + name).Existed()) eventsCreated.fetch_add(1);
                if (registry.FindTypeByName(name) == nullptr || registry.FindEvent("On" + name) == nullptr) {
                    missing.fetch_add(1);
                }
            }
            if (registry.TypesSnapshot().empty()) missing.fetch_add(1);
        }
    });
    EXPECT_EQ(typesCreated.load(), kNames);
    EXPECT_EQ(eventsCreated.load(), kNames);
    EXPECT_EQ(missing.load(), 0);
    for (const auto& seen : records) EXPECT_EQ(seen, records[0]);
    const auto fresh = records[0];
    EXPECT_EQ(std::set<const BindingTypeRecord*>(fresh.begin(), fresh.end()).size(), fresh.size());
}

TEST(TypeRegistryStress, ConversionsRunSideBySide) {
    BindingTypeRegistry registry;
    RegisterStruct<Point>(registry, "Point", {Field("x", &Point::x), Field("y", &Point::y)});
    RegisterStruct<Shape>(registry, "Shape",
                          {Field("name", &Shape::name), Field("points", &Shape::points),
                           Field("weights", &Shape::weights)});
    const int rounds = stress::Rounds(1500);
    std::atomic<int> wrong{0};
    stress::RunThreads(stress::Threads(), [&](int t) {
        for (int round = 0; round < rounds; ++round) {
            Shape shape;
            shape.name = "shape " + std::to_string(t) + "-" + std::to_string(round);
            for (int i = 0; i < round % 6; ++i) shape.points.push_back({t, round + i});
            shape.weights.assign(static_cast<std::size_t>(round % 4), round);
            BindingResult value;
            ToValue(value, shape, registry);
            Shape back;
            BindingResult result;
            FromValue(result, back, value.Value(), "<value>", registry);
            bool same = value.IsOk() && result.IsOk() && back.name == shape.name &&
                        back.points.size() == shape.points.size() && back.weights == shape.weights;
            for (std::size_t i = 0; same && i < back.points.size(); ++i) {
                same = back.points[i].x == shape.points[i].x && back.points[i].y == shape.points[i].y;
            }
            if (!same) wrong.fetch_add(1);
            // Lookups and a new type now and then, between the conversions.
            if (registry.FindType(TypeRecordOf<Shape>()) == nullptr) wrong.fetch_add(1);
            if (round % 50 == 0) (void)registry.RegisterType(4, "Late" + std::to_string(t), TypeRecordOf<void>(), false);
        }
    });
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace hpk
