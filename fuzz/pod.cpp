// Pods: chunk headers, bitmaps, palettes, files and LZ4 blocks.
#include <cstddef>
#include <cstdint>

#include "host/pod.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quon_pod* table[256] = {};
    const int32_t n = quon_load_pod_set_from_memory(data, int64_t(size), table);
    for (int32_t i = 0; i < n; i++) {
        // Items that are pods themselves are read as the shell reads them.
        if (table[i])
            for (int32_t k = 0; k < int32_t(table[i]->items.size()) && k < 8; k++)
                quon_destroy_pod(quon_pod_load_item_pod(table[i], k));
        quon_destroy_pod(table[i]);
    }
    return 0;
}
