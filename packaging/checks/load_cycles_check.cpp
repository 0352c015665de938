// A client may unload its plugins and load them again: 200 cycles of loading
// and unloading the DLL, then 200 more that also call its entry point and shut
// the plugin down, must leave every heap of the process as they found it. The
// busy bytes of all heaps are summed with HeapWalk before and after each set
// (after one cycle of each kind, which lets the system keep what it keeps once
// per process: the loader's records). Advapi32, which a client's process
// holds anyway, is loaded first: the library takes a reference to it for its
// tracing and gives it back at shutdown.
// usage: hpk-load-cycles-check DLL
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <initializer_list>

#include "boundary/abi/load_record.h"

namespace {

constexpr int kCycles = 200;

std::int64_t BusyHeapBytes() {
    HANDLE heaps[256];
    const DWORD count = ::GetProcessHeaps(256, heaps);
    std::int64_t busy = 0;
    for (DWORD i = 0; i < count && i < 256; ++i) {
        if (!::HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry{};
        while (::HeapWalk(heaps[i], &entry)) {
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) busy += entry.cbData;
        }
        ::HeapUnlock(heaps[i]);
    }
    return busy;
}

// One cycle; with `enter`, the entry point's handshake and a shutdown too.
bool Cycle(const char* path, bool enter) {
    HMODULE module = ::LoadLibraryA(path);
    if (module == nullptr) return false;
    bool ok = true;
    if (enter) {
        auto load = reinterpret_cast<PluginLoadFn>(
            reinterpret_cast<void*>(::GetProcAddress(module, "load_arx_content_targeting")));
        PluginLoadRecord record{};
        record.version[0] = 18;
        if (load != nullptr) load(&record);
        ok = load != nullptr && record.callbacks != nullptr && record.callbacks->shutdown != nullptr;
        if (ok) record.callbacks->shutdown(record.plugin);
    }
    return ::FreeLibrary(module) != 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: hpk-load-cycles-check DLL\n");
        return 2;
    }
    if (::LoadLibraryW(L"Advapi32.dll") == nullptr) return 1;
    std::printf("%d cycles of", kCycles);  // the stream's buffer exists before the first count
    int failed = 0;
    for (const bool enter : {false, true}) {
        if (!Cycle(argv[1], enter)) {
            std::fprintf(stderr, "could not load, enter or unload %s\n", argv[1]);
            return 1;
        }
        const std::int64_t before = BusyHeapBytes();
        bool cycled = true;
        for (int i = 0; i < kCycles && cycled; ++i) cycled = Cycle(argv[1], enter);
        const std::int64_t after = BusyHeapBytes();
        std::printf(" %s: heaps %+lld bytes;", enter ? "load, entry point, shutdown, unload" : "load and unload",
                    static_cast<long long>(after - before));
        if (!cycled || after != before) failed = 1;
    }
    std::printf("\n");
    return failed;
}
