// Gathering a served function's arguments from a request into BindingValues:
// headers, path captures, query string, explicit host arguments and body, in
// that order. Converting them into native types is the handler's job (prepare).
//
// Member paths (a key with "." after the argument name), one segment per ".":
//   segment := index | name
//   index   := digit (any characters)   read with automatic base: "0x1f" hex,
//                                        "017" octal, else decimal; below 2^31
//   name    := any other text           a member of a structure
// Example: 'list.0x1=7' sets element 1 of argument "list" to the string "7";
// 'opts.limit=5' sets member "limit" of argument "opts".
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "binding/binding_type_record.h"
#include "binding/binding_value.h"
#include "boundary/abi/host_request.h"
#include "router/handler_response.h"
#include "router/route.h"

namespace hpk {

// Where an argument may come from. Codes are exported to the host.
enum class ArgumentLocation : std::int32_t {
    Any = 0,
    Query = 1,
    Path = 2,
    Header = 4,
    Body = 5,
};

// The part of a function's description that binding reads, per argument.
struct BoundArgument {
    std::string name;
    BindingTypeKind kind = BindingTypeKind::None;
    bool optional = false;
    ArgumentLocation location = ArgumentLocation::Any;
};

// A function as binding sees it: its name (quoted in messages) and its
// arguments in declaration order.
struct BindingSignature {
    std::string functionName;
    std::vector<BoundArgument> arguments;
};

// Indices above this are refused as out of range: a member path may not make
// the router allocate millions of empty elements on a requester's word.
inline constexpr std::uint32_t kMaxMemberPathIndex = 1u << 20;

// One binding pass over one request. The first error of the header, path,
// query and explicit-argument stages stops them; the body stage runs whenever
// the request has a body and its error replaces an earlier one.
class ArgumentBinder {
public:
    // `arguments` is sized to the signature and reset; all three are borrowed
    // for the binder's life.
    ArgumentBinder(const BindingSignature& signature, HandlerResponse& response, std::vector<BindingValue>& arguments);

    // Every stage, in order, for a request whose route matched with `captures`
    // (`route` gives the parameter order the captures are bound in).
    void BindAll(const HostRequest& request, const Route& route, const PathCaptures& captures);

    void BindHeaders(const HostHeaderEntry* headers, std::uint32_t count);
    // In the route's parameter order; a name captured twice is bound once.
    void BindPath(const Route& route, const PathCaptures& captures);
    void BindQuery(std::string_view url);
    // `pathCaptureCount` shifts the index an unnamed argument selects.
    void BindHostArguments(const HostArgumentEntry* entries, std::uint32_t count, std::size_t pathCaptureCount);
    // `contentType` may be null. The body is borrowed for the call; it is read
    // within `length` bytes even where its text is read up to a NUL.
    void BindBody(const char* contentType, const void* body, std::uint32_t length);

    // One header, path or query value.
    void BindNamedValue(std::string_view key, std::string_view valueText, ArgumentLocation location);
    // Text into `target`; with `mayParse`, MessagePack, JSON or YAML text is
    // sniffed and decoded instead of being stored as a string.
    void DecodeArgumentText(BindingValue& target, const BoundArgument& argument, std::string_view text, bool mayParse);

    // Splits a query string ("a=1&b") into decoded (key, value) pairs in order
    // of first appearance; a later piece with the same key replaces the value.
    static std::vector<std::pair<std::string, std::string>> ParseQuery(std::string_view query);

private:
    bool Failed() const { return response_.HasError(); }
    const BoundArgument* FindArgument(std::string_view name, std::size_t& index) const;
    void ApplyMemberPath(BindingValue& root, const BoundArgument& argument, std::string_view path,
                         std::string_view valueText);

    const BindingSignature& signature_;
    HandlerResponse& response_;
    std::vector<BindingValue>& arguments_;
};

}  // namespace hpk
