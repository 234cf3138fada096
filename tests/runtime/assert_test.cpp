// A failed assert raises "assertion failed!" and hands its own text to the
// run loop, which shows it apart from the error.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "runtime/driver.h"
#include "runtime/run_loop.h"

namespace {

class AssertTest : public ::testing::Test {
protected:
    void SetUp() override { mivo3_driver_open(); }
    void TearDown() override { mivo3_driver_close(); }

    static bool start(const std::string& code)
    {
        mivo3_driver_load_code(code);
        return mivo3_driver_start() == 0;
    }
    static bool printed(const std::string& text, int32_t colour)
    {
        for (const mivo3_driver_line& line : mivo3_driver_output())
            if (line.text == text && line.colour == colour)
                return true;
        return false;
    }
};

TEST_F(AssertTest, MessageIsStoredAndShownUnderTheFailure)
{
    ASSERT_TRUE(start("x=1\nassert(x==2, 'lives must not be negative')\n"));
    mivo3_driver_frames(1);
    EXPECT_FALSE(mivo3_driver_running());
    EXPECT_STREQ(mivo3_run.assert_message, "lives must not be negative");
    EXPECT_TRUE(printed("runtime error line 2 tab 0", 14)) << mivo3_driver_output_text();
    EXPECT_TRUE(printed("assertion failed", 6));
    EXPECT_TRUE(printed("lives must not be negative", 7));
    EXPECT_TRUE(printed("lives must not be negative", 6));
    EXPECT_EQ(mivo3_driver_output_text().find("assertion failed!"), std::string::npos);
}

TEST_F(AssertTest, AssertionWithoutTextDropsAnEarlierMessage)
{
    // The coroutine's failed assertion is caught by coresume; the program's
    // own assertion has no text, so the earlier one must not be shown.
    ASSERT_TRUE(start("co=cocreate(function() assert(false, 'inside') end)\n"
                      "ok,err=coresume(co)\n"
                      "assert(not ok and sub(err, -17) == 'assertion failed!')\n"
                      "assert(false)\n"));
    mivo3_driver_frames(1);
    EXPECT_TRUE(printed("runtime error line 4 tab 0", 14)) << mivo3_driver_output_text();
    EXPECT_TRUE(printed("assertion failed", 6));
    EXPECT_STREQ(mivo3_run.assert_message, "");
    EXPECT_EQ(mivo3_driver_output_text().find("inside"), std::string::npos);
}

TEST_F(AssertTest, LongMessageIsCut)
{
    ASSERT_TRUE(start("s='' for i=1,300 do s=s..'m' end assert(false, s)\n"));
    mivo3_driver_frames(1);
    EXPECT_EQ(std::strlen(mivo3_run.assert_message), size_t(MIVO3_ASSERT_MESSAGE_CHARS));
    EXPECT_TRUE(printed("assertion failed", 6)) << mivo3_driver_output_text();
}

}  // namespace
