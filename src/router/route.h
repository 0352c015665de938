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

// A compiled template is literal runs and capture groups: a segment parameter
// is a NoSlash group, a tail parameter an Any group, and a fragment parameter a
// literal "#" followed by an Any group.
enum class RoutePieceKind : std::uint8_t { Literal, NoSlash, Any };
struct RoutePiece {
    RoutePieceKind kind = RoutePieceKind::Literal;
    std::string text;  // Literal only
};

// A template read in one pass: its pieces, one parameter per brace group (in
// template order), and the first thing wrong with it, "" when it is well formed
// (an unclosed or stray brace, a nested "{", an empty parameter name). A
// malformed template would pair captured text with the wrong parameter names,
// so it is refused when it is registered; its pieces are still what the
// grammar makes of it.
struct ScannedTemplate {
    std::vector<RoutePiece> pieces;
    std::vector<RouteParameter> parameters;
    std::string error;
};
[[nodiscard]] ScannedTemplate ScanTemplate(std::string_view pathTemplate);

// The pattern text of `pieces`, in regular-expression form: literal runs with
// the special characters escaped, groups as "([^/]*)" and "(.*)".
[[nodiscard]] std::string PatternText(const std::vector<RoutePiece>& pieces);

// The pattern text for `pathTemplate`; appends its parameters to `parameters`.
std::string TemplateToPattern(std::string_view pathTemplate, std::vector<RouteParameter>& parameters);

// ScanTemplate's error for `pathTemplate`.
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

    // Compiles `pathTemplate` (assumed well formed, see ScanTemplate).
    // `allowedMethod` None accepts every method; `allowedMethodName` is compared
    // as well (it is non-empty only for RequestMethod::Other).
    static Route Build(const EndpointRegistration* registration, std::string_view pathTemplate,
                       RequestMethod allowedMethod, std::string_view allowedMethodName);

    // True when the url (and method) select this route; `captures` then holds
    // the decoded parameters (earlier entries under the same names replaced).
    [[nodiscard]] bool Match(const RouteRequest& request, PathCaptures& captures) const;

    // Where one group's text lies in the url (and which piece captured it).
    struct GroupSpan {
        std::size_t piece;
        std::size_t start;
        std::size_t length;
    };
    // Match in two steps, so that a list of candidates decodes captures only
    // for the route it keeps: the method and path check, leaving the groups'
    // spans in `groups` (reused storage, no map)...
    [[nodiscard]] bool MatchSpans(const RouteRequest& request, std::vector<GroupSpan>& groups) const;
    // ...the total length of the decoded captures (a repeated name counting
    // once, with its last value)...
    [[nodiscard]] std::size_t CapturedLength(std::string_view url, const std::vector<GroupSpan>& groups) const;
    // ...and the decoded captures themselves.
    void Capture(std::string_view url, const std::vector<GroupSpan>& groups, PathCaptures& captures) const;

    const EndpointRegistration* Registration() const { return registration_; }
    bool IsLiteral() const { return !hasPattern_; }
    const std::string& LiteralPath() const { return literal_; }
    const std::vector<RouteParameter>& Parameters() const { return parameters_; }
    RequestMethod AllowedMethod() const { return allowedMethod_; }
    const std::string& AllowedMethodName() const { return allowedMethodName_; }

private:
    bool MatchPattern(std::string_view path, std::vector<GroupSpan>& groups) const;

    const EndpointRegistration* registration_ = nullptr;
    std::string literal_;
    bool hasPattern_ = false;
    std::vector<RoutePiece> pieces_;
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
