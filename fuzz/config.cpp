// config.txt: every line of the host's half and the console's half.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "host/config.h"
#include "shell/app.h"
#include "shell/options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool hooks = (mivo3_install_config_hooks(), true);
    (void)hooks;
    quon_config_default();
    reset_app();
    quon_config_load_text(std::string_view(reinterpret_cast<const char*>(data), size));
    // What is read must write back.
    (void)quon_config_text();
    return 0;
}
