// Compiled path templates and the matching of request urls against them.
//
// Template grammar (a path with brace groups):
//   template  := { char | group }
//   group     := "{" [ "+" | "#" ] name "}"
//   "{name}"  a segment parameter: any text without "/"      -> ([^/]*)
//   "{+name}" a tail parameter: any text                     -> (.*)
//   "{#name}" a fragment parameter: "#" and any text         -> #(.*)
// Outside groups, ^ $ . * + ? ( ) [ ] | and backslash are escaped; "+" and "#"
// mark the kind only as the first character of a name ('{a+b}' is a segment
// parameter named "a+b"). Example: '/a/{id}/b' -> '/a/([^/]*)/b', one
// segment parameter "id".
//
// Matching order: a template without "{" is a literal path and matches only the
// url that equals it byte for byte (query string included); a pattern must match
// the whole path part of the url (the text before the first "?"); then the
// method check. Among several matching routes the first one is kept unless a
// later one captured strictly fewer characters; the search stops at a route
// that captured nothing.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "router/request_method.h"

namespace hpk {

class EndpointRegistration;

enum class RouteParameterKind : std::int32_t {
    None = 0,
    Segment = 1,
    Tail = 2,
    Fragment = 3,
};

struct RouteParameter {
    RouteParameterKind kind = RouteParameterKind::None;
    std::string name;
};

// Parameter name -> percent-decoded captured text.
using PathCaptures = std::unordered_map<std::string, std::string>;

// The pattern text for `pathTemplate`; appends one parameter per brace group
// (in template order) to `parameters`. Does not validate: see TemplateError.
std::string TemplateToPattern(std::string_view pathTemplate, std::vector<RouteParameter>& parameters);

// Empty when `pathTemplate` is well formed; otherwise why not (an unclosed or
// stray brace, a nested "{", an empty parameter name). A malformed template
// would pair captured text with the wrong parameter names, so it is refused
// when it is registered.
std::string TemplateError(std::string_view pathTemplate);

// What a request offers for matching.
struct RouteRequest {
    RequestMethod method = RequestMethod::None;  // normalised
    std::string_view methodName;                 // only for RequestMethod::Other
    std::string_view url;                        // as received, query included
};

// A literal path or a compiled pattern with its parameters, plus the method the
// route accepts. Matching never parses the template again and never recurses:
// urls of any length are matched with an explicit backtracking stack.
class Route {
public:
    Route() = default;

    // Compiles `pathTemplate` (assumed well formed, see TemplateError).
    // `allowedMethod` None accepts every method; `allowedMethodName` is compared
    // as well (it is non-empty only for RequestMethod::Other).
    static Route Build(const EndpointRegistration* registration, std::string_view pathTemplate,
                       RequestMethod allowedMethod, std::string_view allowedMethodName);

    // True when the url (and method) select this route; `captures` then holds
    // the decoded parameters (earlier entries under the same names replaced).
    [[nodiscard]] bool Match(const RouteRequest& request, PathCaptures& captures) const;

    const EndpointRegistration* Registration() const { return registration_; }
    bool IsLiteral() const { return !hasPattern_; }
    const std::string& LiteralPath() const { return literal_; }
    const std::string& PatternText() const { return patternText_; }
    const std::vector<RouteParameter>& Parameters() const { return parameters_; }
    RequestMethod AllowedMethod() const { return allowedMethod_; }
    const std::string& AllowedMethodName() const { return allowedMethodName_; }

private:
    // The compiled pattern: literal runs and capture groups.
    enum class PieceKind : std::uint8_t { Literal, NoSlash, Any };
    struct Piece {
        PieceKind kind;
        std::string text;  // Literal only
    };
    struct GroupSpan {
        std::size_t start;
        std::size_t length;
    };
    bool MatchPattern(std::string_view path, std::vector<GroupSpan>& groups) const;

    const EndpointRegistration* registration_ = nullptr;
    std::string literal_;
    bool hasPattern_ = false;
    std::string patternText_;
    std::vector<Piece> pieces_;
    std::vector<RouteParameter> parameters_;
    RequestMethod allowedMethod_ = RequestMethod::None;
    std::string allowedMethodName_;
};

// The outcome of matching a list of routes: the selected route (null when none
// matched) and its captures.
struct RouteMatch {
    const Route* route = nullptr;
    PathCaptures captures;
};

// Routes are tried in list order; see the file comment for the tie-break.
[[nodiscard]] RouteMatch MatchRoutes(const Route* const* routes, std::size_t count, const RouteRequest& request);
[[nodiscard]] inline RouteMatch MatchRoutes(const std::vector<const Route*>& routes, const RouteRequest& request) {
    return MatchRoutes(routes.data(), routes.size(), request);
}

}  // namespace hpk
