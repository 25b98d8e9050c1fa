#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/log.h"
#include "core/text.h"
#include "core/ui_sink.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

using namespace kvr::test;

namespace {

struct RecordingSink final : UiSink {
    std::vector<std::pair<std::string, bool>> messages;
    std::vector<std::string> errors;
    void showMessage(std::string text, bool log) override { messages.emplace_back(std::move(text), log); }
    void showError(std::string text) override { errors.push_back(std::move(text)); }
    IntParameter* windowX() override { return nullptr; }
    IntParameter* windowY() override { return nullptr; }
};

// Puts a sink in place for one test and the previous one back afterwards.
struct SinkSwap {
    UiSink* previous;
    explicit SinkSwap(UiSink* sink) : previous(gf_setUiSink(sink)) {}
    ~SinkSwap() { gf_setUiSink(previous); }
};

} // namespace

TEST(UiSink, FoundationMessagesReachTheRegisteredSink)
{
    ScopedTestFolders folders("uisink");
    RecordingSink sink;
    SinkSwap swap(&sink);
    // An unpaired surrogate cannot become UTF-8.
    writeBytes("x.cfg", std::string("\xFF\xFE" "a\0\x00\xD8", 6));
    std::vector<std::string> lines;
    EXPECT_FALSE(gf_readTextFileLines("x.cfg", lines).read);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].first, "Read failed for 'x.cfg': wide_to_utf8: invalid UTF-16");
    EXPECT_TRUE(sink.messages[0].second);
}

TEST(UiSink, WithoutAWindowMessagesGoToTheLog)
{
    ScopedTestFolders folders("uisinklog");
    SinkSwap swap(nullptr);
    gf_openLog();
    gf_uiSink().showMessage("logged text", true);
    gf_uiSink().showMessage("quiet text", false);
    gf_uiSink().showError("broken");
    EXPECT_EQ(gf_uiSink().windowX(), nullptr);
    gf_closeLog();
    const std::string log = logText();
    EXPECT_NE(log.find("logged text\n"), std::string::npos);
    EXPECT_EQ(log.find("quiet text"), std::string::npos);
    EXPECT_NE(log.find("Error broken\n"), std::string::npos);
}
