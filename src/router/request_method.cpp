// Method codes and names as the host numbers them.
#include "router/request_method.h"

namespace hpk {

RequestMethod NormaliseMethod(std::uint32_t code) {
    return code >= 1 && code <= 8 ? static_cast<RequestMethod>(code) : RequestMethod::None;
}

std::uint32_t NormalisedMethodCode(RequestMethod method) {
    return static_cast<std::uint32_t>(NormaliseMethod(static_cast<std::uint32_t>(method)));
}

const char* MethodName(RequestMethod method) { return MethodName(static_cast<std::uint32_t>(method)); }

const char* MethodName(std::uint32_t code) {
    static const char* const kNames[] = {"", "DELETE", "GET", "HEAD", "OPTIONS", "PATCH", "POST", "PUT"};
    return code < sizeof(kNames) / sizeof(kNames[0]) ? kNames[code] : "";
}

}  // namespace hpk
