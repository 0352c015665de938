// Every message of the reference host that a user reads, character for
// character. Placeholders are filled by FormatPositional; each constant lists
// what its placeholders receive.
#pragma once

namespace hpk::host {

// --- Values the plugin hands over ------------------------------------------

// %1: the byte found in a bool record.
inline constexpr char kMsgHostValueBadBool[] = "bool record holds %1 instead of 0 or 1";
// %1: the tag.
inline constexpr char kMsgHostValueBadText[] = "tag %1 text is unreadable or not terminated";
// %1: the length word; %2: the length up to the terminator.
inline constexpr char kMsgHostValueBadLength[] =
    "owned text says it is %1 bytes long but its terminator comes after %2";
// %1: the tag; %2: the count.
inline constexpr char kMsgHostValueBadData[] = "tag %1 with count %2 points to unreadable memory";
// %1: the tag.
inline constexpr char kMsgHostValueBadTag[] = "tag %1 is not a value tag (0 to 10)";
inline constexpr char kMsgHostValueBadKey[] = "map entry key is unreadable or not terminated";

// --- Scenario files -----------------------------------------------------------
// Each is put after the place it concerns: "step 4 (expect): unknown key 'x'".

// %1: the path.
inline constexpr char kMsgScenarioFileUnreadable[] = "cannot read scenario file %1";
// %1: the YAML reader's message.
inline constexpr char kMsgScenarioYaml[] = "not valid YAML: %1";
inline constexpr char kMsgScenarioTopShape[] = "a scenario is a mapping with name, description, resources and steps";
inline constexpr char kMsgScenarioResourcesShape[] = "'resources' must map URIs to what they serve";
inline constexpr char kMsgScenarioStepsShape[] = "'steps' must be a list";
// %1: the URI.
inline constexpr char kMsgScenarioResourceWhere[] = "resource %1";
// %1: the step's 1-based number.
inline constexpr char kMsgScenarioStepWhere[] = "step %1";
// %1: the step's number; %2: its kind.
inline constexpr char kMsgScenarioStepKindWhere[] = "step %1 (%2)";
inline constexpr char kMsgScenarioStepShape[] =
    "a step is a mapping with exactly one of update, delete, serve, get, wait, expect, post";
inline constexpr char kMsgScenarioPostPayload[] = "a post needs a payload (null for none)";
inline constexpr char kMsgScenarioPostName[] = "a post needs an event name";
// %1: the key.
inline constexpr char kMsgScenarioUnknownKey[] = "unknown key '%1'";
// %1: the key.
inline constexpr char kMsgScenarioNotText[] = "'%1' must be a text";
// %1: the key.
inline constexpr char kMsgScenarioNotCount[] = "'%1' must be a whole number";
inline constexpr char kMsgScenarioBadDuration[] =
    "a wait is a number of milliseconds, or a text such as \"250 ms\" or \"2 s\", at most 10 minutes";
inline constexpr char kMsgScenarioOneAnswer[] = "give exactly one of value, error, stream";
inline constexpr char kMsgScenarioErrorMessage[] = "an error needs a message";
inline constexpr char kMsgScenarioStreamShape[] = "a stream is a mapping with either text or value, and chunk";
inline constexpr char kMsgScenarioChunk[] = "'chunk' must be between 1 and 65536 bytes";
inline constexpr char kMsgScenarioUpdateValue[] = "an update needs a value (null for none)";
inline constexpr char kMsgScenarioEventType[] = "'event' must be Create or Update";
inline constexpr char kMsgScenarioUri[] = "a URI must start with \"/\"";
inline constexpr char kMsgScenarioExpectShape[] = "an expect step is a mapping of expectations";
inline constexpr char kMsgScenarioPostedCountShape[] = "'posted_count' must map event names to counts";
inline constexpr char kMsgScenarioRequestedCountShape[] = "'requested_count' must map requests to counts";
inline constexpr char kMsgScenarioTelemetryShape[] =
    "'telemetry' must be a mapping of count, fields, missing and values (a mapping)";

// --- Calls the plugin makes (CoreApi) ---------------------------------------

inline constexpr char kMsgUnreadableText[] = "(unreadable text)";
inline constexpr char kMsgOutOfMemory[] = "the host ran out of memory";
inline constexpr char kMsgNobodySubscribes[] = "  (nobody subscribes to it: not delivered)";
inline constexpr char kMsgRequestRecordUnreadable[] = "Request called with an unreadable request or response record";
inline constexpr char kMsgRequestUrlUnreadable[] = "Request called with an unreadable url";
// %1: method; %2: url.
inline constexpr char kMsgResponseNotZeroed[] = "%1 %2: the response record was not zeroed before the call";
// %1: method; %2: url.
inline constexpr char kMsgArgumentsUnreadable[] = "%1 %2: the argument array is unreadable";
// %1: method; %2: url; %3: what is wrong with it.
inline constexpr char kMsgArgumentBroken[] = "%1 %2: broken argument: %3";
// %1: slot number.
inline constexpr char kMsgUnusedSlot[] = "the plugin called CoreApi slot %1, which it does not use";
inline constexpr char kMsgEventRecordUnreadable[] = "PostEvent called with an unreadable event record";
inline constexpr char kMsgEventNameUnreadable[] = "an event name is unreadable";
// %1: event name; %2: what is wrong with the payload.
inline constexpr char kMsgPostedPayloadBroken[] = "event %1 was posted with a broken payload: %2";
// %1: the value.
inline constexpr char kMsgPostedValue[] = " (publisher value %1)";
inline constexpr char kMsgKindResource[] = "resource events";
inline constexpr char kMsgKindServiceProxy[] = "service-proxy events";
inline constexpr char kMsgKindUnknown[] = "events of an unknown kind";
// %1: event name.
inline constexpr char kMsgSubscribeNoCallback[] = "subscription to %1 without a callback";
// %1: the handle passed; %2: the plugin's handle.
inline constexpr char kMsgWrongHandle[] = "the plugin passed handle %1, but its handle is %2";
// %1: event name.
inline constexpr char kMsgSubscribedTwice[] = "subscribed twice to %1 (the second replaces the first)";
// %1: event name.
inline constexpr char kMsgUnsubscribedUnknown[] = "unsubscribed from %1, which it had not subscribed to";
// %1: label; %2: value.
inline constexpr char kMsgMarkBegin[] = "begin \"%1\" (%2)";
// %1: label.
inline constexpr char kMsgMarkEnd[] = "end \"%1\"";
inline constexpr char kMsgMarkEndUnopened[] = "MarkEnd without an open MarkBegin";
// %1: label.
inline constexpr char kMsgMarkNotClosed[] = "wait section \"%1\" was never closed";
inline constexpr char kMsgYield[] = "the plugin lets the host run";
// %1: event name; %2: number of fields.
inline constexpr char kMsgTelemetrySummary[] = "%1 with %2 fields";
// %1: path.
inline constexpr char kMsgNotServed[] = "No resource is served at %1";
// The same answer as the timeline shows it (the url is on the line already).
inline constexpr char kMsgNotServedShort[] = "404 not served";
// %1: status; %2: body size; %3: chunk size.
inline constexpr char kMsgStreamAnswer[] = "%1, a streamed body of %2 bytes in chunks of at most %3";
// %1: url; %2: the read's number.
inline constexpr char kMsgStreamFailedRead[] = "%1: read %2 fails, as the scenario says";
// %1: url; %2: bytes delivered; %3: reads; %4: yields.
inline constexpr char kMsgStreamClosed[] = "%1: closed after %2 bytes in %3 reads, %4 yields in between";
// %1: url.
inline constexpr char kMsgStreamNotClosed[] = "the stream of %1 was never closed";
// %1: count.
inline constexpr char kMsgResponsesNotReleased[] = "%1 responses were never released";
// %1: count.
inline constexpr char kMsgResponsesReleasedTwice[] = "responses were released %1 times more than they were answered";

// --- The host table (describe, check) ------------------------------------------

inline constexpr char kMsgHostTableUnreadable[] = "the host table is null or unreadable";
// %1: the chain; %2: its count.
inline constexpr char kMsgChainTooLong[] = "%1: a count of %2 is beyond any plausible table";
// %1: the chain; %2: its count; %3: the address.
inline constexpr char kMsgChainUnreadable[] = "%1: %2 records at %3 are unreadable";
// %1: the chain; %2: its count; %3: the last record's next pointer.
inline constexpr char kMsgChainLonger[] = "%1: the last of %2 records points on to %3 instead of ending the chain";
// %1: the chain; %2: records found; %3: the count.
inline constexpr char kMsgChainShorter[] = "%1: the chain ends after %2 records but the count says %3";
// %1: the chain; %2: the record; %3: the earlier record it points to.
inline constexpr char kMsgChainCycle[] = "%1: record %2 points back to record %3, a cycle";
// %1: the chain; %2: the record; %3: where it points.
inline constexpr char kMsgChainNotNext[] = "%1: record %2 points to %3, not to the record after it";
// %1: the record; %2: the field.
inline constexpr char kMsgTextNull[] = "%1: %2 is null";
// %1: the record; %2: the field; %3: the address.
inline constexpr char kMsgTextUnreadable[] = "%1: %2 at %3 is unreadable or not terminated";
// %1: the record; %2: the field; %3: the count.
inline constexpr char kMsgTextArrayUnreadable[] = "%1: the %2 array of %3 entries is unreadable";
// %1: the record; %2: the kind.
inline constexpr char kMsgKindOutOfRange[] = "%1: type kind %2 is outside 0..19";
// %1: the record.
inline constexpr char kMsgTypeNameMissing[] = "%1: an enum or struct type without its name";
// %1: the index.
inline constexpr char kMsgWhereEndpoint[] = "endpoint %1";
// %1: the name.
inline constexpr char kMsgWhereFunction[] = "function %1";
// %1: the record.
inline constexpr char kMsgWordNotZero[] = "%1: the word at offset 4 is not zero";
// %1: the record.
inline constexpr char kMsgEndpointNoCallback[] = "%1: no request callback";
// %1: the record.
inline constexpr char kMsgEndpointNoUserData[] = "%1: no endpoint user data";
// %1: the record; %2: the code.
inline constexpr char kMsgMethodOutOfRange[] = "%1: method code %2 is outside 0..8";
// %1: the index.
inline constexpr char kMsgWhereTypeIndex[] = "type record %1";
// %1: the name.
inline constexpr char kMsgWhereType[] = "type %1";
// %1: the record.
inline constexpr char kMsgFieldsAndEnumerators[] = "%1: has both fields and enumerators";
// %1: the field; %2: its offset; %3: the type's size.
inline constexpr char kMsgFieldOffset[] = "%1: offset %2 is not inside the type's %3 bytes";
// %1: the type; %2: the enumerator.
inline constexpr char kMsgEnumeratorOrder[] = "%1: enumerator %2 is out of name order";
// %1: the index.
inline constexpr char kMsgWhereEventIndex[] = "event record %1";
// %1: the name.
inline constexpr char kMsgWhereEvent[] = "event %1";
// %1: the record; %2: the type name.
inline constexpr char kMsgTypeNotDescribed[] = "%1 names type %2, which the table does not describe";

// --- Driving the plugin -----------------------------------------------------------

// %1: path.
inline constexpr char kMsgLoadLibrary[] = "library %1";
// %1: path; %2: the system's reason.
inline constexpr char kMsgLibraryOpen[] = "cannot load %1: %2";
// %1: path; %2: the entry point's name.
inline constexpr char kMsgNoEntryPoint[] = "%1 exports no %2";
inline constexpr char kMsgHandshakeNoCallbacks[] = "the load record holds no readable callback table (word 3)";
inline constexpr char kMsgHandshakeNullCallback[] = "the callback table has a null slot";
inline constexpr char kMsgHandshakeNoName[] = "the load record holds no readable full name (word 5)";
// %1: what is wrong.
inline constexpr char kMsgHandshakeTable[] = "the host table (word 6) is broken: %1";
// %1: full name; %2: version; %3..%5: endpoint, type and event counts.
inline constexpr char kMsgHandshakeSummary[] = "%1 speaks plugin API %2: %3 endpoints, %4 types, %5 events";
// %1: the plugin handle.
inline constexpr char kMsgInitCall[] = "plugin handle %1";
inline constexpr char kMsgInitTrue[] = "returned true";
inline constexpr char kMsgInitFalse[] = "returned false";
inline constexpr char kMsgShutdownCall[] = "the plugin unsubscribes and frees what it holds";
// %1: path.
inline constexpr char kMsgAnswerOk[] = "ok";
inline constexpr char kMsgNoEndpoint[] = "no endpoint record serves %1";
// %1: the call; %2: what is wrong.
inline constexpr char kMsgAnswerBodyBroken[] = "%1: the response body is broken: %2";
// %1: the call.
inline constexpr char kMsgAnswerStreamFailed[] = "%1: reading the response stream failed";
// %1: the call.
inline constexpr char kMsgAnswerNoRelease[] = "%1: the response has no release routine";
// %1: the call.
inline constexpr char kMsgAnswerNotZeroed[] = "%1: the release routine left the response record not all zero";
inline constexpr char kMsgCountersTrailingWords[] = "the memory counters record does not end with two zero words";
// %1: label; %2: live bytes; %3: live blocks; %4: peak bytes; %5: allocations.
inline constexpr char kMsgCountersSummary[] = "%1: %2 bytes in %3 blocks live, peak %4 bytes, %5 allocations so far";
// %1: event name.
inline constexpr char kMsgStillSubscribed[] = "still subscribed to %1 after shutdown";

// --- Expectations -------------------------------------------------------------------

// %1: the resource; %2: the error.
inline constexpr char kMsgExpectFetchFailed[] = "could not GET %1 from the plugin: %2";
// %1: expected list; %2: served list.
inline constexpr char kMsgExpectFilters[] = "filters: expected %1 but the plugin serves %2";
// %1: the filter; %2: served list.
inline constexpr char kMsgExpectFilterMissing[] = "filters_include: %1 is not served (served: %2)";
// %1: the filter; %2: served list.
inline constexpr char kMsgExpectFilterPresent[] = "filters_exclude: %1 is served (served: %2)";
// %1: expected; %2: served.
inline constexpr char kMsgExpectLocale[] = "locale: expected \"%1\" but the plugin serves \"%2\"";
// %1: event name; %2: names posted.
inline constexpr char kMsgExpectPosted[] = "posted: no %1 event was posted (posted: %2)";
// %1: event name.
inline constexpr char kMsgExpectNotPosted[] = "not_posted: %1 was posted";
// %1: event name; %2: times posted; %3: expected.
inline constexpr char kMsgExpectPostedCount[] = "posted_count: %1 was posted %2 times, expected %3";
// %1: events posted; %2: expected.
inline constexpr char kMsgExpectTelemetryCount[] = "telemetry count: %1 telemetry events were posted, expected %2";
inline constexpr char kMsgExpectTelemetryNone[] = "telemetry: no telemetry event was posted";
// %1: field; %2: fields posted.
inline constexpr char kMsgExpectTelemetryField[] = "telemetry fields: %1 is missing (posted: %2)";
// %1: field.
inline constexpr char kMsgExpectTelemetryExtra[] = "telemetry missing: %1 was posted";
// %1: field; %2: posted value; %3: expected value.
inline constexpr char kMsgExpectTelemetryValue[] = "telemetry values: %1 is \"%2\", expected \"%3\"";
// %1: the request.
inline constexpr char kMsgExpectRequested[] = "requested: the plugin never requested %1";
// %1: the request; %2: times requested; %3: expected.
inline constexpr char kMsgExpectRequestedCount[] = "requested_count: %1 was requested %2 times, expected %3";
// %1: the request.
inline constexpr char kMsgExpectNotRequested[] = "not_requested: the plugin requested %1";
// %1: event name.
inline constexpr char kMsgExpectSubscribed[] = "subscribed: the plugin is not subscribed to %1";
// %1: event name.
inline constexpr char kMsgExpectNotSubscribed[] = "not_subscribed: the plugin is subscribed to %1";
// %1: the text.
inline constexpr char kMsgExpectLogged[] = "logged: no log line contains \"%1\"";

// --- The command line -------------------------------------------------------------

inline constexpr char kMsgCommandLineUsage[] = "usage: hpk-host <command> [options]\n";
// %1: the command; %2: its synopsis; %3: what it does.
inline constexpr char kMsgCommandLineEntry[] = "  %1 %2\n      %3\n";
inline constexpr char kMsgCommandLineFooter[] =
    "The plugin library defaults to the one beside this executable.\n"
    "hpk-host <command> --help describes a command; hpk-host --version prints the versions.\n";
// %1: "hpk-host" and the command; %2: the command's synopsis.
inline constexpr char kMsgCommandUsage[] = "usage: %1 %2";
// %1: the project's version; %2..%4: the plugin API version the host speaks.
inline constexpr char kMsgVersion[] = "hpk-host %1, plugin API %2.%3.%4";
inline constexpr char kMsgHelpOption[] = "prints this help";
inline constexpr char kMsgPluginOption[] = "the plugin library (default: the one beside this executable)";
// %1: the argument.
inline constexpr char kMsgUnexpectedArgument[] = "unexpected argument '%1'";
// %1: the text given.
inline constexpr char kMsgNotACount[] = "'%1' is not a whole number";
// %1: the number given; %2: the least allowed.
inline constexpr char kMsgCountBelow[] = "'%1' is less than %2";
// %1: the number given; %2: the most allowed.
inline constexpr char kMsgCountAbove[] = "'%1' is more than %2";
// %1: the word given; %2: the words allowed, "|" between them.
inline constexpr char kMsgNotAChoice[] = "'%1' is not one of %2";

// --- hpk-host run ---------------------------------------------------------------------

// %1: the page's path; %2: the system's reason.
inline constexpr char kMsgHtmlOpen[] = "cannot write %1: %2";
// %1: the page's path.
inline constexpr char kMsgHtmlWrite[] = "writing %1 failed";
// %1: the scenario's name.
inline constexpr char kMsgRunHeader[] = "hpk-host run: %1";
inline constexpr char kMsgStartUpWhy[] = "start-up";
inline constexpr char kMsgRunColumns[] = "      ms      what        details";
inline constexpr char kMsgRunInitFailed[] = "init returned false: the plugin refused to start";
// %1: milliseconds; %2: the step's number.
inline constexpr char kMsgWaitStep[] = "%1 ms (step %2)";
// %1: number of expectations.
inline constexpr char kMsgExpectMet[] = "all %1 expectations met";
// %1: the step's number; %2: the unmet expectation.
inline constexpr char kMsgStepFailed[] = "step %1 (expect): %2";
inline constexpr char kMsgCountersBeforeShutdown[] = "before shutdown";
inline constexpr char kMsgCountersAfterShutdown[] = "after shutdown";
// %1: label; %2: live bytes; %3: live blocks; %4: peak bytes; %5: allocations.
inline constexpr char kMsgCountersLine[] = "%1: %2 bytes in %3 blocks live, peak %4 bytes, %5 allocations";
// %1: number of problems; %2: the first.
inline constexpr char kMsgRunProblems[] = "the plugin broke %1 boundary rules; the first: %2";
inline constexpr char kMsgRunEnd[] = "== end of the scenario: what the plugin serves, its memory, shutdown";
inline constexpr char kMsgRunNoTelemetry[] = "none posted";
// %1: number of expectations.
inline constexpr char kMsgRunOk[] = "ok, %1 expectations met";

// --- hpk-host describe ---------------------------------------------------------------

inline constexpr char kMsgOpenApiDescription[] =
    "The resources the plugin serves through its endpoint records, with the types and events it "
    "registered, as its host table describes them at load.";
inline constexpr char kMsgOpenApiOk[] = "The resource's current value.";
inline constexpr char kMsgOpenApiError[] = "An error: the response carries its message instead of a body.";
inline constexpr char kMsgOpenApiDelivered[] = "Delivered to the event's subscribers.";

// --- hpk-host check ------------------------------------------------------------------

// %1: the library.
inline constexpr char kMsgCheckHeader[] = "hpk-host check: %1";
inline constexpr char kMsgCheckLoadDetail[] = "the library loads and its entry point fills the load record";
// %1..%3: the version the plugin wrote.
inline constexpr char kMsgCheckVersion[] = "the plugin answers plugin API %1.%2.%3, expected 18.0.0";
inline constexpr char kMsgCheckNoPlugin[] = "the load record holds no plugin object (word 4)";
// %1: the full name; %2: the expected one.
inline constexpr char kMsgCheckName[] = "the full name is \"%1\", expected \"%2\"";
// %1: the full name.
inline constexpr char kMsgCheckHandshakeDetail[] =
    "version 18.0.0, init, shutdown and memory-counter callbacks, plugin object, name %1, host table";
// %1..%5: endpoint, type, field, enumerator and event records.
inline constexpr char kMsgCheckTableDetail[] =
    "%1 endpoint, %2 type (%3 field, %4 enumerator) and %5 event records; every chain contiguous, "
    "null-terminated and as long as counted; texts readable; every named type described";
inline constexpr char kMsgCheckNoEndpoints[] = "the host table holds no endpoint records";
// %1: function; %2: path template.
inline constexpr char kMsgCheckPath[] = "function %1: path template \"%2\" does not start with \"/\"";
// %1: function.
inline constexpr char kMsgCheckLocations[] = "function %1: one argument-location record per argument expected";
// %1: subscriptions.
inline constexpr char kMsgCheckInitDetail[] = "returned true with %1 subscriptions";
// %1: path; %2: status; %3: error.
inline constexpr char kMsgCheckUnknownPath[] = "%1 answered status %2 \"%3\", expected an error with status 404";
// %1: path; %2: error.
inline constexpr char kMsgCheckUnknownDetail[] = "%1 answered 404 \"%2\"";
// %1: unsubscriptions; %2: subscriptions.
inline constexpr char kMsgCheckShutdownDetail[] =
    "%1 unsubscriptions for %2 subscriptions; no stream, wait section or response left open";
// %1: cycle; %2: what broke.
inline constexpr char kMsgCheckCycleFailed[] = "cycle %1: %2";
// %1: cycle.
inline constexpr char kMsgCheckCountersInconsistent[] = "cycle %1: the memory counters contradict each other";
// %1: cycle; %2, %3: live bytes and blocks; %4, %5: those after the first cycle.
inline constexpr char kMsgCheckCountersGrew[] =
    "cycle %1: %2 bytes in %3 blocks live after shutdown, but the first cycle left %4 bytes in %5 blocks";
// %1: cycles; %2: live bytes; %3: live blocks.
inline constexpr char kMsgCheckCyclesDetail[] =
    "%1 cycles in one loaded image, each leaving %2 bytes in %3 blocks live";
// %1: number of checks.
inline constexpr char kMsgCheckPassed[] = "check passed: %1 checks";
// The counters read from a second thread while the plugin runs. %1: the
// reading's number; %2: what is wrong with it (one of the four below).
inline constexpr char kMsgThreadCountersReading[] = "reading %1 from a second thread: %2";
inline constexpr char kMsgThreadCountersNegative[] = "more freed than allocated, so live bytes below zero";
inline constexpr char kMsgThreadCountersAbovePeak[] = "more bytes live than the peak";
inline constexpr char kMsgThreadCountersPeakFell[] = "the peak fell below the reading before";
inline constexpr char kMsgThreadCountersTotalFell[] = "a total fell below the reading before";
inline constexpr char kMsgThreadCountersNoCallback[] = "the plugin gave no memory-counters callback (slot 2)";
// %1: readings; %2: rounds; %3: the peak live bytes at the last reading.
inline constexpr char kMsgThreadCountersDetail[] =
    "%1 readings from a second thread over %2 rounds of load, init, events, GETs and shutdown; peak %3 bytes";

}  // namespace hpk::host
