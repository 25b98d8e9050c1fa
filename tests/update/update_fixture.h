// Shared by the update tests: own folders and log, a stand-in download site on
// a free port that the program is pointed at, the shell calls recorded, and
// the stop request, the maintenance flag and the version settings reset.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/layout.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/stop_request.h"
#include "standins/download_site.h"
#include "tests/support/enc_writer.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"
#include "tests/support/ui_recorder.h"
#include "update/downloader.h"
#include "update/version_check.h"

namespace update_test {

namespace fs = std::filesystem;

inline StringParameter* const kVersionSettings[] = {&AIRPORTS_VERSION, &AIG_VERSION, &ARCHIVES_VERSION,
                                                    &DBASE_VERSION, &WEEKLY_TRAFFIC_AIRPORTS_VERSION};

class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(gf_settingsFolder());
        fs::create_directories(g_inputFolder);
        for (StringParameter* p : kVersionSettings)
            p->value.clear();
        WebMaintenanceFlag.store(false);
        gf_clearStopRequest();
        gf_setDownloadSiteForTests(site.rootUrl());
        gf_setUpdateShellForTests(UpdateShell{
            [this](const fs::path& p) {
                explorerCalls.push_back(p);
                if (explorerThrows)
                    throw fs::filesystem_error("exists", p, std::make_error_code(std::errc::io_error));
                return explorerWorks;
            },
            [this](const std::string& text) { warningBoxes.push_back(text); }});
        gf_openLog();
    }
    void TearDown() override
    {
        gf_closeLog();
        gf_clearStopRequest();
        gf_setDownloadSiteForTests("");
        gf_setUpdateShellForTests({});
    }

    std::string logText() const
    {
        gf_flushLog();
        return kvr::test::readBytes("Log.txt");
    }
    // An encrypted data set whose plaintext is this XML.
    static std::string encrypted(const std::string& xml, const kvr::test::EncWriteOptions& options = {})
    {
        const fs::path tmp = "enc_source.tmp";
        kvr::test::writeEncFile(tmp, xml, options);
        std::string bytes = kvr::test::readBytes(tmp);
        fs::remove(tmp);
        return bytes;
    }

    // The smallest XML that a data set of this file name must hold: <root>
    // with the sections its reader cannot do without.
    static std::string dataSetXml(const std::string& fileName)
    {
        const std::map<std::string, std::vector<std::string>> sections{
            {"airports.enc", {"airports"}},
            {"AIG-regcodes.enc", {"aig"}},
            {"archives.enc", {"simaddons20", "simaddons24"}},
            {"dbase.enc",
             {"aircrafts", "cargo_types", "heavy", "large", "buzjet", "twoprops", "high_performance", "rotorcraft",
              "ICAO_airlines", "cargo_operators"}},
            {"wktraffic.enc", {"traffic_airports"}},
        };
        std::string xml = "<root><meta file='" + fileName + "'/>";
        for (const std::string& section : sections.at(fileName))
            xml += "<" + section + "/>";
        return xml + "</root>";
    }

    kvr::test::RecordingUiSink ui;
    kvr::test::ScopedTestFolders folders{"update"};
    DownloadSite site;
    std::vector<fs::path> explorerCalls;
    std::vector<std::string> warningBoxes;
    bool explorerWorks = true;
    bool explorerThrows = false;
};

} // namespace update_test
