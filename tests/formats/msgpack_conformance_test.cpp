// The MessagePack reader against the public msgpack-test-suite: every listed
// encoding decodes, whole, to the listed value. Timestamps and other ext types
// have no dynamic value and must be refused.
#include <gtest/gtest.h>

#include <string>

#include "conformance_util.h"
#include "formats/json_reader.h"
#include "formats/msgpack_reader.h"
#include "formats_test_util.h"

namespace hpk {
namespace {

// "c4-01-ff" -> bytes.
std::string DashedHex(std::string_view text) {
    std::string spaced(text);
    for (char& c : spaced) {
        if (c == '-') c = ' ';
    }
    return test::Bytes(spaced);
}

// The suite's description of a value as the tree the reader should build.
BindingValue Expected(const std::string& type, const BindingValue& value) {
    BindingValue out;
    if (type == "binary") {
        const std::string bytes = DashedHex(value.AsString());
        out.SetBlob(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    } else if (type == "bignum") {
        const std::string_view digits = value.AsString();
        if (!digits.empty() && digits[0] == '-') {
            out.SetSigned(std::stoll(std::string(digits)));
        } else {
            out.SetUnsigned(std::stoull(std::string(digits)));
        }
    } else {
        out.CopyFrom(value);  // nil, bool, number, string, array, map: as JSON reads them
    }
    return out;
}

TEST(MessagePackConformance, DecodesEverySuiteEncoding) {
    std::string text;
    const std::string path = test::SuitePath("node_modules/msgpack-test-suite/dist/msgpack-test-suite.json");
    ASSERT_TRUE(test::ReadFileBytes(path, text))
        << "no msgpack-test-suite data in " << path << ": scripts/setup.sh installs it";
    const BindingResult suite = ParseJson(text.c_str());
    ASSERT_TRUE(suite.IsOk()) << suite.ErrorText();
    std::size_t decoded = 0;
    std::size_t refused = 0;
    suite.Value().ForEachMember([&](std::string_view group, const BindingValue& cases) {
        const bool extension =
            group.find("timestamp") != std::string_view::npos || group.find("ext") != std::string_view::npos;
        for (std::size_t i = 0; i < cases.Size(); ++i) {
            const BindingValue& entry = cases.Element(i);
            // Each case names its value under its type; bignum cases also
            // carry a "number" approximation, which the exact text overrides.
            std::string type;
            entry.ForEachMember([&](std::string_view key, const BindingValue&) {
                if (key != "msgpack" && (type.empty() || key == "bignum")) type = std::string(key);
            });
            const BindingValue expected = Expected(type, entry.Member(type));
            const BindingValue& encodings = entry.Member("msgpack");
            for (std::size_t j = 0; j < encodings.Size(); ++j) {
                const std::string hex(encodings.Element(j).AsString());
                SCOPED_TRACE(std::string(group) + " " + hex);
                const MessagePackReadResult read = ReadMessagePack(DashedHex(hex));
                if (extension) {
                    EXPECT_EQ(read.result.ErrorText(), "Invalid MessagePack data at position 1.");
                    ++refused;
                    continue;
                }
                ASSERT_TRUE(read.result.IsOk()) << read.result.ErrorText();
                EXPECT_EQ(read.consumed, DashedHex(hex).size());
                EXPECT_TRUE(test::SameTree(read.result.Value(), expected, test::SameScalar))
                    << test::Typed(read.result.Value()) << "expected\n"
                    << test::Typed(expected);
                ++decoded;
            }
        }
    });
    EXPECT_EQ(decoded, 203u);
    EXPECT_EQ(refused, 30u);
}

}  // namespace
}  // namespace hpk
