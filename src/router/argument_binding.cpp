// Argument binding: request parts into the argument vector of a served function.
#include "router/argument_binding.h"

#include <algorithm>
#include <cstring>

#include "binding/convert_number.h"
#include "binding/host_value_convert.h"
#include "diagnostics/positional_format.h"
#include "diagnostics/text_util.h"
#include "formats/json_reader.h"
#include "formats/msgpack_reader.h"
#include "formats/yaml_reader.h"
#include "router/router_messages.h"
#include "router/url_text.h"

namespace hpk {
namespace {

bool TakesStructuredText(BindingTypeKind kind) {
    return kind == BindingTypeKind::Object || kind == BindingTypeKind::Vector || kind == BindingTypeKind::Struct;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (LowerAscii(text[i]) != prefix[i]) return false;
    }
    return true;
}

std::string_view SkipSpaces(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

// Text read "up to its NUL" from a buffer that need not hold one: the host's
// body length bounds the read.
std::string_view TerminatedText(const char* data, std::size_t length) {
    const void* nul = std::memchr(data, '\0', length);
    return std::string_view(data,
                            nul == nullptr ? length : static_cast<std::size_t>(static_cast<const char*>(nul) - data));
}

enum class IndexStatus { Ok, Format, Range };

// The segment starts with a digit, so it reads as an unsigned integer with
// automatic base: "0x" counts as a prefix only when a hex digit follows.
IndexStatus ParseIndex(std::string_view segment, std::uint32_t& index) {
    const ScannedInteger scanned = ScanInteger(segment);
    if (scanned.end != segment.size()) return IndexStatus::Format;
    if (scanned.overflow || scanned.magnitude >= 0x80000000ull || scanned.magnitude > kMaxMemberPathIndex) {
        return IndexStatus::Range;
    }
    index = static_cast<std::uint32_t>(scanned.magnitude);
    return IndexStatus::Ok;
}

}  // namespace

ArgumentBinder::ArgumentBinder(const BindingSignature& signature, HandlerResponse& response,
                               std::vector<BindingValue>& arguments)
    : signature_(signature), response_(response), arguments_(arguments) {
    arguments_.clear();
    arguments_.resize(signature_.arguments.size());
    for (std::size_t i = 0; i < signature_.arguments.size(); ++i) {
        const BoundArgument& argument = signature_.arguments[i];
        if (argument.kind == BindingTypeKind::Bool && !argument.optional) arguments_[i].SetBool(false);
    }
}

void ArgumentBinder::BindAll(const HostRequest& request, const Route& route, const PathCaptures& captures) {
    if (request.headers != nullptr && request.headerCount != 0) BindHeaders(request.headers, request.headerCount);
    BindPath(route, captures);
    if (request.url != nullptr) BindQuery(request.url);
    BindHostArguments(request.arguments, request.arguments == nullptr ? 0 : request.argumentCount, captures.size());
    if (request.body != nullptr) BindBody(request.contentType, request.body, request.bodyLength);
}

const BoundArgument* ArgumentBinder::FindArgument(std::string_view name, std::size_t& index) const {
    for (std::size_t i = 0; i < signature_.arguments.size(); ++i) {
        if (signature_.arguments[i].name == name) {
            index = i;
            return &signature_.arguments[i];
        }
    }
    return nullptr;
}

void ArgumentBinder::BindHeaders(const HostHeaderEntry* headers, std::uint32_t count) {
    if (Failed()) return;
    // The last entry of a name wins, as in the request context's map.
    std::vector<std::pair<std::string, std::string_view>> found;
    for (const BoundArgument& argument : signature_.arguments) {
        if (argument.location != ArgumentLocation::Any && argument.location != ArgumentLocation::Header) continue;
        const std::string lowered = ToLowerAscii(argument.name);
        const char* value = nullptr;
        for (std::uint32_t i = 0; i < count; ++i) {
            if (headers[i].name != nullptr && lowered == headers[i].name) {
                value = headers[i].value != nullptr ? headers[i].value : "";
            }
        }
        if (value != nullptr) found.emplace_back(argument.name, value);
    }
    for (const auto& entry : found) {
        BindNamedValue(entry.first, entry.second, ArgumentLocation::Header);
        if (Failed()) return;
    }
}

void ArgumentBinder::BindPath(const Route& route, const PathCaptures& captures) {
    const std::vector<RouteParameter>& parameters = route.Parameters();
    for (std::size_t i = 0; i < parameters.size() && !Failed(); ++i) {
        bool repeated = false;
        for (std::size_t j = 0; j < i; ++j) repeated = repeated || parameters[j].name == parameters[i].name;
        const auto capture = captures.find(parameters[i].name);
        if (repeated || capture == captures.end()) continue;
        BindNamedValue(capture->first, capture->second, ArgumentLocation::Path);
    }
}

std::vector<std::pair<std::string, std::string>> ArgumentBinder::ParseQuery(std::string_view query) {
    std::vector<std::pair<std::string, std::string>> entries;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(query.find('&', start), query.size());
        const std::string_view piece = query.substr(start, end - start);
        const std::size_t equals = piece.find('=');
        std::string key = PercentDecode(piece.substr(0, equals));
        std::string value = equals == std::string_view::npos ? std::string() : PercentDecode(piece.substr(equals + 1));
        bool replaced = false;
        for (auto& entry : entries) {
            if (entry.first == key) {
                entry.second = std::move(value);
                replaced = true;
                break;
            }
        }
        if (!replaced) entries.emplace_back(std::move(key), std::move(value));
        if (end == query.size()) break;
        start = end + 1;
    }
    return entries;
}

void ArgumentBinder::BindQuery(std::string_view url) {
    const std::size_t mark = url.find('?');
    if (Failed() || mark == std::string_view::npos) return;
    for (const auto& entry : ParseQuery(url.substr(mark + 1))) {
        BindNamedValue(entry.first, entry.second, ArgumentLocation::Query);
        if (Failed()) return;
    }
}

void ArgumentBinder::BindHostArguments(const HostArgumentEntry* entries, std::uint32_t count,
                                       std::size_t pathCaptureCount) {
    for (std::uint32_t i = 0; i < count && !Failed(); ++i) {
        const HostArgumentEntry& entry = entries[i];
        std::size_t index = 0;
        const BoundArgument* argument = nullptr;
        std::string shown;
        if (entry.name != nullptr) {
            argument = FindArgument(entry.name, index);
            shown = entry.name;
        } else {
            index = i + pathCaptureCount;
            if (index < signature_.arguments.size()) argument = &signature_.arguments[index];
            shown = std::to_string(index);
        }
        if (argument == nullptr) {
            response_.SetError(FormatPositional(kMsgUnknownArgument, shown, signature_.functionName));
            return;
        }
        BindingResult converted;
        HostValueToBinding(converted, entry.value, argument->name);
        if (!converted.IsOk()) {
            response_.SetError(converted.ErrorText());
            return;
        }
        converted.TakeValue(arguments_[index]);
    }
}

void ArgumentBinder::BindBody(const char* contentType, const void* body, std::uint32_t length) {
    std::size_t index = 0;
    for (; index < signature_.arguments.size(); ++index) {
        if (signature_.arguments[index].location == ArgumentLocation::Body) break;
    }
    if (index == signature_.arguments.size()) return;
    // A body without a content type cannot be read; the host does not promise one.
    const std::string_view type = contentType == nullptr ? std::string_view() : std::string_view(contentType);
    const char* text = static_cast<const char*>(body);
    BindingResult decoded;
    if (StartsWithNoCase(type, "application/x-msgpack")) {
        MessagePackReadResult read = ReadMessagePack(static_cast<const std::uint8_t*>(body), length);
        decoded = std::move(read.result);
        if (decoded.IsOk() && read.consumed != length) decoded.SetError(kMsgExtraMessagePack);
    } else if (StartsWithNoCase(type, "application/json") || StartsWithNoCase(type, "application/vnd.api+json")) {
        decoded = ParseJson(std::string(TerminatedText(text, length)).c_str());
    } else if (StartsWithNoCase(type, "application/x-yaml")) {
        const std::string_view yaml = TerminatedText(text, length);
        decoded = ParseYaml(yaml.data(), yaml.size());
    } else {
        response_.SetError(kMsgUnsupportedContentType);
        return;
    }
    if (!decoded.IsOk()) {
        response_.SetError(decoded.ErrorText());
        return;
    }
    decoded.TakeValue(arguments_[index]);
}

void ArgumentBinder::BindNamedValue(std::string_view key, std::string_view valueText, ArgumentLocation location) {
    if (Failed()) return;
    const std::size_t dot = key.find('.');
    const std::string_view baseName = key.substr(0, dot);
    std::size_t index = 0;
    const BoundArgument* argument = FindArgument(baseName, index);
    if (argument == nullptr) {
        response_.SetError(FormatPositional(kMsgUnknownArgument, baseName, signature_.functionName));
        return;
    }
    if (argument->location != ArgumentLocation::Any && argument->location != location) {
        response_.SetError(FormatPositional(kMsgInvalidLocation, baseName, signature_.functionName));
        return;
    }
    BindingValue& target = arguments_[index];
    if (dot != std::string_view::npos) {
        ApplyMemberPath(target, *argument, key.substr(dot + 1), valueText);
        return;
    }
    if (!valueText.empty()) {
        DecodeArgumentText(target, *argument, valueText, TakesStructuredText(argument->kind));
        return;
    }
    switch (argument->kind) {
        case BindingTypeKind::Bool: target.SetBool(true); break;
        case BindingTypeKind::Object:
        case BindingTypeKind::Struct:
            target.Clear();
            target.MakeStructure();
            break;
        case BindingTypeKind::Vector:
            target.Clear();
            target.MakeCollection();
            break;
        default: response_.SetError(FormatPositional(kMsgExpectedValue, argument->name));
    }
}

void ArgumentBinder::ApplyMemberPath(BindingValue& root, const BoundArgument& argument, std::string_view path,
                                     std::string_view valueText) {
    BindingValue* current = &root;
    for (;;) {
        const std::size_t dot = path.find('.');
        const std::string_view segment = path.substr(0, dot);
        if (!segment.empty() && segment[0] >= '0' && segment[0] <= '9') {
            std::uint32_t index = 0;
            const IndexStatus status = ParseIndex(segment, index);
            if (status != IndexStatus::Ok) {
                response_.SetError(
                    FormatPositional(status == IndexStatus::Format ? kMsgIndexFormat : kMsgIndexRange, segment));
                return;
            }
            current = &current->Element(index);
        } else {
            current = &current->Member(segment);
        }
        if (dot == std::string_view::npos) break;
        path.remove_prefix(dot + 1);
    }
    DecodeArgumentText(*current, argument, valueText, false);
}

void ArgumentBinder::DecodeArgumentText(BindingValue& target, const BoundArgument& argument, std::string_view text,
                                        bool mayParse) {
    if (mayParse) {
        BindingResult decoded;
        std::string_view message;
        const std::string_view trimmed = SkipSpaces(text);
        if (RecogniseMessagePack(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())) {
            decoded = std::move(ReadMessagePack(text).result);
            message = kMsgMessagePackArgument;
        } else if (!trimmed.empty() && (trimmed[0] == '{' || trimmed[0] == '[')) {
            decoded = ParseJson(std::string(TerminatedText(text.data(), text.size())).c_str());
            message = kMsgJsonArgument;
        } else if (trimmed.substr(0, 3) == "---") {
            const std::string_view yaml = TerminatedText(text.data(), text.size());
            decoded = ParseYaml(yaml.data(), yaml.size());
            message = kMsgYamlArgument;
        }
        if (!message.empty()) {
            if (!decoded.IsOk()) {
                response_.SetError(
                    FormatPositional(message, argument.name, signature_.functionName, decoded.ErrorText()));
                return;
            }
            decoded.TakeValue(target);
            return;
        }
    }
    target.SetString(text);
}

}  // namespace hpk
