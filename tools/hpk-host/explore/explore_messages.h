// Every message of `hpk-host explore` that a user reads, character for
// character: space files, patterns, broken invariants, workers and shrinking.
// Placeholders are filled by FormatPositional; each constant lists what its
// placeholders receive. Texts a scenario file shares are in text/host_messages.h.
#pragma once

namespace hpk::host {

// --- Space files --------------------------------------------------------------------
// Each is put after the place it concerns: "input /x variant 2: ...".

// %1: the path.
inline constexpr char kMsgSpaceFileUnreadable[] = "cannot read space file %1";
inline constexpr char kMsgSpaceTopShape[] =
    "a space file is a mapping (name, served, inputs, steps, gets, posts, nest_in, metamorphic, model)";
// %1: the key.
inline constexpr char kMsgSpaceWeightTooLarge[] = "'%1' must be at most 1000000";
// %1: the key.
inline constexpr char kMsgSpaceNotPercentage[] = "'%1' is a percentage";
inline constexpr char kMsgSpaceVariantShape[] = "a variant is a mapping with one of value, error, stream";
inline constexpr char kMsgSpaceInputShape[] = "an input is a mapping with weight, at_start and variants";
inline constexpr char kMsgSpaceVariantsShape[] = "'variants' must be a list";
inline constexpr char kMsgSpaceNoVariant[] = "an input needs at least one variant";
inline constexpr char kMsgSpaceNoInput[] = "'inputs' must name at least one resource";
// %1: the one model the host has
inline constexpr char kMsgSpaceUnknownModel[] = "'model' names no model the host has (it has %1)";
inline constexpr char kMsgSpaceServedShape[] = "'served' must map the plugin's resource paths to their rules";
inline constexpr char kMsgSpaceRuleShape[] = "a served resource's rule is a mapping (list, order) or nothing";
inline constexpr char kMsgSpaceMetamorphicShape[] = "'metamorphic' is a mapping (share, resources, setup, commute)";
inline constexpr char kMsgSpaceCommuteValues[] = "commuting variants are values";
inline constexpr char kMsgSpaceShareNeedsCommute[] = "a share of metamorphic sessions needs commuting inputs";
// %1: the step kind; %2: the key its steps draw from.
inline constexpr char kMsgSpaceStepsNeed[] = "%1 steps need %2";
// %1: the input's URI.
inline constexpr char kMsgSpaceInputWhere[] = "input %1";
// %1: the input's place; %2: the variant's 1-based number.
inline constexpr char kMsgSpaceVariantWhere[] = "%1 variant %2";
// %1: the resource path.
inline constexpr char kMsgSpaceServedWhere[] = "served %1";
// %1: the URI.
inline constexpr char kMsgSpaceCommuteWhere[] = "metamorphic commute %1";
// %1: the post's 1-based number.
inline constexpr char kMsgSpacePostWhere[] = "post %1";

// --- Order patterns of served lists --------------------------------------------------

// %1: the pattern; %2: what is wrong with it.
inline constexpr char kMsgPatternProblem[] = "%1: %2";
inline constexpr char kMsgPatternOpenGroup[] = "a group without its ')'";
inline constexpr char kMsgPatternCloseGroup[] = "a ')' without its group";
inline constexpr char kMsgPatternOpenClass[] = "a class without its ']'";
inline constexpr char kMsgPatternOpenCount[] = "a count without its '}'";
inline constexpr char kMsgPatternBadCount[] = "a count must be a number up to 1000";
// %1: the character.
inline constexpr char kMsgPatternMisplaced[] = "'%1' where a character was expected";

// --- Playing sessions ----------------------------------------------------------------

// %1: the step's number; %2: the URI updated; %3: the path of the request it is delivered in.
inline constexpr char kMsgNestedUpdate[] = "%1: update %2 inside the request of %3";

// --- Invariants broken ---------------------------------------------------------------

inline constexpr char kMsgBreachGenericFirst[] = "\"OnJsonApiEvent\" posted without the resource's own event before it";
// %1: the event posted; %2: its payload's uri; %3: that uri's event name.
inline constexpr char kMsgBreachWrongEvent[] = "posted %1 for uri %2, whose event name is %3";
// %1: the event posted.
inline constexpr char kMsgBreachNoGeneric[] = "%1 was not followed by the same event as \"OnJsonApiEvent\"";
// %1: the event posted; %2: its payload; %3: the payload of the generic event.
inline constexpr char kMsgBreachGenericDiffers[] = "%1 %2 went out as \"OnJsonApiEvent\" with %3";
// %1: the resource path; %2: the list's key; %3: the body.
inline constexpr char kMsgBreachNotList[] = "%1: '%2' is not a list: %3";
// %1: the resource path; %2: the item.
inline constexpr char kMsgBreachItemNotText[] = "%1: item %2 is not a text";
// %1: the resource path; %2: the item; %3: the body.
inline constexpr char kMsgBreachServedTwice[] = "%1: %2 served twice in %3";
// %1: the resource path; %2: the item; %3: the body.
inline constexpr char kMsgBreachNoPattern[] = "%1: %2 matches no pattern in %3";
// %1: the resource path; %2: the item; %3: the body.
inline constexpr char kMsgBreachOutOfOrder[] = "%1: %2 is out of order in %3";
// %1: the resource path; %2: the error.
inline constexpr char kMsgBreachGetFailed[] = "GET %1 failed: %2";
// %1: the resource path; %2: what it serves; %3: what was published last.
inline constexpr char kMsgBreachNotPublished[] = "%1 serves %2 but its latest publication was %3";
// %1: the resource path; %2: the body before; %3: the body after.
inline constexpr char kMsgBreachRedelivery[] = "the same update again changed %1 from %2 to %3";
// %1: live bytes; %2: live blocks.
inline constexpr char kMsgBreachCounters[] = "%1 bytes in %2 blocks live after shutdown";
inline constexpr char kMsgBreachInitFailed[] = "init returned false";
// %1: the scenario reader's message.
inline constexpr char kMsgBreachNotScenario[] = "the session does not read as a scenario: %1";
// %1: " PATH BODY" for each path in the other order; %2: the same in the first order.
inline constexpr char kMsgBreachOrder[] = "the same inputs in another order end serving%1 instead of%2";
// %1: how the process ended ("exit status 9", "signal 11").
inline constexpr char kMsgBreachProcessEnded[] = "the session's process ended (%1) during the session";
// %1: the time-out in seconds.
inline constexpr char kMsgBreachHang[] = "the session ran for more than %1 s";

// --- Workers, shrinking and the summary -----------------------------------------------

// %1: the path.
inline constexpr char kMsgReplayUnreadable[] = "cannot read %1";
// %1: the path; %2: the YAML reader's message.
inline constexpr char kMsgReplayYaml[] = "%1: not valid YAML: %2";
// %1: the path.
inline constexpr char kMsgReplayNoSpace[] = "%1 names no space under 'invariants'";
inline constexpr char kMsgExploreNoWorker[] = "cannot start a worker process";
// %1: the seed; %2: the session's index.
inline constexpr char kMsgSessionName[] = "explore seed %1 session %2";
// %1: the session's name.
inline constexpr char kMsgShrunkName[] = "%1 (shrunk)";
// %1: the session's name.
inline constexpr char kMsgShrunkReorderedName[] = "%1 (shrunk, reordered)";
// %1: the invariant; %2: its message.
inline constexpr char kMsgShrunkDescription[] = "Breaks the invariant %1: %2";
// %1: the invariant.
inline constexpr char kMsgShrunkOrderDescription[] =
    "Breaks %1: played in this order and in the order of the -reordered file, the plugin ends serving different "
    "values.";
inline constexpr char kMsgExploreOk[] = "ok, no invariant broken";
// %1: the session's index; %2: the invariant; %3: its message.
inline constexpr char kMsgExploreFailed[] = "FAILED: session %1 broke %2: %3";
// %1: the session's steps; %2: the shrunk scenario's; %3: its file.
inline constexpr char kMsgExploreShrunk[] = "%1 steps to %2: %3";
// %1: the seed; %2: the session's index; %3: the invariant; %4: the shrunk scenario's file.
inline constexpr char kMsgExploreBroke[] = "seed %1 session %2 broke %3; shrunk to %4";

}  // namespace hpk::host
