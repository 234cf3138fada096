#include "audio_fixture.h"

#include "host/timing.h"

// Whole renders against recorded checksums: these catch any change in the
// sound at all, on top of the tests that check the rules one by one. A
// deliberate change to the sound updates the numbers here.
class GoldenTest : public AudioTest {
protected:
    void SetUp() override {
        AudioTest::SetUp();
        for (int32_t n = 0; n < 8; n++) {
            sfx(n).speed = 2 + n;
            sfx(n).loop_start = n & 3;
            sfx(n).loop_end = n & 1 ? 6 + n : 0;
            for (int32_t i = 0; i < 32; i++) note(n, i, 24 + (i * 7 + n * 5) % 30, (n + i) % 8, 2 + (i + n) % 6, (i * 3 + n) % 8);
        }
        for (int32_t n = 8; n < 16; n++) {
            sfx(n).speed = 6 + n % 4;
            for (int32_t i = 0; i < 32; i++) note(n, i, 30 + (i * 5) % 20, (n + i) % 8, 3 + i % 5, i % 8, i % 3 == 0);
        }
        pattern(0, 8, 9, 10, 0x41, 1);
        pattern(1, 11, 12, 13, 14);
        pattern(2, 15, 0x42, 8, 9, 2);
    }
    static uint64_t fnv1a(const std::vector<int16_t>& v) {
        uint64_t h = 1469598103934665603ull;
        for (int16_t s : v) {
            h ^= static_cast<uint16_t>(s);
            h *= 1099511628211ull;
        }
        return h;
    }
};

TEST_F(GoldenTest, MusicWithSfxAndRegisters) {
    quon_srand(0);
    mivo3_music(cart, 0, 0, 1);
    std::vector<int16_t> all;
    for (int32_t frame = 0; frame < 300; frame++) {
        if (frame == 30) mivo3_sfx(cart, 1, 3, 0, 0, 0);
        if (frame == 90) pstate.audio_regs[1] = 5;
        if (frame == 150) pstate.audio_regs[0] = 2;
        if (frame == 200) pstate.audio_regs[3] = 15;
        if (frame == 240) mivo3_sfx(cart, 2, 5, 1, 4, 8);
        std::vector<int16_t> part = mix(735);
        all.insert(all.end(), part.begin(), part.end());
    }
    EXPECT_EQ(all.size(), 220500u);
    EXPECT_EQ(fnv1a(all), 7769187758223780050ull);
}
