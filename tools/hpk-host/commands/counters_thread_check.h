// The check of `hpk-host check` that reads the memory counters from a second
// thread while the first drives the plugin: the client's host may read them
// from any thread, at any moment.
#pragma once
#include <string>

#include "boundary/abi/load_record.h"
#include "text/outcome.h"

namespace hpk::host {

// Plays the built-in default scenario a few times against the plugin at
// `path` (load, init, its events and GETs, a GET of every served resource,
// shutdown) in the image already loaded, while another thread calls
// `readCounters` (the PluginCallbacks slot taken from an earlier load; it
// stays valid while the library is loaded) over and over. Every reading must
// be a state the counters could be in: nothing freed that was not allocated,
// so live bytes never negative; the peak at least what is live; the two
// trailing words zero; and no counter, the peak included, below the reading
// before. Returns what was read (readings, rounds, the peak), or what broke.
Outcome<std::string> CheckCountersFromAnotherThread(const std::string& path,
                                                    void (*readCounters)(void* plugin, MemoryCountersRecord* out));

}  // namespace hpk::host
