// Every file Kelo saves, against a save that fails: a read-only target, a
// target another program holds open without sharing, a disk that is full.
// Each failed save is logged, leaves the previous file as it was, and the
// next save after the fault works.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "airports/airport_file_format.h"
#include "airports/park_airports.h"
#include "core/data_file_header.h"
#include "core/files.h"
#include "parking/park_airport_choice.h"
#include "standins/download_site.h"
#include "tests/liveries/livery_fixture.h"
#include "update/downloader.h"

namespace fs = std::filesystem;
using namespace kvr::test;

namespace {

struct Saver {
    const char* name;
    fs::path target;
    std::function<bool(int generation)> save; // writes generation n of the file
};

struct Fault {
    const char* name;
    std::function<void(const fs::path& target)> begin;
    std::function<void(const fs::path& target)> end;
};

bool lf_diskFull(const wchar_t*)
{
    SetLastError(ERROR_DISK_FULL);
    return false;
}

// Windows refuses to move a file over a read-only one; Wine does not.
bool lf_windowsReplace(const wchar_t* from, const wchar_t* to)
{
    const DWORD attributes = GetFileAttributesW(to);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

struct SaveFaults : LiveryFixture {
    DownloadSite site;
    HANDLE held = INVALID_HANDLE_VALUE;
    FileCalls previousCalls = gf_setFileCalls({nullptr, nullptr, nullptr, &lf_windowsReplace});
    ~SaveFaults() override { gf_setFileCalls(previousCalls); }

    std::vector<Saver> savers()
    {
        fs::create_directories(g_learnedStockFolder);
        fs::create_directories(gf_settingsFolder());
        fs::create_directories(g_outputFolder);
        fs::create_directories(g_airportsFolder);
        return {
            {"parameters", gf_parametersXmlPath(),
             [](int n) {
                 pugi::xml_document doc;
                 doc.append_child("root").append_child("parameters").append_attribute("value").set_value(fmt::format("gen {}", n).c_str());
                 return gf_saveParametersXml(doc);
             }},
            {"learned airport", g_learnedStockFolder / "EHAM.xml",
             [](int n) {
                 ScannedAirport airport;
                 airport.icao = IcaoCode("EHAM");
                 airport.airportName = fmt::format("gen {}", n);
                 const AirportSettings settings{.AUTO_PARK = true, .parking_percentage = 40, .MAX_FIT = 20};
                 return gf_writeApf(airport, g_learnedStockFolder / "EHAM.xml", ApfWriteMode::Learned, 2, false,
                                    settings);
             }},
            {"scanned liveries", gf_liveriesScannedPath(),
             [](int n) {
                 LiveryScanResult = {livery("KLM", "", "B738", false, fmt::format("gen {}", n).c_str())};
                 return gf_writeScannedLiveries();
             }},
            {"park airports", gf_parkAirportsFilePath(),
             [](int n) {
                 ParkAirportList& list = gf_parkAirportList();
                 {
                     std::lock_guard lock(list.mutex);
                     list.airports = {ParkAirport{IcaoCode("EHAM"), {}, ""}};
                     list.preservedLines = {fmt::format("; gen {}", n)};
                     list.readCompleted = true;
                 }
                 gf_saveMyParkAirportsFile();
                 return readBytes(gf_parkAirportsFilePath()).find(fmt::format("gen {}", n)) != std::string::npos;
             }},
            {"data set", g_inputFolder / "dbase.enc",
             [this](int n) {
                 site.putFile("dbase.enc", fmt::format("gen {}", n));
                 CurlEasyHandle handle = gf_makeCurlEasyHandle();
                 return Downloader(handle.get(), gf_downloadFolderUrl() + "dbase.enc", g_inputFolder / "dbase.enc",
                                   true, 1u << 20);
             }},
        };
    }

    std::vector<Fault> faults()
    {
        return {
            {"read-only target", [](const fs::path& t) { SetFileAttributesW(t.c_str(), FILE_ATTRIBUTE_READONLY); },
             [](const fs::path& t) { SetFileAttributesW(t.c_str(), FILE_ATTRIBUTE_NORMAL); }},
            {"target held open",
             [this](const fs::path& t) {
                 held = CreateFileW(t.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
                 ASSERT_NE(held, INVALID_HANDLE_VALUE);
             },
             [this](const fs::path&) { CloseHandle(held); }},
            {"disk full",
             [](const fs::path&) { gf_setFileCalls({nullptr, nullptr, &lf_diskFull, &lf_windowsReplace}); },
             [](const fs::path&) { gf_setFileCalls({nullptr, nullptr, nullptr, &lf_windowsReplace}); }},
        };
    }
};

} // namespace

TEST_F(SaveFaults, FailedSaveIsLoggedKeepsTheOldFileAndTheNextSaveWorks)
{
    gf_setDownloadSiteForTests(site.rootUrl());
    int generation = 0;
    for (const Saver& saver : savers()) {
        for (const Fault& fault : faults()) {
            SCOPED_TRACE(fmt::format("{}, {}", saver.name, fault.name));
            ASSERT_TRUE(saver.save(++generation));
            const std::string before = readBytes(saver.target);
            const size_t logged = log().size();
            fault.begin(saver.target);
            EXPECT_FALSE(saver.save(++generation));
            fault.end(saver.target);
            EXPECT_EQ(readBytes(saver.target), before);
            EXPECT_NE(log().substr(logged).find(saver.target.filename().string()), std::string::npos)
                << log().substr(logged);
            ASSERT_TRUE(saver.save(++generation));
            EXPECT_NE(readBytes(saver.target).find(fmt::format("gen {}", generation)), std::string::npos);
            for (const fs::directory_entry& e : fs::directory_iterator(saver.target.parent_path()))
                EXPECT_FALSE(e.path().filename().string().starts_with(saver.target.filename().string() + ".") &&
                             e.path().string().ends_with("tmp"))
                    << "left behind: " << e.path().string();
        }
    }
    gf_setDownloadSiteForTests("");
}
