// Messages of `hpk-host decode` itself; the readers' own messages live with
// the readers.
#pragma once

namespace hpk::host {

inline constexpr char kDecodeUsage[] =
    "usage: hpk-host decode --json|--yaml|--msgpack [--print typed|json|none] [--repeat N] [FILE|-]\n"
    "  Reads FILE (standard input when FILE is - or absent), decodes it N times\n"
    "  (default 1) and prints the last tree: typed (default), json or none.\n"
    "  typed shows a string byte that is not valid UTF-8 as \\xNN; json, which\n"
    "  must be UTF-8, shows it as U+FFFD.\n";
// %1 the argument
inline constexpr char kDecodeBadArgument[] = "hpk-host decode: unexpected argument '%1'";
// %1 the file name, %2 the system's reason
inline constexpr char kDecodeCannotRead[] = "hpk-host decode: cannot read '%1': %2";
// %1 the depth limit
inline constexpr char kDecodeTooDeepToPrint[] =
    "hpk-host decode: the tree is nested deeper than %1 levels; use --print json";

}  // namespace hpk::host
