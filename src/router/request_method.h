// Request method codes shared with the host, their names and normalisation.
#pragma once
#include <cstdint>

namespace hpk {

// The host's method codes. Other (8) carries its name in the request's
// method-name field; None (0) stands for "no method" and, on a registration,
// for "any method".
enum class RequestMethod : std::uint32_t {
    None = 0,
    Delete = 1,
    Get = 2,
    Head = 3,
    Options = 4,
    Patch = 5,
    Post = 6,
    Put = 7,
    Other = 8,
};

// 1..8 map to themselves; every other code to None.
RequestMethod NormaliseMethod(std::uint32_t code);
// The code a host record carries for `method`: 1..8 as they are, every other 0.
std::uint32_t NormalisedMethodCode(RequestMethod method);

// "DELETE" .. "PUT" for 1..7; "" for every other code, Other included.
const char* MethodName(RequestMethod method);
const char* MethodName(std::uint32_t code);

}  // namespace hpk
