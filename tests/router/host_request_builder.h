// Builds HostRequest records the way a host fills them: every text is a
// zero-terminated copy the builder owns, arrays are laid out contiguously, and
// the record stays valid as long as the builder does.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "boundary/abi/host_request.h"

namespace hpk {

class HostRequestBuilder {
public:
    HostRequestBuilder& Method(std::uint32_t code, std::optional<std::string> name = std::nullopt) {
        method_ = code;
        methodName_ = std::move(name);
        return *this;
    }
    HostRequestBuilder& Url(std::string url) {
        url_ = std::move(url);
        return *this;
    }
    HostRequestBuilder& Header(std::string name, std::string value) {
        headers_.emplace_back(std::move(name), std::move(value));
        return *this;
    }
    // A named (or, with nullopt, positional) argument; `value` is borrowed by
    // the record and must stay valid.
    HostRequestBuilder& Argument(std::optional<std::string> name, HostValue value) {
        arguments_.emplace_back(std::move(name), value);
        return *this;
    }
    // Body bytes exactly as given (no terminator is added); null content type
    // when `contentType` is nullopt.
    HostRequestBuilder& Body(std::optional<std::string> contentType, std::string bytes) {
        contentType_ = std::move(contentType);
        body_ = std::move(bytes);
        return *this;
    }
    HostRequestBuilder& Caller(std::int32_t handle) {
        caller_ = handle;
        return *this;
    }
    HostRequestBuilder& UserData(void* data) {
        userData_ = data;
        return *this;
    }

    const HostRequest& Build() {
        request_ = HostRequest{};
        request_.method = method_;
        request_.url = url_ ? url_->c_str() : nullptr;
        headerEntries_.clear();
        for (const auto& header : headers_) headerEntries_.push_back({header.first.c_str(), header.second.c_str()});
        request_.headers = headerEntries_.empty() ? nullptr : headerEntries_.data();
        request_.headerCount = static_cast<std::uint32_t>(headerEntries_.size());
        argumentEntries_.clear();
        for (const auto& argument : arguments_) {
            argumentEntries_.push_back({argument.first ? argument.first->c_str() : nullptr, argument.second});
        }
        request_.arguments = argumentEntries_.empty() ? nullptr : argumentEntries_.data();
        request_.argumentCount = static_cast<std::uint32_t>(argumentEntries_.size());
        request_.endpointUserData = userData_;
        request_.contentType = contentType_ ? contentType_->c_str() : nullptr;
        if (body_) {
            // A heap block of exactly the body's size, so reading past it is caught by sanitizers.
            bodyBytes_.assign(body_->begin(), body_->end());
            request_.body = bodyBytes_.empty() ? static_cast<const void*>(&bodyBytes_) : bodyBytes_.data();
            request_.bodyLength = static_cast<std::uint32_t>(bodyBytes_.size());
        }
        request_.callerHandle = caller_;
        request_.methodName = methodName_ ? methodName_->c_str() : nullptr;
        return request_;
    }

private:
    std::uint32_t method_ = 2;
    std::optional<std::string> methodName_;
    std::optional<std::string> url_;
    std::vector<std::pair<std::string, std::string>> headers_;
    std::vector<std::pair<std::optional<std::string>, HostValue>> arguments_;
    std::optional<std::string> contentType_;
    std::optional<std::string> body_;
    std::int32_t caller_ = 0;
    void* userData_ = nullptr;
    HostRequest request_{};
    std::vector<HostHeaderEntry> headerEntries_;
    std::vector<HostArgumentEntry> argumentEntries_;
    std::vector<char> bodyBytes_;
};

// Reads a field of a packed host record by value: the assertion macros take
// references, and a reference to a packed field may be misaligned.
template <class T>
T Field(T value) {
    return value;
}

inline HostValue HostString(const char* text) {
    HostValue value{};
    value.tag = static_cast<std::uint32_t>(HostValueTag::StringBorrowed);
    value.payload.span.data = const_cast<char*>(text);
    value.payload.span.count = static_cast<std::uint32_t>(std::char_traits<char>::length(text));
    return value;
}
inline HostValue HostUnsigned(std::uint64_t number) {
    HostValue value{};
    value.tag = static_cast<std::uint32_t>(HostValueTag::Unsigned);
    value.payload.unsignedValue = number;
    return value;
}

}  // namespace hpk
