#pragma once
// Shared fixture of the airport tests: own folders and log, a recording window
// side, and the process-wide airport state put back after each test.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

#include "airports/airport_database.h"
#include "airports/airport_database_load.h"
#include "airports/airport_files.h"
#include "airports/airport_ui.h"
#include "airports/park_airports.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/settings_snapshot.h"
#include "engine/traffic_state.h"
#include "tests/support/enc_writer.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"
#include "tests/support/ui_recorder.h"

namespace kvr::test {

struct RecordingAirportUi : AirportUi {
    bool flushEnabled = false;
    int parkingDisabled = 0;
    void disableParkingControls() override { ++parkingDisabled; }
    void enableFlushButton(bool on) override { flushEnabled = on; }
};

// The texts of the timed messages recorded, in order.
inline std::vector<std::string> messagesOf(const RecordingUiSink& sink)
{
    std::vector<std::string> texts;
    for (const GuiUpdate::Message& m : sink.all<GuiUpdate::Message>())
        texts.push_back(m.text);
    return texts;
}

// The data-file header of a file the program accepts.
inline const char* kApfHeader =
    R"x(<meta><info name="author" value="Kelo"/><info name="copyright" value="(c)"/><info name="sim" value="2"/></meta>)x";

// An airport file: parameters (name, value pairs as XML) and "parkpos" elements.
inline std::string apfText(const std::string& parameters, const std::string& parkpositions)
{
    std::string text = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>") + kApfHeader +
                       "<parameters>" + parameters + "</parameters>";
    if (!parkpositions.empty())
        text += "<parkpositions>" + parkpositions + "</parkpositions>";
    return text + "</root>\n";
}

inline std::string param(const std::string& name, const std::string& value)
{
    return "<parameter name=\"" + name + "\" value=\"" + value + "\"/>";
}

// A gate stand of 20 m radius.
inline std::string gate(const std::string& id, double lat, double lon, const std::string& options = {})
{
    return "<parkpos id=\"" + id + "\" typestr=\"GATE_MEDIUM\" latitude=\"" + std::to_string(lat) +
           "\" longitude=\"" + std::to_string(lon) + "\" heading=\"90.0\" radius=\"20.0\">" + options + "</parkpos>";
}

inline AirportDbRecord dbRecord(const char* icao, double lat, double lon, int32_t alt = 0, const char* iata = nullptr)
{
    AirportDbRecord r;
    r.icao = IcaoCode(icao);
    if (iata)
        r.iata = IataCode(iata);
    r.position = {lat, lon};
    r.altitude = alt;
    return r;
}

class AirportsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories("input");
        std::filesystem::create_directories("airports");
        gf_openLog();
        previousUi = gf_setAirportUi(&ui);
        g_parameters.store(std::make_shared<const Parameters>());
    }
    void TearDown() override
    {
        gf_setAirportUi(previousUi);
        gf_installAirportDatabase({}, false);
        {
            std::unique_lock lock(engineLock);
            CurrentAirport = CurrentAirportRecord{};
        }
        ParkAirportList& list = gf_parkAirportList();
        {
            std::lock_guard lock(list.mutex);
            list.airports.clear();
            list.preservedLines.clear();
            list.readCompleted = list.fileExisted = false;
            list.lastCheck = {};
            list.recheckDistanceNm = 4.0;
        }
        airportFileLoaded = false;
        g_parameters.store(std::make_shared<const Parameters>());
        gf_closeLog();
    }
    std::string log()
    {
        gf_flushLog();
        return logText();
    }
    static void installAirports(std::vector<AirportDbRecord> records)
    {
        std::sort(records.begin(), records.end(),
                  [](const AirportDbRecord& a, const AirportDbRecord& b) { return a.icao.code < b.icao.code; });
        gf_installAirportDatabase(std::move(records), true);
    }

    ScopedTestFolders folders{"ap"};
    RecordingUiSink window;
    RecordingAirportUi ui;
    AirportUi* previousUi = nullptr;
};

} // namespace kvr::test
