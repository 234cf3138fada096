#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/quon.h"
#include "tests/host/test_app.h"

namespace {

// A GUID nobody's hardware has, for mappings added by the tests.
constexpr const char* test_guid = "03000000de00000000ad000000000000";

TEST(ControllerTable, HoldsThisPlatformsMappingsInTheMappingFormat) {
    int n = 0;
    for (const char* const* m = controller_db_mapping; *m; m++, n++) {
        std::string line = *m;
        std::string guid = line.substr(0, line.find(','));
        // "xinput" is the one named device class the format allows.
        if (guid != "xinput") {
            EXPECT_EQ(guid.size(), 32u) << line;
            EXPECT_EQ(guid.find_first_not_of("0123456789abcdef"), std::string::npos) << line;
        }
        size_t name_end = line.find(',', guid.size() + 1);
        ASSERT_NE(name_end, std::string::npos) << line;
        EXPECT_NE(line.find(':', name_end), std::string::npos) << "bindings after the name: " << line;
        EXPECT_NE(line.find("platform:Linux,"), std::string::npos) << "only this platform's lines: " << line;
        EXPECT_EQ(line.find('#'), std::string::npos) << "no comment lines";
    }
    EXPECT_GT(n, 100);
}

struct Controllers : ::testing::Test {
    test_app::temp_folder home;
    void SetUp() override { test_app::reset(); }
    void start() {
        test_app::start({"-home", home.path, "-windowed", "1"});
        ASSERT_EQ(quon_joystick_inited, 1);
    }
    void TearDown() override {
        quon_exit();
        quon_joystick_connected_notice = quon_joystick_disconnected_notice = 0;
    }
    static SDL_JoystickGUID guid_of(const char* text) { return SDL_JoystickGetGUIDFromString(text); }
    static bool has_mapping(const char* guid) {
        char* m = SDL_GameControllerMappingForGUID(guid_of(guid));
        bool found = m != nullptr;
        SDL_free(m);
        return found;
    }
    // Pumps the platform's events so that hot-plug notices and new virtual
    // device values arrive.
    static void pump() {
        quon_handle_messages();
        SDL_JoystickUpdate();
    }
};

TEST_F(Controllers, StartAddsTheBuiltInTableAndCreatesTheUserMappingFile) {
    start();
    char guid[33] = {};
    std::memcpy(guid, controller_db_mapping[0], 32);
    EXPECT_TRUE(has_mapping(guid));
    EXPECT_EQ(home.read("sdl_controllers.txt"), "// add SDL2 game controller mappings to this file\n");
}

TEST_F(Controllers, UserMappingFileLinesAreAddedAndBadOnesSkipped) {
    std::string good = std::string(test_guid) + ",Test Pad,a:b0,b:b1,x:b2,y:b3,start:b6,leftx:a0,lefty:a1,platform:Linux,";
    home.write("sdl_controllers.txt",
               "// my pads\n\n   " + good + "   \r\nnot a mapping at all\n" + std::string(3000, 'x') + "\n");
    start();
    EXPECT_TRUE(has_mapping(test_guid));
    EXPECT_EQ(home.read("sdl_controllers.txt").substr(0, 9), "// my pad") << "an existing file is left alone";
}

TEST_F(Controllers, MappedDeviceOpensAsAGameControllerAndRawOneAsAJoystick) {
    start();
    int pad = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX,
                                        SDL_CONTROLLER_BUTTON_MAX, 0);
    ASSERT_GE(pad, 0) << SDL_GetError();
    pump();
    ASSERT_EQ(quon_joystick_connected_notice, 0x100);
    EXPECT_EQ(quon_joystick_kind(0), 1);
    EXPECT_EQ(quon_count_joystick_buttons(0), 0) << "counted for raw joysticks only";

    int raw = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_UNKNOWN, 2, 5, 0);
    ASSERT_GE(raw, 0);
    pump();
    EXPECT_EQ(quon_joystick_connected_notice, 0x101);
    EXPECT_EQ(quon_joystick_kind(1), 2);
    EXPECT_EQ(quon_count_joystick_buttons(1), 5);
    EXPECT_EQ(quon_count_joysticks(), 2);

    SDL_JoystickDetachVirtual(pad);
    pump();
    EXPECT_EQ(quon_joystick_disconnected_notice, 0x100);
    EXPECT_EQ(quon_joystick_kind(0), 0);
    EXPECT_EQ(quon_joystick_kind(1), 2) << "the other device keeps its slot";
    SDL_JoystickDetachVirtual(0);
    pump();
    EXPECT_EQ(quon_count_joysticks(), 0);
}

TEST_F(Controllers, DevicePluggedBackInAfterAnotherLeftIsStillOpened) {
    start();
    int a = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_UNKNOWN, 2, 4, 0);
    pump();
    SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_UNKNOWN, 2, 6, 0);
    pump();
    ASSERT_EQ(quon_count_joysticks(), 2);
    SDL_JoystickDetachVirtual(a);  // the second device is now device 0 but stays in slot 1
    pump();
    SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_UNKNOWN, 2, 8, 0);  // device 1, whose slot is taken
    pump();
    EXPECT_EQ(quon_joystick_connected_notice, 0x100);
    EXPECT_EQ(quon_count_joystick_buttons(0), 8);
    EXPECT_EQ(quon_count_joystick_buttons(1), 6);
    while (SDL_NumJoysticks() > 0) SDL_JoystickDetachVirtual(0);
    pump();
}

TEST_F(Controllers, ButtonsAndAxesAttachedAtRestCountOnlyAfterLeavingIt) {
    start();
    int dev = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_UNKNOWN, 2, 3, 0);
    SDL_Joystick* js = SDL_JoystickOpen(dev);
    ASSERT_NE(js, nullptr);
    SDL_JoystickSetVirtualButton(js, 1, 1);
    SDL_JoystickSetVirtualAxis(js, 0, -32768);
    SDL_JoystickSetVirtualAxis(js, 1, 20000);
    pump();
    int32_t x = 1, y = 1, b = -1;
    ASSERT_EQ(quon_get_joystick(0, &x, &y, &b), 1);
    EXPECT_EQ(b, 0) << "held since it was attached";
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    SDL_JoystickSetVirtualButton(js, 1, 0);
    SDL_JoystickSetVirtualAxis(js, 0, 100);
    pump();
    quon_get_joystick(0, &x, &y, &b);
    SDL_JoystickSetVirtualButton(js, 1, 1);
    SDL_JoystickSetVirtualAxis(js, 0, -32768);
    pump();
    quon_get_joystick(0, &x, &y, &b);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(x, -32768);
    EXPECT_EQ(y, 0) << "the other axis is still resting off-centre";
    int32_t ax = 0, ay = 0;
    EXPECT_EQ(quon_get_joystick_axes(0, 0, 1, &ax, &ay), 1);
    EXPECT_EQ(ax, -32768);
    EXPECT_EQ(quon_get_joystick(5, &x, &y, &b), 0) << "nothing attached there";
    EXPECT_EQ(b, 0);
    SDL_JoystickClose(js);
    SDL_JoystickDetachVirtual(dev);
    pump();
}

}  // namespace
