// Every message the request router writes into a response, character for
// character. Placeholders are filled by FormatPositional.
#pragma once
#include <string_view>

namespace hpk {

// No route matches the request's url and method (status 404).
inline constexpr std::string_view kMsgInvalidFunction = "Invalid function";
// %1 argument name (or the computed index of an unnamed argument); %2 function name.
inline constexpr std::string_view kMsgUnknownArgument = "Unknown argument '%1' for '%2'.";
// %1 argument name; %2 function name.
inline constexpr std::string_view kMsgInvalidLocation = "Argument '%1' for '%2' was specified in an invalid location.";
// %1 argument name.
inline constexpr std::string_view kMsgExpectedValue = "Expected value for argument '%1'.";
// %1 the member-path segment.
inline constexpr std::string_view kMsgIndexFormat = "Index %1 is in an incorrect format";
// %1 the member-path segment.
inline constexpr std::string_view kMsgIndexRange = "Index %1 is out of range";
inline constexpr std::string_view kMsgUnsupportedContentType = "Unsupported body content type";
inline constexpr std::string_view kMsgExtraMessagePack = "Extra MessgePack data found in body";
// %1 argument name; %2 function name; %3 the reader's error text.
inline constexpr std::string_view kMsgJsonArgument = "Couldn't deserialize JSON value for parameter '%1' of '%2': %3";
inline constexpr std::string_view kMsgYamlArgument = "Couldn't deserialize YAML value for parameter '%1' of '%2': %3";
inline constexpr std::string_view kMsgMessagePackArgument =
    "Couldn't deserialize MessagePack value for parameter '%1' of '%2': %3";

// A handler let an exception escape. %1 the function name; %2 what the
// exception said (empty when it carried no text).
inline constexpr std::string_view kMsgHandlerFailed = "Handler of '%1' failed: %2";
// The request could not be served at all (an exception outside any handler,
// a response that could not be allocated). Written as a static text that the
// release routine does not free, so it needs no memory of its own.
inline constexpr char kMsgInternalError[] = "Internal error while serving the request";
// The endpoint user data of a request is missing.
inline constexpr std::string_view kMsgNoEndpoint = "Request carries no endpoint";

// Registration mistakes, reported to whoever registers the function.
// %1 template; %2 function name; %3 what is wrong with it.
inline constexpr std::string_view kMsgMalformedTemplate = "Path template '%1' of '%2' is malformed: %3";
// %1 function name.
inline constexpr std::string_view kMsgFunctionExists = "A function named '%1' is already registered";
// %1 function name; %2 declared argument count; %3 the count the handler takes.
inline constexpr std::string_view kMsgArgumentCountMismatch = "'%1' declares %2 arguments but its handler takes %3";
// %1 function name.
inline constexpr std::string_view kMsgNoHandler = "'%1' has no handler";

// What is wrong with a path template (the %3 of kMsgMalformedTemplate); the
// first one found wins. %1 the offset of the offending character.
inline constexpr std::string_view kMsgTemplateNestedBrace = "a '{' inside a parameter at offset %1";
inline constexpr std::string_view kMsgTemplateStrayBrace = "a '}' without '{' at offset %1";
inline constexpr std::string_view kMsgTemplateUnnamedParameter = "a parameter without a name at offset %1";
inline constexpr char kMsgTemplateUnclosed[] = "an unclosed '{'";

}  // namespace hpk
