// Template compilation and url matching.
#include "router/route.h"

#include <algorithm>

#include "diagnostics/positional_format.h"
#include "router/router_messages.h"
#include "router/url_text.h"

namespace hpk {
namespace {

constexpr std::string_view kSegmentGroup = "([^/]*)";
constexpr std::string_view kAnyGroup = "(.*)";
constexpr std::string_view kEscaped = "^$.*+?()[]|\\";

void AppendLiteral(std::vector<RoutePiece>& pieces, char c) {
    if (pieces.empty() || pieces.back().kind != RoutePieceKind::Literal)
        pieces.push_back({RoutePieceKind::Literal, {}});
    pieces.back().text.push_back(c);
}

void SetFirst(std::string& error, std::string_view message, std::size_t offset) {
    if (error.empty()) error = FormatPositional(message, offset);
}

}  // namespace

ScannedTemplate ScanTemplate(std::string_view pathTemplate) {
    ScannedTemplate out;
    RouteParameter current;
    RouteParameterKind state = RouteParameterKind::None;  // None outside a group
    for (std::size_t i = 0; i < pathTemplate.size(); ++i) {
        const char c = pathTemplate[i];
        if (c == '{') {
            if (state != RouteParameterKind::None) SetFirst(out.error, kMsgTemplateNestedBrace, i);
            state = current.kind = RouteParameterKind::Segment;
        } else if (c == '}') {
            if (state == RouteParameterKind::None) {
                SetFirst(out.error, kMsgTemplateStrayBrace, i);
            } else if (current.name.empty()) {
                SetFirst(out.error, kMsgTemplateUnnamedParameter, i);
            }
            if (state == RouteParameterKind::Fragment) AppendLiteral(out.pieces, '#');
            if (state == RouteParameterKind::Segment) out.pieces.push_back({RoutePieceKind::NoSlash, {}});
            if (state == RouteParameterKind::Tail || state == RouteParameterKind::Fragment) {
                out.pieces.push_back({RoutePieceKind::Any, {}});
            }
            out.parameters.push_back(std::move(current));
            current = RouteParameter{};
            state = RouteParameterKind::None;
        } else if (state == RouteParameterKind::None) {
            AppendLiteral(out.pieces, c);
        } else if (state == RouteParameterKind::Segment && current.name.empty() && c == '+') {
            state = current.kind = RouteParameterKind::Tail;
        } else if (state == RouteParameterKind::Segment && current.name.empty() && c == '#') {
            state = current.kind = RouteParameterKind::Fragment;
        } else {
            current.name.push_back(c);
        }
    }
    if (state != RouteParameterKind::None && out.error.empty()) out.error = kMsgTemplateUnclosed;
    return out;
}

std::string PatternText(const std::vector<RoutePiece>& pieces) {
    std::string pattern;
    for (const RoutePiece& piece : pieces) {
        if (piece.kind == RoutePieceKind::NoSlash) {
            pattern += kSegmentGroup;
        } else if (piece.kind == RoutePieceKind::Any) {
            pattern += kAnyGroup;
        } else {
            for (const char c : piece.text) {
                if (kEscaped.find(c) != std::string_view::npos) pattern.push_back('\\');
                pattern.push_back(c);
            }
        }
    }
    return pattern;
}

std::string TemplateToPattern(std::string_view pathTemplate, std::vector<RouteParameter>& parameters) {
    ScannedTemplate scanned = ScanTemplate(pathTemplate);
    for (RouteParameter& parameter : scanned.parameters) parameters.push_back(std::move(parameter));
    return PatternText(scanned.pieces);
}

std::string TemplateError(std::string_view pathTemplate) { return ScanTemplate(pathTemplate).error; }

Route Route::Build(const EndpointRegistration* registration, std::string_view pathTemplate, RequestMethod allowedMethod,
                   std::string_view allowedMethodName) {
    Route route;
    route.registration_ = registration;
    route.allowedMethod_ = allowedMethod;
    route.allowedMethodName_ = std::string(allowedMethodName);
    if (pathTemplate.find('{') == std::string_view::npos) {
        route.literal_ = std::string(pathTemplate);
        return route;
    }
    route.hasPattern_ = true;
    ScannedTemplate scanned = ScanTemplate(pathTemplate);
    route.pieces_ = std::move(scanned.pieces);
    route.parameters_ = std::move(scanned.parameters);
    return route;
}

// Greedy groups with backtracking, as a whole-string regular expression match
// would choose: each group first takes as much as it may and gives back one
// character at a time when what follows fails. `groups` is the stack of
// choices; on success it holds one span per group, in order.
bool Route::MatchPattern(std::string_view path, std::vector<GroupSpan>& groups) const {
    groups.clear();
    std::size_t piece = 0;
    std::size_t pos = 0;
    for (;;) {
        bool failed = false;
        if (piece == pieces_.size()) {
            if (pos == path.size()) break;
            failed = true;
        } else if (pieces_[piece].kind == RoutePieceKind::Literal) {
            const std::string& literal = pieces_[piece].text;
            if (path.substr(pos, literal.size()) == literal) {
                pos += literal.size();
                ++piece;
            } else {
                failed = true;
            }
        } else {
            std::size_t length = path.size() - pos;
            if (pieces_[piece].kind == RoutePieceKind::NoSlash) {
                const std::size_t slash = path.find('/', pos);
                if (slash != std::string_view::npos) length = slash - pos;
            }
            groups.push_back({piece, pos, length});
            pos += length;
            ++piece;
        }
        if (!failed) continue;
        while (!groups.empty() && groups.back().length == 0) groups.pop_back();
        if (groups.empty()) return false;
        GroupSpan& retry = groups.back();
        --retry.length;
        piece = retry.piece + 1;
        pos = retry.start + retry.length;
    }
    return true;
}

bool Route::MatchSpans(const RouteRequest& request, std::vector<GroupSpan>& groups) const {
    groups.clear();
    // The method is checked first only so that a refused request costs no path walk.
    if (allowedMethod_ != RequestMethod::None &&
        (request.method != allowedMethod_ || request.methodName != allowedMethodName_)) {
        return false;
    }
    if (!hasPattern_) return request.url == literal_;
    // The query string belongs to argument binding, never to a path parameter.
    std::string_view path = request.url;
    const std::size_t query = path.find('?');
    if (query != std::string_view::npos) path = path.substr(0, query);
    return MatchPattern(path, groups);
}

std::size_t Route::CapturedLength(std::string_view url, const std::vector<GroupSpan>& groups) const {
    const std::size_t count = std::min(groups.size(), parameters_.size());
    std::size_t length = 0;
    for (std::size_t i = 0; i < count; ++i) {
        // A later group under the same name replaces this one's capture.
        bool replaced = false;
        for (std::size_t j = i + 1; j < count && !replaced; ++j) replaced = parameters_[j].name == parameters_[i].name;
        if (!replaced) length += PercentDecodedSize(url.substr(groups[i].start, groups[i].length));
    }
    return length;
}

void Route::Capture(std::string_view url, const std::vector<GroupSpan>& groups, PathCaptures& captures) const {
    for (std::size_t i = 0; i < groups.size() && i < parameters_.size(); ++i) {
        captures[parameters_[i].name] = PercentDecode(url.substr(groups[i].start, groups[i].length));
    }
}

bool Route::Match(const RouteRequest& request, PathCaptures& captures) const {
    std::vector<GroupSpan> groups;
    if (!MatchSpans(request, groups)) return false;
    Capture(request.url, groups, captures);
    return true;
}

RouteMatch MatchRoutes(const Route* const* routes, std::size_t count, const RouteRequest& request) {
    RouteMatch kept;
    std::vector<Route::GroupSpan> keptGroups;
    std::vector<Route::GroupSpan> groups;
    std::size_t keptLength = 0;
    bool keptCapturedNothing = false;
    for (std::size_t i = 0; i < count; ++i) {
        const Route* route = routes[i];
        if (route == nullptr || !route->MatchSpans(request, groups)) continue;
        const std::size_t length = route->CapturedLength(request.url, groups);
        if (kept.route == nullptr || length < keptLength) {
            kept.route = route;
            keptGroups.swap(groups);
            keptLength = length;
            keptCapturedNothing = keptGroups.empty() || route->Parameters().empty();
        }
        if (keptCapturedNothing) break;
    }
    if (kept.route != nullptr) kept.route->Capture(request.url, keptGroups, kept.captures);
    return kept;
}

}  // namespace hpk
