// The one exported function: guard, forward, nothing else.
#include "boundary/abi/load_record.h"
#include "boundary/module_heap.h"
#include "plugin/plugin_loader.h"

#if defined(_WIN32)
#define HPK_EXPORT extern "C" __declspec(dllexport)
#else
#define HPK_EXPORT extern "C" __attribute__((visibility("default")))
#endif

HPK_EXPORT void load_arx_content_targeting(PluginLoadRecord* record) {
    hpk::BeginCountingRuntimeHeap();
    hpk::LoadContentTargetingPlugin(record);
}
