// Template compilation and url matching.
#include "router/route.h"

#include "router/url_text.h"

namespace hpk {
namespace {

constexpr std::string_view kSegmentGroup = "([^/]*)";
constexpr std::string_view kAnyGroup = "(.*)";
constexpr std::string_view kEscaped = "^$.*+?()[]|\\";

}  // namespace

std::string TemplateToPattern(std::string_view pathTemplate, std::vector<RouteParameter>& parameters) {
    std::string pattern;
    pattern.reserve(pathTemplate.size() + 8);
    RouteParameter current;
    RouteParameterKind state = RouteParameterKind::None;
    for (const char c : pathTemplate) {
        if (c == '{') {
            state = RouteParameterKind::Segment;
            current.kind = RouteParameterKind::Segment;
        } else if (c == '}') {
            if (state == RouteParameterKind::Segment) pattern += kSegmentGroup;
            if (state == RouteParameterKind::Tail) pattern += kAnyGroup;
            if (state == RouteParameterKind::Fragment) (pattern += '#') += kAnyGroup;
            parameters.push_back(std::move(current));
            current = RouteParameter{};
            state = RouteParameterKind::None;
        } else if (state == RouteParameterKind::None) {
            if (kEscaped.find(c) != std::string_view::npos) pattern.push_back('\\');
            pattern.push_back(c);
        } else if (state == RouteParameterKind::Segment && current.name.empty() && c == '+') {
            state = current.kind = RouteParameterKind::Tail;
        } else if (state == RouteParameterKind::Segment && current.name.empty() && c == '#') {
            state = current.kind = RouteParameterKind::Fragment;
        } else {
            current.name.push_back(c);
        }
    }
    return pattern;
}

std::string TemplateError(std::string_view pathTemplate) {
    bool open = false;
    std::size_t nameLength = 0;
    for (std::size_t i = 0; i < pathTemplate.size(); ++i) {
        const char c = pathTemplate[i];
        if (c == '{') {
            if (open) return "a '{' inside a parameter at offset " + std::to_string(i);
            open = true;
            nameLength = 0;
        } else if (c == '}') {
            if (!open) return "a '}' without '{' at offset " + std::to_string(i);
            if (nameLength == 0) return "a parameter without a name at offset " + std::to_string(i);
            open = false;
        } else if (open && !(nameLength == 0 && (c == '+' || c == '#') && pathTemplate[i - 1] == '{')) {
            ++nameLength;
        }
    }
    if (open) return "an unclosed '{'";
    return {};
}

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
    route.patternText_ = TemplateToPattern(pathTemplate, route.parameters_);
    // The pattern text uses only escaped characters and the two group forms, so
    // it compiles into literal runs and groups without a general expression engine.
    const std::string& text = route.patternText_;
    for (std::size_t i = 0; i < text.size();) {
        Piece* last = route.pieces_.empty() ? nullptr : &route.pieces_.back();
        const std::string_view rest = std::string_view(text).substr(i);
        if (rest.substr(0, kSegmentGroup.size()) == kSegmentGroup) {
            route.pieces_.push_back({PieceKind::NoSlash, {}});
            i += kSegmentGroup.size();
            continue;
        }
        if (rest.substr(0, kAnyGroup.size()) == kAnyGroup) {
            route.pieces_.push_back({PieceKind::Any, {}});
            i += kAnyGroup.size();
            continue;
        }
        char c = text[i];
        if (c == '\\' && i + 1 < text.size()) c = text[++i];
        if (last == nullptr || last->kind != PieceKind::Literal) {
            route.pieces_.push_back({PieceKind::Literal, {}});
            last = &route.pieces_.back();
        }
        last->text.push_back(c);
        ++i;
    }
    return route;
}

// Greedy groups with backtracking, as a whole-string regular expression match
// would choose: each group first takes as much as it may and gives back one
// character at a time when what follows fails.
bool Route::MatchPattern(std::string_view path, std::vector<GroupSpan>& groups) const {
    struct Choice {
        std::size_t piece;
        std::size_t start;
        std::size_t length;
    };
    std::vector<Choice> choices;
    std::size_t piece = 0;
    std::size_t pos = 0;
    for (;;) {
        bool failed = false;
        if (piece == pieces_.size()) {
            if (pos == path.size()) break;
            failed = true;
        } else if (pieces_[piece].kind == PieceKind::Literal) {
            const std::string& literal = pieces_[piece].text;
            if (path.substr(pos, literal.size()) == literal) {
                pos += literal.size();
                ++piece;
            } else {
                failed = true;
            }
        } else {
            std::size_t length = path.size() - pos;
            if (pieces_[piece].kind == PieceKind::NoSlash) {
                const std::size_t slash = path.find('/', pos);
                if (slash != std::string_view::npos) length = slash - pos;
            }
            choices.push_back({piece, pos, length});
            pos += length;
            ++piece;
        }
        if (!failed) continue;
        while (!choices.empty() && choices.back().length == 0) choices.pop_back();
        if (choices.empty()) return false;
        Choice& retry = choices.back();
        --retry.length;
        piece = retry.piece + 1;
        pos = retry.start + retry.length;
    }
    groups.clear();
    for (const Choice& choice : choices) groups.push_back({choice.start, choice.length});
    return true;
}

bool Route::Match(const RouteRequest& request, PathCaptures& captures) const {
    // The method is checked first only so that a refused request leaves `captures` alone.
    if (allowedMethod_ != RequestMethod::None &&
        (request.method != allowedMethod_ || request.methodName != allowedMethodName_)) {
        return false;
    }
    if (hasPattern_) {
        // The query string belongs to argument binding, never to a path parameter.
        std::string_view path = request.url;
        const std::size_t query = path.find('?');
        if (query != std::string_view::npos) path = path.substr(0, query);
        std::vector<GroupSpan> groups;
        if (!MatchPattern(path, groups)) return false;
        for (std::size_t i = 0; i < groups.size() && i < parameters_.size(); ++i) {
            captures[parameters_[i].name] = PercentDecode(path.substr(groups[i].start, groups[i].length));
        }
    } else if (request.url != literal_) {
        return false;
    }
    return true;
}

RouteMatch MatchRoutes(const Route* const* routes, std::size_t count, const RouteRequest& request) {
    RouteMatch kept;
    std::size_t keptLength = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const Route* route = routes[i];
        PathCaptures captures;
        if (route == nullptr || !route->Match(request, captures)) continue;
        std::size_t length = 0;
        for (const auto& entry : captures) length += entry.second.size();
        if (kept.route == nullptr || length < keptLength) {
            kept.route = route;
            kept.captures = std::move(captures);
            keptLength = length;
        }
        if (kept.captures.empty()) break;
    }
    return kept;
}

}  // namespace hpk
