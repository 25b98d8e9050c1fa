#pragma once
// Shared set-up of the RT Direct tests: own folders and log, a stand-in web
// API on a free port that the feed is pointed at, and a clean session.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/log.h"
#include "core/stop_request.h"
#include "feed/rt_api_session.h"
#include "feed/rt_api_transport.h"
#include "feed/rt_credential.h"
#include "standins/rt_web_api.h"
#include "tests/feed/feed_test_support.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"
#include "tests/support/ui_recorder.h"

namespace kvr::test {

class RTDirectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gf_clearStopRequest();
        setRTApp(false);
        gf_openLog();
        gf_setRTApiBaseUrlForTesting(api.baseUrl());
        gf_rtApiSession().clear();
        feedConnected = false;
        gf_setAuthRefusalWaitForTesting(std::chrono::milliseconds(0));
        api.setWrrl(250); // the shortest wait after sign-in
    }
    void TearDown() override
    {
        api.stop();
        gf_rtApiSession().clear();
        gf_rtApiSession().signInSpell = RTAPIServerSpell{};
        gf_setRTApiBaseUrlForTesting({});
        gf_setAuthRefusalWaitForTesting(std::chrono::milliseconds(10000));
        gf_closeLog();
        gf_clearStopRequest();
    }

    // Stores `credential` in the RealTraffic App's own file and looks it up.
    void useCredential(const std::string& credential)
    {
        api.setCredential(credential);
        const auto dir = folders.roamingAppData() / "InsideSystems";
        std::filesystem::create_directories(dir);
        writeBytes(dir / "RealTraffic.lic", "{\"License\":\"" + credential + "\"}");
        gf_getRTLicenseToken();
    }

    // The log as written so far.
    std::string log()
    {
        gf_flushLog();
        return logText();
    }

    RecordingUiSink ui; // first in, last out: the window updates of the whole test
    ScopedTestFolders folders{"rtd"};
    kvr::standin::RTWebApi api;
};

} // namespace kvr::test
