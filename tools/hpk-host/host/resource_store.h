// The resources the reference host serves, and the responses it hands the
// plugin from them: a value, an error, or a body the plugin reads in chunks
// (a stream, owned here until the plugin closes it). Every response carries
// the host's release routine, and the responses not yet released are counted.
// HostCore reads each request and answers it from here. Single-threaded.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "binding/binding_value.h"
#include "boundary/abi/load_record.h"
#include "host/host_reports.h"
#include "scenario/scenario.h"

namespace hpk::host {

struct HostStream;

// Where the plugin posts telemetry events; any POST there is answered 200.
inline constexpr char kTelemetryPrefix[] = "/telemetry/v1/events/";

class ResourceStore {
public:
    // What streams do is recorded through `reports` (the owning core): in its
    // timeline, and as its problems.
    explicit ResourceStore(HostReports& reports) : core_(reports) {}
    ~ResourceStore();  // frees the streams still open
    ResourceStore(const ResourceStore&) = delete;
    ResourceStore& operator=(const ResourceStore&) = delete;

    // A URI served by nobody answers 404.
    void Serve(const std::string& uri, const ResourceAnswer& answer) { answers_[uri] = answer; }
    void Unserve(const std::string& uri) { answers_.erase(uri); }

    // Fills `response` for `method` `url` from the store; returns the summary
    // of the answer, with the value served in `shownBody`. `served` is left
    // at `made`, filled here, unless an entry of the store answered.
    std::string Answer(HostResponse& response, const std::string& method, const std::string& url,
                       BindingValue& shownBody, ResourceAnswer& made, const ResourceAnswer*& served);

    // A body read in `chunks`, one per read (split when the reader's buffer
    // or `maxRead`, if not 0, is smaller); read `failAtRead` (1-based, 0
    // never) fails. Owned here until it is closed.
    void OpenStream(HostResponse& response, const std::string& url, std::vector<std::string> chunks,
                    std::uint32_t failAtRead, std::uint64_t sizeHint, std::uint32_t maxRead = 0);
    std::size_t OpenStreamCount() const { return streams_.size(); }
    std::size_t StreamCloses() const { return streamCloses_; }
    // Whether a stream is being read: wait sections then count with it.
    bool StreamBeingRead() const { return reading_ != nullptr; }
    // A yield while a stream is being read counts towards it: true then.
    bool YieldToStream();

    // Sets `status` and an error text the release routine frees.
    static void SetError(HostResponse& response, std::int32_t status, const std::string& text);
    // Gives `response` the host's release routine unless it has one of its
    // own; a response given it counts as handed over until released.
    static void HandOver(HostResponse& response);
    // Responses released through the host's routine since the process started.
    static std::int64_t ReleasedResponses();

    // After shutdown: reports each stream still open to the core as a
    // problem, and closes it.
    void CloseLeftStreams();
    // After shutdown: reports responses handed over and never released, or
    // released twice, since the last report.
    void ReportUnreleased();

private:
    friend struct HostStream;
    HostReports& core_;
    std::map<std::string, ResourceAnswer> answers_;
    std::set<HostStream*> streams_;  // open streams, owned here until closed
    HostStream* reading_ = nullptr;  // the stream opened last: yields count towards it
    std::size_t streamCloses_ = 0;
};

}  // namespace hpk::host
