// HandlerResponse to HostResponse, and the release routine, with leak checks.
#include "router/handler_response.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host_request_builder.h"
#include "boundary/allocation_hooks.h"
#include "router/router_messages.h"

namespace hpk {
namespace {

bool AllZero(const HostResponse& response) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&response);
    for (std::size_t i = 0; i < sizeof(HostResponse); ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

class CountingStream : public HostResponseStream {
public:
    CountingStream(std::string data, int* destroyed) : data_(std::move(data)), destroyed_(destroyed) {}
    ~CountingStream() override { ++*destroyed_; }
    bool Read(void* buffer, std::uint32_t* size, bool* more) override {
        const std::size_t n = std::min<std::size_t>(*size, data_.size() - offset_);
        std::memcpy(buffer, data_.data() + offset_, n);
        offset_ += n;
        *size = static_cast<std::uint32_t>(n);
        *more = offset_ < data_.size();
        return true;
    }
    std::uint32_t Size() override { return static_cast<std::uint32_t>(data_.size()); }

private:
    std::string data_;
    std::size_t offset_ = 0;
    int* destroyed_;
};

TEST(HostResponseRelease, ZeroedRecordStaysZeroed) {
    HostResponse response{};
    ReleaseHostResponse(&response);
    EXPECT_TRUE(AllZero(response));
    ReleaseHostResponse(nullptr);
}

TEST(HostResponseFill, SuccessfulResultWithEmptyText) {
    const std::int64_t blocks = LiveBlocks();
    {
        HandlerResponse handler;
        handler.result.Value().Member("name").SetString("x");
        handler.result.Value().Member("level").SetUnsigned(42);
        handler.status = 200;
        handler.flags = 7;
        HostResponse response{};
        ResetHostResponse(response);
        FillHostResponse(response, handler, nullptr);
        EXPECT_EQ(Field(response.release), &ReleaseHostResponse);
        EXPECT_EQ(Field(response.error), nullptr);
        EXPECT_EQ(Field(response.errorOwned), 0);
        EXPECT_EQ(Field(response.flags), 7);
        EXPECT_EQ(Field(response.status), 200);
        ASSERT_EQ(Field(response.body.tag), static_cast<std::uint32_t>(HostValueTag::Map));
        ASSERT_EQ(Field(response.body.payload.span.count), 2u);
        const auto* entries = static_cast<const HostValueEntry*>(response.body.payload.span.data);
        EXPECT_STREQ(entries[0].key, "level");
        EXPECT_EQ(entries[0].value.payload.unsignedValue, 42u);
        EXPECT_STREQ(entries[1].key, "name");
        EXPECT_EQ(Field(response.text), SharedEmptyText());
        EXPECT_STREQ(response.text, "");
        EXPECT_EQ(Field(response.headers), nullptr);
        EXPECT_EQ(Field(response.stream), nullptr);
        response.release(&response);
        EXPECT_TRUE(AllZero(response));
        EXPECT_STREQ(SharedEmptyText(), "");
    }
    EXPECT_EQ(LiveBlocks(), blocks);
}

TEST(HostResponseFill, FailedResultCarriesAnOwnedErrorAndNoBody) {
    const std::int64_t blocks = LiveBlocks();
    {
        HandlerResponse handler;
        handler.result.Value().SetString("dropped");
        handler.SetError("Something went wrong");
        HostResponse response{};
        ResetHostResponse(response);
        FillHostResponse(response, handler, nullptr);
        EXPECT_STREQ(response.error, "Something went wrong");
        EXPECT_EQ(Field(response.errorOwned), 1);
        EXPECT_EQ(Field(response.body.tag), 0u);
        EXPECT_EQ(Field(response.body.payload.unsignedValue), 0u);
        response.release(&response);
        EXPECT_TRUE(AllZero(response));
    }
    EXPECT_EQ(LiveBlocks(), blocks);
}

TEST(HostResponseFill, TextHeadersAndFormatCodes) {
    struct Row {
        std::int32_t format;
        std::uint32_t written;
    };
    const Row rows[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 0}, {-1, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.format);
        const std::int64_t blocks = LiveBlocks();
        {
            HandlerResponse handler;
            handler.format = row.format;
            handler.text = "note";
            handler.headers = {{"a", "1"}, {"b", "2"}, {"c", "3"}};
            HostResponse response{};
            ResetHostResponse(response);
            FillHostResponse(response, handler, nullptr);
            EXPECT_EQ(Field(response.format), row.written);
            EXPECT_STREQ(response.text, "note");
            EXPECT_NE(Field(response.text), SharedEmptyText());
            ASSERT_EQ(Field(response.headerCount), 3u);
            ASSERT_NE(Field(response.headers), nullptr);
            EXPECT_GE(BlockSize(response.headers), 24u);
            std::unordered_map<std::string, std::string> seen;
            for (std::uint32_t i = 0; i < 3; ++i) seen[response.headers[i].name] = response.headers[i].value;
            EXPECT_EQ(seen, handler.headers);
            response.release(&response);
            EXPECT_TRUE(AllZero(response));
        }
        EXPECT_EQ(LiveBlocks(), blocks);
    }
}

TEST(HostResponseFill, StreamMovesToTheHostAndIsClosedByItsReader) {
    int destroyed = 0;
    HandlerResponse handler;
    handler.stream = std::make_unique<CountingStream>("abcdef", &destroyed);
    HostResponse response{};
    ResetHostResponse(response);
    FillHostResponse(response, handler, nullptr);
    EXPECT_EQ(handler.stream, nullptr);
    ASSERT_NE(Field(response.stream), nullptr);
    EXPECT_EQ(Field(response.streamSizeHint), 6u);
    char buffer[4];
    std::uint32_t size = sizeof(buffer);
    bool more = false;
    ASSERT_TRUE(response.streamRead(response.stream, buffer, &size, &more));
    EXPECT_EQ(std::string(buffer, size), "abcd");
    EXPECT_TRUE(more);
    void* stream = response.stream;
    response.release(&response);
    EXPECT_TRUE(AllZero(response));
    EXPECT_EQ(destroyed, 0);  // release leaves the stream to its reader
    HostStreamCloseFn close = nullptr;
    {
        HandlerResponse other;
        other.stream = std::make_unique<CountingStream>("", &destroyed);
        HostResponse second{};
        ResetHostResponse(second);
        FillHostResponse(second, other, nullptr);
        close = second.streamClose;
        close(second.stream);
        EXPECT_EQ(destroyed, 1);
        second.release(&second);
    }
    close(stream);
    close(nullptr);
    EXPECT_EQ(destroyed, 2);
}

TEST(HandlerResponse, SettingAnErrorDropsTheStream) {
    int destroyed = 0;
    HandlerResponse handler;
    handler.stream = std::make_unique<CountingStream>("x", &destroyed);
    handler.SetError("no");
    EXPECT_EQ(handler.stream, nullptr);
    EXPECT_EQ(destroyed, 1);
    EXPECT_TRUE(handler.HasError());
    EXPECT_EQ(handler.result.ErrorText(), "no");
}

TEST(HostResponseFill, EveryAllocationFailureLeavesAStaticErrorAndNoLeak) {
    bool completed = false;
    for (std::uint64_t failAt = 1; !completed && failAt < 64; ++failAt) {
        SCOPED_TRACE(failAt);
        const std::int64_t blocks = LiveBlocks();
        {
            HandlerResponse handler;
            handler.result.Value().Element(0).SetString("first");
            handler.result.Value().Element(1).Member("k").SetString("v");
            handler.text = "text";
            handler.headers = {{"a", "1"}, {"b", "2"}};
            HostResponse response{};
            ResetHostResponse(response);
            FailAllocationAfter(failAt);
            FillHostResponse(response, handler, nullptr);
            FailAllocationAfter(0);
            if (response.error == nullptr) {
                completed = true;
                EXPECT_EQ(Field(response.headerCount), 2u);
            } else {
                EXPECT_STREQ(response.error, kMsgInternalError);
                EXPECT_EQ(Field(response.errorOwned), 0);
                EXPECT_EQ(Field(response.body.tag), 0u);
                EXPECT_EQ(Field(response.headers), nullptr);
                EXPECT_EQ(Field(response.text), SharedEmptyText());
                EXPECT_EQ(Field(response.release), &ReleaseHostResponse);
            }
            response.release(&response);
            EXPECT_TRUE(AllZero(response));
        }
        EXPECT_EQ(LiveBlocks(), blocks);
    }
    EXPECT_TRUE(completed);
}

}  // namespace
}  // namespace hpk
