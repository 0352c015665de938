// Every caller-visible text of the plugin runtime, character for character.
// Placeholders are listed beside each one.
#pragma once

namespace hpk {

// Handshake. %1 short name, %2 plugin version text, %3 core version text.
inline constexpr const char kMsgIncompatibleCore[] =
    "%1 which supports plugin API %2 is not compatible with core's plugin API %3";
inline constexpr const char kAssertionIncompatibleCore[] = "ALE-EECF0606";
// %1 short name, %2 type.
inline constexpr const char kMsgUnknownPluginType[] =
    "GetFullNameFromShortNameAndType(\"%1\", \"%2\") called with an unknown type";
// printf: the message above.
inline constexpr const char kFormatPluginManagerLine[] = "            Plugin Manager| %s";
// %1 core version text, %2 full name.
inline constexpr const char kUserAgentTemplate[] = "VodiVozaze/%1 (%2)";

inline constexpr const char kPluginTypeBackend[] = "backend";
inline constexpr const char kPluginTypeFrontend[] = "frontend";
inline constexpr const char kPrefixBackend[] = "hpk-be-";
inline constexpr const char kPrefixFrontend[] = "hpk-fe-";
inline constexpr const char kPrefixUnknown[] = "hpk-xx-";
inline constexpr const char kApiTagPlugins[] = "Plugins";
inline constexpr const char kApiTagPluginPrefix[] = "Plugin ";

// Request client: named templates ({method}, {url}, {error}).
inline constexpr const char kMsgErrorResponse[] = "Error response for {method} {url}: {error}";
inline constexpr const char kMsgErrorReadingStream[] = "Error reading streamed response for {method} {url}: {error}";
inline constexpr const char kMsgErrorConverting[] = "Error converting response for {method} {url}: {error}";
inline constexpr const char kMsgParametersNotSent[] =
    "Request not sent: Error converting parameters for {method} {url}: {error}";
inline constexpr const char kMsgStreamReadError[] = "Stream read error";
// The {error} of a request the host could not be asked to perform.
inline constexpr const char kMsgNoRequestOperation[] = "the host offers no request operation";
inline constexpr const char kDetailErrorCode[] = "errorCode_int";
inline constexpr const char kResultValuePath[] = "<result>";
inline constexpr const char kWaitYieldLabel[] = "Wait: yield";

// Resource events: trace texts (printf).
inline constexpr const char kTraceSubscribing[] = "%s: Subscribing to event: %s";
inline constexpr const char kTraceUnsubscribing[] = "%s: Unsubscribing to event: %s";
inline constexpr const char kTraceBadPayload[] = "%s: Couldn't convert payload %s for event %s: %s";
inline constexpr const char kTraceHandlingEvent[] = "%s: Handling event %s";
inline constexpr const char kTraceSendingEvent[] = "%s: Sending event: %s";
// A delivery the plugin had to drop because something failed inside it
// (printf: full name, event name, what failed).
inline constexpr const char kLogDroppedEvent[] = "%s: Dropped event %s: %s";
// A host callback that failed inside the plugin (printf: full name, callback, what failed).
inline constexpr const char kLogFailedCallback[] = "%s: %s failed: %s";
// A publication whose payload could not be built (printf: full name, event name, what failed).
inline constexpr const char kLogEventNotSent[] = "%s: Couldn't send event %s: %s";
// A request whose argument could not be built (printf: full name, the request error's message).
inline constexpr const char kLogRequestNotSent[] = "%s: %s";
// A call of the host that came in while another thread was inside the plugin
// (printf: entering call, its thread id, running call, its thread id).
inline constexpr const char kLogOverlappingCall[] =
    "%s on thread %u entered the plugin while %s on thread %u was still running: "
    "the host must make these calls one at a time";

// Events and types registered at the handshake.
inline constexpr const char kEventOnJsonApiEvent[] = "OnJsonApiEvent";
inline constexpr const char kDescOnJsonApiEvent[] = "Fired when a resource is changed.";
inline constexpr const char kEventOnLcdsEvent[] = "OnLcdsEvent";
inline constexpr const char kDescOnLcdsEvent[] = "Fired when a message is received over the LCDS connection.";
inline constexpr const char kEventServiceProxyUuid[] = "OnServiceProxyUuidEvent";
inline constexpr const char kDescServiceProxyUuid[] = "Fired when a uuid-based service proxy message is received.";
inline constexpr const char kEventServiceProxyMethod[] = "OnServiceProxyMethodEvent";
inline constexpr const char kDescServiceProxyMethod[] = "Fired when a method-based service proxy message is received.";
inline constexpr const char kEventServiceProxyAsync[] = "OnServiceProxyAsyncEvent";
inline constexpr const char kDescServiceProxyAsync[] = "Fired when an async service proxy message is received.";
inline constexpr const char kHostNamespaceTag[] = "vclient";

// Service proxy (printf). Full name, key.
inline constexpr const char kLogNoAsyncHandler[] =
    "%s: Could not find registered handler for async service proxy event %s";
inline constexpr const char kLogFulfilled[] = "%s: Fulfilled service proxy request: %s";

// Telemetry.
inline constexpr const char kTelemetryUrlPrefix[] = "/telemetry/v1/events/";

// Log target.
inline constexpr const char kPluginLogTargetName[] = "PluginLogTarget";
inline constexpr const char kPluginLogTemplate[] = "#D| #L| #G| #M";

}  // namespace hpk
