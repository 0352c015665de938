// Every caller-visible message of the type registry and of value-to-native
// conversion, character for character. Placeholders are filled by
// FormatPositional; each constant lists them in order.
#pragma once

namespace hpk {

// %1 path
constexpr const char kMsgValueRequired[] = "A value for '%1' is required.";
// %1 path; %2 value kind text
constexpr const char kMsgBoolInvalidType[] =
    "Couldn't assign value to '%1' of type bool because the input is of an invalid type %2.";
// %1 the string; %2 path
constexpr const char kMsgBoolIncorrectFormat[] =
    "Value %1 for '%2' of type bool is in an incorrect format. Options are \"true\", \"false\", \"1\", \"0\".";
// %1 the string; %2 path; %3 type text
constexpr const char kMsgIncorrectFormat[] = "Value %1 for '%2' of type %3 is in an incorrect format";
// %1 the number or string; %2 path; %3 type text
constexpr const char kMsgOutOfRange[] = "Value %1 for '%2' of type %3 is out of range";
// %1 path; %2 type text; %3 value kind text
constexpr const char kMsgInvalidType[] =
    "Couldn't assign value to '%1' of type %2 because the input is of an invalid type %3.";
// %1 the number or string; %2 enumeration name; %3 path
constexpr const char kMsgNotValidNamedEnumValue[] = "%1 is not a valid %2 enumeration value for '%3'.";
// %1 path; %2 value kind text
constexpr const char kMsgEnumInvalidType[] =
    "Couldn't assign value to '%1' of enum type because the input is of an invalid type %2.";
// %1 the enumerator's number; %2 path
constexpr const char kMsgNotValidEnumValue[] = "%1 is not a valid enumeration value for '%2'.";
// %1 path
constexpr const char kMsgNotString[] = "Couldn't assign value to '%1' because the input is not a string.";
// %1 path
constexpr const char kMsgUnregisteredStructure[] =
    "Couldn't assign value to '%1' because the input is an unregistered structure or not a structure at all.";
// %1 path; %2 structure name
constexpr const char kMsgNotStructure[] = "Couldn't assign value to '%1' of type %2 because the input not a structure.";
// %1 path; %2 structure name; %3 field name
constexpr const char kMsgMissingRequiredField[] =
    "Couldn't assign value to '%1' of type %2 because the input structure doesn't have required field '%3'.";
// %1 path
constexpr const char kMsgNotCollection[] =
    "Couldn't assign value to '%1' of type vector because the input not a collection.";
// no placeholders
constexpr const char kMsgUnregisteredNative[] = "Couldn't convert native value because it's an unregistered structure.";

// Guards of the type-driven walk. A registered structure can hold a vector of
// itself, so the input's depth would otherwise become the walk's stack depth.
// %1 path
constexpr const char kMsgNestedTooDeeply[] = "Couldn't assign value to '%1' because the input is nested too deeply.";
// no placeholders
constexpr const char kMsgNativeNestedTooDeeply[] = "Couldn't convert native value because it's nested too deeply.";

}  // namespace hpk
