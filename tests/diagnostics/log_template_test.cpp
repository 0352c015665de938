#include "diagnostics/log_template.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "diagnostics/log_categories.h"
#include "diagnostics/log_manager.h"
#include "platform/platform.h"

namespace hpk {
namespace {

LogRecord SampleRecord(std::int32_t level, std::uint64_t categories, const char* message) {
    LogRecord record{};
    record.year = 2024;
    record.month = 5;
    record.day = 1;
    record.hour = 13;
    record.minute = 4;
    record.second = 7;
    record.millisecond = 9;
    record.level = level;
    record.categories = categories;
    record.message = message;
    return record;
}

std::string Expand(const char* templateText, const LogRecord& record, std::size_t size = 4096) {
    std::string out(size, '\x7f');
    const std::size_t length = ExpandLogTemplate(out.data(), size, templateText, record, "game.exe");
    EXPECT_EQ(std::strlen(out.c_str()), length);
    return out.substr(0, length);
}

TEST(LogTemplate, ExpandsEveryCode) {
    char thread[32];
    std::snprintf(thread, sizeof thread, "%p",
                  reinterpret_cast<void*>(static_cast<std::uintptr_t>(platform::CurrentThreadId())));
    struct Row {
        const char* templateText;
        std::int32_t level;
        std::uint64_t categories;
        const char* message;
        std::string expected;
    };
    const Row rows[] = {
        {"#L|#M", 2, 0, "x", " ERROR|x\n"},
        {"a##b", 0, 0, "x", "a#b\n"},
        {"#M", 1, 0, "ends in a break\n", "ends in a break\n"},
        {"#M", 1, 0, "two\n\n", "two\n\n"},
        {"", 1, 0, "x", "\n"},
        {nullptr, 1, 0, "x", "\n"},
        {"#M", 1, 0, nullptr, "\n"},
        {"abc#", 1, 0, "x", "abc\n"},
        {"#Z#%", 1, 0, "x", "Z%\n"},
        {"#D", 1, 0, "x", "2024-05-01T13:04:07.009\n"},
        {"#E: #M", 1, 0, "hi", "game.exe: hi\n"},
        {"[#G]", 1, 0b11, "x", "[DBG;GEN]\n"},
        {"[#G]", 1, 0, "x", "[]\n"},
        {"#L", 0, 0, "", "  OKAY\n"},
        {"#L", 1, 0, "", "  WARN\n"},
        {"#L", 3, 0, "", "ALWAYS\n"},
        {"#L", 9, 0, "", "  ????\n"},
        {"#T", 1, 0, "", std::string(thread) + "\n"},
        {"#D| #L| #G| #M", 2, kLogCategoryNet, "lost", "2024-05-01T13:04:07.009|  ERROR| NET| lost\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.templateText != nullptr ? row.templateText : "(null)");
        EXPECT_EQ(Expand(row.templateText, SampleRecord(row.level, row.categories, row.message)), row.expected);
    }
}

TEST(LogTemplate, UptimeIsSecondsAndMilliseconds) {
    const std::string line = Expand("#H", SampleRecord(1, 0, ""));
    ASSERT_EQ(line.size(), 11u) << line;
    for (std::size_t i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        if (i == 6) {
            EXPECT_EQ(line[i], '.');
        } else {
            EXPECT_TRUE(line[i] >= '0' && line[i] <= '9');
        }
    }
    EXPECT_EQ(line.back(), '\n');
}

TEST(LogTemplate, KeepsRoomForTheLineBreak) {
    const LogRecord record = SampleRecord(2, 0b11, "0123456789");
    struct Row {
        const char* templateText;
        std::size_t size;
        const char* expected;
    };
    const Row rows[] = {
        {"abcdefghij", 8, "abcdef\n"},
        {"#M", 8, "012345\n"},
        {"ab#M", 6, "ab01\n"},
        {"#G", 6, "DBG;\n"},
        {"#L", 5, " ER\n"},
        {"#M\n", 12, "0123456789\n"},
        {"x", 2, "\n"},
        {"x", 1, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.templateText << " in " << row.size);
        EXPECT_EQ(Expand(row.templateText, record, row.size), row.expected);
    }
    char untouched = '#';
    EXPECT_EQ(ExpandLogTemplate(&untouched, 0, "x", record, "e"), 0u);
    EXPECT_EQ(untouched, '#');
}

TEST(LogTemplate, FormatsTimestamps) {
    const LogRecord time = SampleRecord(0, 0, "");
    char out[64];
    EXPECT_EQ(FormatTimestamp(out, sizeof out, time), 23u);
    EXPECT_STREQ(out, "2024-05-01T13:04:07.009");
    EXPECT_EQ(FormatFileTimestamp(out, sizeof out, time), 19u);
    EXPECT_STREQ(out, "2024-05-01T13-04-07");
    EXPECT_EQ(FormatTimestamp(out, 5, time), 4u);
    EXPECT_STREQ(out, "2024");

    const LogManagerApi& api = GetLogManagerApi();
    EXPECT_EQ(api.formatFileTimestamp(out, sizeof out, &time), 19u);
    EXPECT_STREQ(out, "2024-05-01T13-04-07");
    LogRecord now{};
    api.localTime(&now);
    EXPECT_GE(now.year, 2024);
    EXPECT_TRUE(now.month >= 1 && now.month <= 12);
    EXPECT_TRUE(now.millisecond >= 0 && now.millisecond <= 999);
    EXPECT_STREQ(api.levelName(2), " ERROR");
}

TEST(LogCategories, NamesWalkTheMaskFromBitZero) {
    const LogCategoryTable table;
    struct Row {
        std::uint64_t mask;
        std::size_t size;
        const char* expected;
    };
    const Row rows[] = {
        {0b11, 64, "DBG;GEN"},
        {0, 64, ""},
        {0b1000'0100, 64, "XTR;TST"},
        {std::uint64_t{1} << 63, 64, "???"},
        {0xFF, 64, "DBG;GEN;XTR;PRF;MEM;DSK;NET;TST"},
        {0b11, 6, "DBG;G"},
        {0b11, 4, "DBG"},
        {0b11, 1, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mask);
        char out[64];
        EXPECT_EQ(table.Names(out, row.size, row.mask), std::strlen(row.expected));
        EXPECT_STREQ(out, row.expected);
    }
}

TEST(LogCategories, UnknownNamesTakeTheNextSlotOnce) {
    LogCategoryTable table;
    struct Step {
        const char* name;
        std::uint64_t mask;
    };
    const Step steps[] = {
        {"NET", std::uint64_t{1} << 6},
        {"DBG", 1},
        {"ABC", std::uint64_t{1} << 8},
        {"ABC", std::uint64_t{1} << 8},
        {"ABCDEF", std::uint64_t{1} << 8},  // only three characters count
        {"XY", std::uint64_t{1} << 9},
        {"XY", std::uint64_t{1} << 9},
        {nullptr, 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name != nullptr ? step.name : "(null)");
        EXPECT_EQ(table.CategoryFromName(step.name), step.mask);
    }
    EXPECT_STREQ(table.Name(8), "ABC");
    EXPECT_STREQ(table.Name(9), "XY");
    EXPECT_STREQ(table.Name(10), "???");
}

TEST(LogCategories, AFullTableAnswersZeroWithoutOverrunning) {
    LogCategoryTable table;
    for (int slot = 8; slot < 64; ++slot) {
        char name[4];
        std::snprintf(name, sizeof name, "C%02d", slot);
        ASSERT_EQ(table.CategoryFromName(name), std::uint64_t{1} << slot) << name;
    }
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(table.CategoryFromName("NEW"), 0u);
    EXPECT_EQ(table.CategoryFromName("C63"), std::uint64_t{1} << 63);
    EXPECT_STREQ(table.Name(63), "C63");
}

TEST(LogCategories, ProcessTableIsReachedThroughTheApi) {
    const LogManagerApi& api = GetLogManagerApi();
    std::uint64_t mask = 99;
    api.category("NET", &mask);
    EXPECT_EQ(mask, std::uint64_t{1} << 6);
    char out[32];
    EXPECT_EQ(api.categoryNames(out, sizeof out, 0b11, 0), 7u);
    EXPECT_STREQ(out, "DBG;GEN");
}

}  // namespace
}  // namespace hpk
