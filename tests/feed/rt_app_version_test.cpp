// The RealTraffic App's answer to the version query: numbers no integer holds.
#include <gtest/gtest.h>

#include "core/log.h"
#include "feed/feed_flags.h"
#include "feed/rt_app_link.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"
#include "tests/support/ui_recorder.h"

TEST(RTAppVersion, ALevelBeyondEveryIntegerIsTheStandardEdition)
{
    kvr::test::RecordingUiSink ui;
    kvr::test::ScopedTestFolders folders{"rtversion"};
    gf_openLog();
    struct Case {
        const char* reply;
        bool professional;
    };
    const Case cases[] = {{R"({"level":1e300,"version":"9.5"})", false},
                          {R"({"level":-1e300,"version":"9.5"})", false},
                          {R"({"level":9223372036854775808.0,"version":"9.5"})", false},
                          {R"({"level":18446744073709551615,"version":"9.5"})", false},
                          {R"({"level":-9223372036854775808.0,"version":"9.5"})", false},
                          {R"({"level":2.9,"version":"9.5"})", true}};
    for (const Case& c : cases) {
        gf_professionalLevel() = !c.professional;
        lf_processRTVersion(c.reply);
        EXPECT_EQ(gf_professionalLevel().load(), c.professional) << c.reply;
        EXPECT_EQ(ui.last<GuiUpdate::TrafficSource>().value().text,
                  c.professional ? "RT App prof edition: 9.5" : "RT App stnd edition: 9.5")
            << c.reply;
    }
    gf_closeLog();
    EXPECT_EQ(kvr::test::logText().find("JSON parse failed"), std::string::npos);
}
