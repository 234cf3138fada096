// favourites.txt: lines of fields between vertical bars.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "browser/favourites.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    trovea_list list;
    populate_trovea_list_from_text(&list, std::string_view(reinterpret_cast<const char*>(data), size));
    for (trovea_item& item : list.items) quon_destroy_bitmap(item.label);
    return 0;
}
