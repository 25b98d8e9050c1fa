// The five files Kelo saves, each written as a numbered generation by its own
// saver and read back by the program's own reader: the settings, a learned
// airport file, the scanned-livery list, the park-airport list and a
// downloaded data set (from the download site the program is pointed at).
// Shared by the save-fault test and the save child it kills.
#pragma once

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "airports/airport_file_format.h"
#include "airports/learned_airport_files.h"
#include "airports/park_airports.h"
#include "core/data_file_header.h"
#include "core/layout.h"
#include "liveries/livery_list_file.h"
#include "liveries/model_database.h"
#include "parking/park_airport_choice.h"
#include "tests/support/file_bytes.h"
#include "update/downloader.h"

namespace kvr::test {

struct Saver {
    const char* name;
    std::filesystem::path target;
    std::function<bool(int generation)> save;
    // The generation of a whole file read back by the program; none for a
    // file that is missing, cut or unreadable.
    std::function<std::optional<int>()> load;
};

inline std::optional<int> generationIn(const std::string& text, const std::string& before, const std::string& after)
{
    int n = 0;
    if (std::sscanf(text.c_str(), (before + "%d").c_str(), &n) != 1 || text != before + std::to_string(n) + after)
        return std::nullopt;
    return n;
}

inline std::optional<int> xmlGeneration(const std::filesystem::path& path, const char* child, const char* attribute)
{
    pugi::xml_document doc;
    if (!doc.load_file(path.wstring().c_str()))
        return std::nullopt;
    return generationIn(doc.child("root").child(child).attribute(attribute).value(), "gen ", "");
}

inline std::vector<Saver> fiveSavers(const std::string& downloadFile = "dbase.enc")
{
    namespace fs = std::filesystem;
    fs::create_directories(gf_settingsFolder());
    fs::create_directories(g_outputFolder);
    fs::create_directories(g_airportsFolder);
    fs::create_directories(g_learnedStockFolder);
    const fs::path learned = g_learnedStockFolder / "EHAM.xml";
    const fs::path dataSet = g_inputFolder / downloadFile;
    return {
        {"parameters", gf_parametersXmlPath(),
         [](int n) {
             pugi::xml_document doc;
             doc.append_child("root").append_child("parameters").append_attribute("value").set_value(
                 fmt::format("gen {}", n).c_str());
             return gf_saveParametersXml(doc);
         },
         [] { return xmlGeneration(gf_parametersXmlPath(), "parameters", "value"); }},
        {"learned airport", learned,
         [learned](int n) {
             ScannedAirport airport;
             airport.icao = IcaoCode("EHAM");
             airport.airportName = fmt::format("gen {}", n);
             const AirportSettings settings{.AUTO_PARK = true, .parking_percentage = 40, .MAX_FIT = 20};
             return gf_writeApf(airport, learned, ApfWriteMode::Learned, 2, false, settings);
         },
         [learned]() -> std::optional<int> {
             if (!std::holds_alternative<LearnedAirportData>(gf_readLearnedAirportFile(learned, "EHAM", {})))
                 return std::nullopt;
             pugi::xml_document doc;
             doc.load_file(learned.wstring().c_str());
             for (pugi::xml_node p : doc.child("root").child("parameters").children())
                 if (std::string(p.attribute("name").value()) == "airport_name")
                     return generationIn(p.attribute("value").value(), "gen ", "");
             return std::nullopt;
         }},
        {"scanned liveries", gf_liveriesScannedPath(),
         [](int n) {
             LiveryRecord r;
             r.title = fmt::format("gen {}", n);
             r.ids.airline = gf_airlineCode2Id("KLM");
             r.ids.model = gf_modelCode2Id("B738");
             LiveryScanResult = {r};
             return gf_writeScannedLiveries();
         },
         []() -> std::optional<int> {
             if (!gf_readScannedLiveries() || ScannedLiveryList.size() != 1)
                 return std::nullopt;
             return generationIn(ScannedLiveryList[0].title, "gen ", "");
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
             return readBytes(gf_parkAirportsFilePath()) == fmt::format("EHAM\n; gen {}\n", n);
         },
         [] { return generationIn(readBytes(gf_parkAirportsFilePath()), "EHAM\n; gen ", "\n"); }},
        {"data set", dataSet,
         [dataSet, downloadFile](int n) {
             CurlEasyHandle handle = gf_makeCurlEasyHandle();
             return Downloader(handle.get(), gf_downloadFolderUrl() + fmt::format("gen{}/{}", n, downloadFile),
                               dataSet, true, 1u << 20);
         },
         [dataSet] { return generationIn(readBytes(dataSet), "gen ", " end"); }},
    };
}

} // namespace kvr::test
