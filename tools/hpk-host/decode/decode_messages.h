// Messages of `hpk-host decode` itself; the readers' own messages live with
// the readers.
#pragma once

namespace hpk::host {

inline constexpr char kDecodeSynopsis[] = "--json|--yaml|--msgpack [--print typed|json|none] [--repeat N] [FILE|-]";
inline constexpr char kDecodeSummary[] = "prints what a payload decodes to";
inline constexpr char kDecodeNeedsFormat[] = "--json, --yaml or --msgpack";  // "... is required"
// %1 the file name, %2 the system's reason
inline constexpr char kDecodeCannotRead[] = "hpk-host decode: cannot read '%1': %2";
inline constexpr char kDecodeReadError[] = "read error";
// %1 the depth limit
inline constexpr char kDecodeTooDeepToPrint[] =
    "hpk-host decode: the tree is nested deeper than %1 levels; use --print json";

}  // namespace hpk::host
