// The connections from storage to the layers above, made once at start-up.
// Kept apart from the workflow so that programs using storage alone do not
// pull in the shell.
#include <cstring>
#include <string>

#include "lang/includes.h"
#include "runtime/api.h"
#include "shell/app.h"
#include "shell/console.h"
#include "storage/cart_image.h"
#include "storage/cdata.h"
#include "storage/workflow.h"

namespace {

std::string root_folder()
{
    return app.root_path;
}

std::string current_file()
{
    return current_cart_filename();
}

bool load_cart_code(const char* path, std::string* code)
{
    mivo3_cart* cart = load_mivo3_cart_any_format(path);
    if (!cart)
        return false;
    if (code)
        *code = cart->code ? cart->code : "";
    quon_destroy_mivo3_cart(cart);
    return true;
}

// The message bar is reached through the API's hooks, which the shell may
// fill in after this runs.
void show_message(const char* text, int32_t ms)
{
    if (mivo3_api.show_message)
        mivo3_api.show_message(text, ms);
}

const char* cdata_folder()
{
    return app.cdata_path;
}

int32_t accept_future()
{
    return app.accept_future;
}

}  // namespace

void storage_install_hooks()
{
    mivo3_include_hooks inc;
    inc.cart_root_folder = root_folder;
    inc.current_cart_filename = current_file;
    inc.load_cart_code = load_cart_code;
    inc.print = mivo_print_col;
    mivo3_set_include_hooks(inc);

    mivo3_reload_file_hook = mivo3_reload_from_file;
    mivo3_cstore_file_hook = mivo3_cstore_to_file;

    // The shell may have connected the formats' output already.
    if (!mivo3_storage.print)
        mivo3_storage.print = mivo_print_col;
    if (!mivo3_storage.show_message)
        mivo3_storage.show_message = show_message;
    if (!mivo3_storage.accept_future)
        mivo3_storage.accept_future = accept_future;

    set_cdata_folder_source(cdata_folder);
}
