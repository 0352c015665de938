// MessagePackReader: values of every format, consumed counts, partial input,
// and every error message with its position.
#include "formats/msgpack_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "binding/binding_value_parts.h"
#include "formats_test_util.h"

namespace hpk {
namespace {

using test::Bytes;
using test::Typed;

struct ValueRow {
    const char* hex;
    const char* typed;
    std::size_t consumed;
};

TEST(MessagePackReader, DecodesEveryValueFormat) {
    const ValueRow rows[] = {
        {"", "empty\n", 0},
        {"05", "signed 5\n", 1},
        {"7f", "signed 127\n", 1},
        {"cc 05", "unsigned 5\n", 2},
        {"cd 01 00", "unsigned 256\n", 3},
        {"ce 00 01 00 00", "unsigned 65536\n", 5},
        {"cf ff ff ff ff ff ff ff ff", "unsigned 18446744073709551615\n", 9},
        {"ff", "signed -1\n", 1},
        {"e0", "signed -32\n", 1},
        {"d0 80", "signed -128\n", 2},
        {"d1 ff 00", "signed -256\n", 3},
        {"d2 80 00 00 00", "signed -2147483648\n", 5},
        {"d3 80 00 00 00 00 00 00 00", "signed -9223372036854775808\n", 9},
        {"d0 7f", "signed 127\n", 2},
        {"d1 01 00", "signed 256\n", 3},
        {"d2 7f ff ff ff", "signed 2147483647\n", 5},
        {"d3 00 00 00 01 00 00 00 00", "signed 4294967296\n", 9},
        {"ca 3f c0 00 00", "float 1.5\n", 5},
        {"cb 40 09 21 fb 54 44 2d 18", "float 3.141592653589793\n", 9},
        {"c0", "empty\n", 1},
        {"c2", "bool false\n", 1},
        {"c3", "bool true\n", 1},
        {"a3 61 62 63", "string \"abc\"\n", 4},
        {"a0", "string \"\"\n", 1},
        {"d9 02 68 69", "string \"hi\"\n", 4},
        {"da 00 02 68 69", "string \"hi\"\n", 5},
        {"db 00 00 00 02 68 69", "string \"hi\"\n", 7},
        {"c4 03 61 62 63", "blob YWJj\n", 5},
        {"c5 00 01 61", "blob YQ==\n", 4},
        {"c6 00 00 00 02 61 62", "blob YWI=\n", 7},
        {"80", "structure (0)\n", 1},
        {"90", "collection (0)\n", 1},
        {"92 01 02 03", "collection (2)\n  [0] signed 1\n  [1] signed 2\n", 3},
        {"dc 00 01 c3", "collection (1)\n  [0] bool true\n", 4},
        {"dd 00 00 00 01 c2", "collection (1)\n  [0] bool false\n", 6},
        {"de 00 01 a1 6b 01", "structure (1)\n  \"k\": signed 1\n", 6},
        {"df 00 00 00 01 a1 6b 01", "structure (1)\n  \"k\": signed 1\n", 8},
        // Members come out in key order, not wire order.
        {"82 a1 62 01 a1 61 02", "structure (2)\n  \"a\": signed 2\n  \"b\": signed 1\n", 7},
        {"81 d9 01 6b 90", "structure (1)\n  \"k\": collection (0)\n", 5},
        {"92 c0 01", "collection (2)\n  [0] empty\n  [1] signed 1\n", 3},
        {"81 a1 6b c0", "structure (1)\n  \"k\": empty\n", 4},
        // A repeated key: a later value replaces the earlier one, nil leaves it.
        {"82 a1 6b 01 a1 6b 02", "structure (1)\n  \"k\": signed 2\n", 7},
        {"82 a1 6b 01 a1 6b c0", "structure (1)\n  \"k\": signed 1\n", 7},
        {"82 a1 6b 92 01 02 a1 6b 91 03", "structure (1)\n  \"k\": collection (1)\n    [0] signed 3\n", 10},
        {"82 a1 6b 81 a1 61 01 a1 6b 81 a1 62 02", "structure (1)\n  \"k\": structure (1)\n    \"b\": signed 2\n", 13},
        {"82 a1 6b 91 01 a1 6b 05", "structure (1)\n  \"k\": signed 5\n", 8},
        {"82 a1 6b 91 01 a1 6b a1 78", "structure (1)\n  \"k\": string \"x\"\n", 9},
        {"82 a1 6b 81 a1 61 01 a1 6b c3", "structure (1)\n  \"k\": bool true\n", 10},
        {"82 a1 6b 92 01 02 a1 6b d1 ff 00", "structure (1)\n  \"k\": signed -256\n", 11},
        {"82 a1 6b 01 a1 6b 91 02", "structure (1)\n  \"k\": collection (1)\n    [0] signed 2\n", 8},
        {"82 a1 6b a1 78 a1 6b 80", "structure (1)\n  \"k\": structure (0)\n", 8},
        // Keys in the longer string forms reach the same member as fixstr keys.
        {"82 a1 6b 01 d9 01 6b cd 01 00", "structure (1)\n  \"k\": unsigned 256\n", 10},
        // Input that ends between items keeps what was begun.
        {"93 01", "collection (1)\n  [0] signed 1\n", 2},
        {"82 a1 61 01", "structure (1)\n  \"a\": signed 1\n", 4},
        {"82 a1 61 01 a1 62", "structure (1)\n  \"a\": signed 1\n", 6},
        {"92 91", "collection (1)\n  [0] collection (0)\n", 2},
        // A count far beyond the input reserves nothing unreasonable.
        {"dd ff ff ff ff 01", "collection (1)\n  [0] signed 1\n", 6},
        // Bytes after the first value are not read.
        {"01 02", "signed 1\n", 1},
        {"91 01 c1", "collection (1)\n  [0] signed 1\n", 2},
    };
    for (const ValueRow& row : rows) {
        SCOPED_TRACE(row.hex);
        const MessagePackReadResult read = ReadMessagePack(Bytes(row.hex));
        ASSERT_TRUE(read.result.IsOk()) << read.result.ErrorText();
        EXPECT_EQ(Typed(read.result.Value()), row.typed);
        EXPECT_EQ(read.consumed, row.consumed);
    }
}

TEST(MessagePackReader, PositiveFixintIsSignedAndUintIsUnsigned) {
    EXPECT_EQ(ReadMessagePack(Bytes("05")).result.Value().Kind(), BindingValueKind::Signed);
    EXPECT_EQ(ReadMessagePack(Bytes("cc 05")).result.Value().Kind(), BindingValueKind::Unsigned);
}

struct ErrorRow {
    const char* hex;
    const char* message;
};

TEST(MessagePackReader, ReportsEveryErrorWithItsPosition) {
    const ErrorRow rows[] = {
        {"c1", "Invalid MessagePack data at position 1."},
        {"c7 01 01 00", "Invalid MessagePack data at position 1."},
        {"c8 00 01 01 00", "Invalid MessagePack data at position 1."},
        {"c9 00 00 00 01 01 00", "Invalid MessagePack data at position 1."},
        {"d4", "Invalid MessagePack data at position 1."},
        {"d5 01 00 00", "Invalid MessagePack data at position 1."},
        {"d6 ff 00 00 00 00", "Invalid MessagePack data at position 1."},
        {"d7 ff 00 00 00 00 00 00 00 00", "Invalid MessagePack data at position 1."},
        {"d8 01", "Invalid MessagePack data at position 1."},
        {"92 01 c1", "Invalid MessagePack data at position 3."},
        {"81 01 02", "Invalid MessagePack data at position 2. Map keys must be strings."},
        {"81 c4 01 61 02", "Invalid MessagePack data at position 2. Map keys must be strings."},
        {"82 a1 61 01 c0 02", "Invalid MessagePack data at position 5. Map keys must be strings."},
        {"cc", "Invalid MessagePack data. 8-bit integer value at position 1 is truncated."},
        {"d0", "Invalid MessagePack data. 8-bit integer value at position 1 is truncated."},
        {"d9", "Invalid MessagePack data. 8-bit integer value at position 1 is truncated."},
        {"c4", "Invalid MessagePack data. 8-bit integer value at position 1 is truncated."},
        {"cd 01", "Invalid MessagePack data. 16-bit integer value at position 1 is truncated."},
        {"d1 01", "Invalid MessagePack data. 16-bit integer value at position 1 is truncated."},
        {"da 00", "Invalid MessagePack data. 16-bit integer value at position 1 is truncated."},
        {"dc 00", "Invalid MessagePack data. 16-bit integer value at position 1 is truncated."},
        {"de", "Invalid MessagePack data. 16-bit integer value at position 1 is truncated."},
        {"91 c5 00", "Invalid MessagePack data. 16-bit integer value at position 2 is truncated."},
        {"ce 00 00 01", "Invalid MessagePack data. 32-bit integer value at position 1 is truncated."},
        {"d2 00", "Invalid MessagePack data. 32-bit integer value at position 1 is truncated."},
        {"ca 3f c0 00", "Invalid MessagePack data. 32-bit integer value at position 1 is truncated."},
        {"db 00 00 00", "Invalid MessagePack data. 32-bit integer value at position 1 is truncated."},
        {"c6 00", "Invalid MessagePack data. 32-bit integer value at position 1 is truncated."},
        {"dd 00 00", "Invalid MessagePack data. 32-bit integer value at position 1 is truncated."},
        {"df 00 00 00", "Invalid MessagePack data. 32-bit integer value at position 1 is truncated."},
        {"cf 00", "Invalid MessagePack data. 64-bit integer value at position 1 is truncated."},
        {"d3 00 00 00 00 00 00 00", "Invalid MessagePack data. 64-bit integer value at position 1 is truncated."},
        {"cb 00", "Invalid MessagePack data. 64-bit integer value at position 1 is truncated."},
        {"a5 61 62 63", "Invalid MessagePack data. String of size 5 at position 1 is truncated."},
        {"d9 03 61", "Invalid MessagePack data. String of size 3 at position 2 is truncated."},
        {"db ff ff ff ff 61", "Invalid MessagePack data. String of size 4294967295 at position 5 is truncated."},
        {"81 a3 61", "Invalid MessagePack data. String of size 3 at position 2 is truncated."},
        {"81 d9", "Invalid MessagePack data. 8-bit integer value at position 2 is truncated."},
        {"c4 02 61", "Invalid MessagePack data. Raw bytes of size 2 at position 2 are truncated."},
        {"c6 7f ff ff ff", "Invalid MessagePack data. Raw bytes of size 2147483647 at position 5 are truncated."},
    };
    for (const ErrorRow& row : rows) {
        SCOPED_TRACE(row.hex);
        const MessagePackReadResult read = ReadMessagePack(Bytes(row.hex));
        ASSERT_FALSE(read.result.IsOk());
        EXPECT_EQ(read.result.ErrorText(), row.message);
    }
}

TEST(MessagePackReader, ReadsConsecutiveValuesByConsumedCount) {
    const std::string bytes = Bytes("92 01 02 a1 78 c3");
    std::size_t offset = 0;
    std::string listing;
    while (offset < bytes.size()) {
        const MessagePackReadResult read = ReadMessagePack(std::string_view(bytes).substr(offset));
        ASSERT_TRUE(read.result.IsOk());
        ASSERT_GT(read.consumed, 0u);
        listing += Typed(read.result.Value());
        offset += read.consumed;
    }
    EXPECT_EQ(listing, "collection (2)\n  [0] signed 1\n  [1] signed 2\nstring \"x\"\nbool true\n");
}

TEST(MessagePackReader, RecognisesOnlyContainerFirstBytes) {
    const struct {
        const char* hex;
        bool recognised;
    } rows[] = {
        {"", false},   {"80", true},  {"8f", true},  {"90", true},  {"9f", true},
        {"dc", true},  {"dd", true},  {"de", true},  {"df", true},  {"7f", false},
        {"a0", false}, {"db", false}, {"e0", false}, {"7b", false}, {"c0", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.hex);
        const std::string bytes = Bytes(row.hex);
        EXPECT_EQ(RecogniseMessagePack(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                  row.recognised);
    }
}

TEST(MessagePackReader, MillionDeepArrayCostsNoCallStack) {
    constexpr std::size_t kDepth = 1000000;
    std::string bytes(kDepth, '\x91');
    bytes += '\x2a';
    const MessagePackReadResult read = ReadMessagePack(bytes);
    ASSERT_TRUE(read.result.IsOk());
    EXPECT_EQ(read.consumed, bytes.size());
    EXPECT_EQ(test::FirstChildDepth(read.result.Value()), kDepth);
}

TEST(MessagePackReader, MillionDeepMapCostsNoCallStack) {
    constexpr std::size_t kDepth = 1000000;
    std::string bytes;
    for (std::size_t i = 0; i < kDepth; ++i) bytes += "\x81\xa1k";
    bytes += '\x2a';
    const MessagePackReadResult read = ReadMessagePack(bytes);
    ASSERT_TRUE(read.result.IsOk());
    EXPECT_EQ(read.consumed, bytes.size());
    const BindingValue* node = &read.result.Value();
    std::size_t depth = 0;
    while (node->Kind() == BindingValueKind::Structure) {
        node = &node->Member("k");
        ++depth;
    }
    EXPECT_EQ(depth, kDepth);
    EXPECT_EQ(node->AsSigned(), 42);
}

// Members are linked when their map ends, also when the input ends first and
// when a key repeats among many; the trees stay sound for later insertions.
TEST(MessagePackReader, LinkedMembersFormSoundTrees) {
    std::string bytes = "\x9f";  // 15 maps
    for (int map = 0; map < 15; ++map) {
        bytes += static_cast<char>(0x80 | 12);
        for (int i = 0; i < 12; ++i) {
            const int key = map == 7 && i == 11 ? 3 : (i * 5 + map) % 12;  // map 7 repeats key 3 last
            bytes += static_cast<char>(0xA2);
            bytes += static_cast<char>('a' + key);
            bytes += 'x';
            bytes += static_cast<char>(i);
        }
    }
    for (const std::size_t cut : {bytes.size(), bytes.size() - 9}) {
        SCOPED_TRACE(cut);
        MessagePackReadResult read = ReadMessagePack(bytes.substr(0, cut));
        ASSERT_TRUE(read.result.IsOk()) << read.result.ErrorText();
        BindingValue& maps = read.result.Value();
        ASSERT_EQ(BindingValueAccess::ShapeProblem(maps), nullptr);
        EXPECT_EQ(maps.Element(7).Size(), 11u);
        EXPECT_EQ(maps.Element(7).Member("dx").AsSigned(-1), 11);  // the later value replaces
        EXPECT_EQ(maps.Element(0).Member("fx").AsSigned(-1), 1);
        for (int i = 0; i < 20; ++i) maps.Element(14).Member(std::string(1, static_cast<char>('A' + i * 7 % 20)));
        EXPECT_EQ(BindingValueAccess::ShapeProblem(maps), nullptr);
    }
}

}  // namespace
}  // namespace hpk
