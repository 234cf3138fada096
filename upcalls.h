// Calls that go upward: each is declared once in the lower folder's header
// and defined in the upper folder. They are listed here so that they can be
// seen together; add a line when you add one.
//
//   declared in            defined in            call
//   -----------            ----------            ----
//   machine/pstate.h       runtime/cpu.cpp       spend_cpu, refund_cpu (CPU charges)
//   machine/pstate.h       runtime/cpu.cpp       mivo3_runtime_error (memory fault)
//   machine/lua_alloc.h    runtime/cpu.cpp       mivo3_request_soft_yield
//   lang/lua/lualib.h      runtime/run_record.cpp mivo3_assert_message (a failed assert's text)
//   storage/cart.h         audio (hook pointer)  mivo3_cart_release_hook
//   lang/includes.h        storage, shell (hooks) mivo3_include_hooks: cart root folder,
//                                                current cart file, cart loader, console print
//   host/main_loop.h       shell/                quon_main_init, quon_main_update, quon_main_draw,
//                                                quon_main_exit (the application's callbacks)
//   host/main_loop.h       audio (hook pointers) quon_audio_hooks: music stop, music fading, sound exit
//   storage/cart_image.h   shell (hook record)   mivo3_storage: console print, message bar,
//                                                accept_future option (cart loading)
//   host/config.h          shell (hook pointers) quon_set_load_config_func / quon_set_save_config_func
//   runtime/api.h          shell (hook record)   mivo3_api: extcmd captures, pause menu items, message
//                                                bar, reset glitch, shutdown, printh log folder,
//                                                printh lines (set by tools/mivo3-run)
//   runtime/api.h          storage (hook ptrs)   mivo3_reload_file_hook, mivo3_cstore_file_hook
//   runtime/api.h          shell/commands.cpp    mivo3_commands: the console's commands (load, save,
//                                                run, cd, ls, info, install_demos, ...)
//   storage/cdata.h        storage (folder source) set_cdata_folder_source: the configured cart-data
//                                                folder, read from the shell's app record
//   storage/workflow.h     storage/install_hooks.cpp storage_install_hooks (the shell calls it at
//                                                start): connects the hooks above to app and console
//   runtime/run_loop.h     shell (hook pointers) mivo3_run_hooks: console print, pause menu, cart data
//                                                save, cart hash, forum id, cart loading, draw time,
//                                                framerate control, quit when stopped, the next
//                                                frame's buttons (set by tools/mivo3-run)
//   runtime/buttons.h      shell (hook pointers) mivo3_buttons_hooks: slow repeat, pause menu open,
//                                                program running, joystick_index
//   shell/shell.h          capture (hook record) mivo3_capture: screenshot, video start point, video
//                                                save, frame recording (the shell's capture keys),
//                                                saving at once, finished saves, waiting at exit
//   shell/shell.h          capture/capture.cpp   capture_install_hooks (the shell calls it at start)
//   shell/shell.h          tools/mivo3-run       mivo3_runner: one machine frame per update, the
//                                                buttons held at each update
//   shell/console.h        tools/mivo3-run       mivo_console_set_stdout_sink: lines for standard output
#pragma once
