#include <gtest/gtest.h>

#include <string>

#include "host/log.h"
#include "tests/host/test_app.h"

namespace {

TEST(DebugLog, GreaterThanIndentsTheLinesAfterIt) {
    int depth = 0;
    EXPECT_EQ(quon_debug_line(">outer\n", depth), "outer\n");
    EXPECT_EQ(depth, 1);
    EXPECT_EQ(quon_debug_line(">inner\n", depth), "  inner\n");
    EXPECT_EQ(depth, 2);
    EXPECT_EQ(quon_debug_line("step\n", depth), "    step\n");
    EXPECT_EQ(quon_debug_line("<ok\n", depth), "  ok\n");
    EXPECT_EQ(quon_debug_line("<ok\n", depth), "ok\n");
    EXPECT_EQ(depth, 0);
}

TEST(DebugLog, OutdentNeverGoesBelowZero) {
    int depth = 0;
    EXPECT_EQ(quon_debug_line("<<done\n", depth), "<done\n");
    EXPECT_EQ(depth, 0);
}

TEST(DebugLog, OutdentThenIndentOnOneLine) {
    // "<>" closes one level and opens another: the line sits at the outer level.
    int depth = 2;
    EXPECT_EQ(quon_debug_line("<>next\n", depth), "  next\n");
    EXPECT_EQ(depth, 2);
}

TEST(DebugLog, TextsLongerThan900CharactersAreReplaced) {
    int depth = 1;
    std::string ok(900, 'a');
    EXPECT_EQ(quon_debug_line(ok, depth), "  " + ok);
    std::string too_long = ">" + std::string(900, 'b');
    EXPECT_EQ(quon_debug_line(too_long, depth), "  [debug string too long!]\n");
    EXPECT_EQ(depth, 1) << "a refused text must not change the depth";
}

TEST(DebugLog, WritesFlushedLinesToTheFileAndStartsEmpty) {
    test_app::temp_folder dir;
    dir.write("log.txt", "old contents\n");
    ASSERT_EQ(quon_log_open((dir.path + "log.txt").c_str()), 0);
    quon_debug(">start\n");
    quon_debugf("value %d\n", 42);
    quon_debug("<ok\n");
    // Flushed after every line: readable before the log is closed.
    EXPECT_EQ(dir.read("log.txt"), "start\n  value 42\nok\n");
    quon_log_close();
    EXPECT_FALSE(quon_log_is_open());
}

TEST(DebugLog, UnopenableLogIsSkippedSilently) {
    EXPECT_NE(quon_log_open("/nonexistent-folder/for/sure/log.txt"), 0);
    quon_debug("nothing happens\n");
    EXPECT_FALSE(quon_log_is_open());
}

TEST(DebugLog, FormattedOverlongTextIsRefused) {
    test_app::temp_folder dir;
    ASSERT_EQ(quon_log_open((dir.path + "log.txt").c_str()), 0);
    quon_debugf("%s\n", std::string(2000, 'z').c_str());
    quon_log_close();
    EXPECT_EQ(dir.read("log.txt"), "[debug string too long!]\n");
}

}  // namespace
