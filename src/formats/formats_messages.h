// Every caller-visible message of the wire-format readers (MessagePack, JSON,
// YAML), character for character. Placeholders are filled by FormatPositional;
// each constant lists what its placeholders receive.
#pragma once

namespace hpk {

// --- MessagePack -----------------------------------------------------------

// %1: position just after the offending format byte.
inline constexpr char kMsgMessagePackInvalidData[] = "Invalid MessagePack data at position %1.";
// %1: position just after the key's format byte.
inline constexpr char kMsgMessagePackKeyNotString[] =
    "Invalid MessagePack data at position %1. Map keys must be strings.";
// %1: position of the first byte of the truncated field.
inline constexpr char kMsgMessagePackTruncated8[] =
    "Invalid MessagePack data. 8-bit integer value at position %1 is truncated.";
inline constexpr char kMsgMessagePackTruncated16[] =
    "Invalid MessagePack data. 16-bit integer value at position %1 is truncated.";
inline constexpr char kMsgMessagePackTruncated32[] =
    "Invalid MessagePack data. 32-bit integer value at position %1 is truncated.";
inline constexpr char kMsgMessagePackTruncated64[] =
    "Invalid MessagePack data. 64-bit integer value at position %1 is truncated.";
// %1: declared length; %2: position of the first byte of the text.
inline constexpr char kMsgMessagePackStringTruncated[] =
    "Invalid MessagePack data. String of size %1 at position %2 is truncated.";
// %1: declared length; %2: position of the first byte.
inline constexpr char kMsgMessagePackRawTruncated[] =
    "Invalid MessagePack data. Raw bytes of size %1 at position %2 are truncated.";
// A caller that expects exactly one value in a buffer and finds more after it.
inline constexpr char kMsgMessagePackExtraData[] = "Extra MessgePack data found in body";

// --- JSON ------------------------------------------------------------------

// printf style, filled by the JSON reader itself: %s the tokenizer's message
// (below, by its error code), %u the byte offset where it stopped.
inline constexpr char kMsgJsonError[] = "Error: %s at offset %u.";

// The tokenizer's messages, indexed by its error code (0..17).
inline constexpr const char* kMsgJsonParseErrors[] = {
    "No error.",
    "The document is empty.",
    "The document root must not be followed by other values.",
    "Invalid value.",
    "Missing a name for object member.",
    "Missing a colon after a name of object member.",
    "Missing a comma or '}' after an object member.",
    "Missing a comma or ']' after an array element.",
    "Incorrect hex digit after \\u escape in string.",
    "The surrogate pair in string is invalid.",
    "Invalid escape character in string.",
    "Missing a closing quotation mark in string.",
    "Invalid encoding in string.",
    "Number too big to be stored in double.",
    "Miss fraction part in number.",
    "Miss exponent in number.",
    "Terminate parsing due to Handler error.",
    "Unspecific syntax error.",
};
// Any error code past the table.
inline constexpr char kMsgJsonUnknownError[] = "Unknown error.";

// --- YAML ------------------------------------------------------------------

inline constexpr char kMsgYamlMultiDocument[] = "Multi-document YAML is not supported.";
// %1 line, %2 column of the event's start, counted from 1.
inline constexpr char kMsgYamlInvalidKey[] =
    "Invalid mapping key. Only string scalar keys are allowed. At line: %1 col: %2";
inline constexpr char kMsgYamlUnexpectedSequence[] = "Unexpected start of sequence. At line: %1 col: %2";
inline constexpr char kMsgYamlUnexpectedMapping[] = "Unexpected start of mapping. At line: %1 col: %2";
// %1 alias name; %2 line, %3 column of the alias, counted from 1.
inline constexpr char kMsgYamlCyclicAlias[] = "Cannot deserialize cyclic aliases. Alias \"%1\". At line: %2 col: %3";
inline constexpr char kMsgYamlUndefinedAlias[] = "Undefined alias encountered: \"%1\". At line: %2 col: %3";
// %1 anchor name; %2 line, %3 column of the anchored node, counted from 1.
inline constexpr char kMsgYamlDuplicateAnchor[] = "Duplicate occurrence of anchor \"%1\". At line: %2 col: %3";
// %1 the parser's problem text; %2 line, %3 column of its problem mark, from 0.
inline constexpr char kMsgYamlParserError[] = "YAML parser error: %1. At line: %2 col: %3";
// %1 the tag as written after resolution.
inline constexpr char kMsgYamlUnsupportedTag[] = "Unsupported YAML tag '%1'.";
// The YAML tokenizer's work grows with the square of the flow nesting depth, so
// deep documents are refused before they cost seconds. %1 the limit; %2 line,
// %3 column of the node that went past it, counted from 1.
inline constexpr char kMsgYamlTooDeep[] = "YAML nesting deeper than %1 levels is not supported. At line: %2 col: %3";
// Aliases copy whole subtrees, so a few bytes can ask for exponentially many
// copies. %1 the limit on values copied (and path steps walked) for the aliases
// of one document; %2 line, %3 column of the alias that went past it, from 1.
inline constexpr char kMsgYamlAliasExpansionTooLarge[] =
    "YAML aliases expand to more than %1 values. At line: %2 col: %3";

}  // namespace hpk
