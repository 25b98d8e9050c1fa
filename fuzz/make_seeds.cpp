// Writes the fuzz targets' seed inputs into <folder>/<target>/: one ordinary
// input of each format, made by the same writers the tests use. The seeds in
// the repository came from this program:
//   build-native/kelo_fuzz_seeds fuzz/corpus
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/airports/airport_test_support.h"
#include "tests/support/bgl_writer.h"
#include "tests/support/enc_writer.h"

namespace fs = std::filesystem;
using namespace kvr::test;

namespace {

void put(const fs::path& folder, const std::string& target, const std::string& name, const std::string& bytes)
{
    fs::create_directories(folder / target);
    std::ofstream(folder / target / name, std::ios::binary) << bytes;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    const fs::path out = argv[1];

    BglAirport airport;
    airport.altitudeMillimetres = -3000;
    airport.helipads.push_back({52.31, 4.76, 20.0f});
    airport.parkings.push_back({10, 1, 8, 2, 24.0f, 90.0f, 52.30, 4.77});
    airport.parkings.push_back({10, 2, 8, 0, 18.0f, 0.0f, 52.301, 4.771});
    put(out, "fuzz_bgl", "airport.bgl", bglAirportFile({airport}).bytes);

    put(out, "fuzz_airport_file", "EHAM.xml",
        apfText(param("altitude", "-11"),
                R"(<parkpos id="A1" latitude="52.3" longitude="4.76" typestr="GATE_HEAVY" radius="30" heading="90">)"
                R"(<opt slots="0-3" weekday="1" callsign="KLM123" reg="PH-BXA"/></parkpos>)"
                R"(<parkpos id="H1" latitude="52.31" longitude="4.77" type="0" heli="true" radius="10"/>)"));

    const std::string cfg = "[VERSION]\r\nmajor = 1\r\n\r\n[FLTSIM.0]\r\ntitle = Airbus A320 KLM\r\n"
                            "atc_id = PH-BXA\r\nicao_airline = KLM\r\nui_type = A320\r\n"
                            "[FLTSIM.1]\r\ntitle=\"Airbus A320 Transavia\" ; comment\r\natc_parking_codes=TRA\r\n";
    put(out, "fuzz_aircraft_cfg", "aircraft.cfg", cfg);
    put(out, "fuzz_aircraft_cfg", "utf16.cfg", std::string("\xFF\xFE[\0F\0L\0T\0S\0I\0M\0.\0000\0]\0\r\0\n\0", 26));

    put(out, "fuzz_rt_api_json", "traffic.json",
        R"({"status":200,"data":{"4840d6":["4840d6",52.3,4.76,90,0,0,"1000","adsb","B738","PH-BXA",)"
        R"(1700000000,"AMS","JFK","KLM643","","","",0,"KLM643","",0,0,0,0,0,0,0,0,0,0,0]},)"
        R"("data2":[{"4840d6":["A1"]}],"metars":[{"icao":"EHAM","metar":"EHAM 071225Z 24012KT Q1013"}]})");
    put(out, "fuzz_version_answer", "versions.json",
        R"({"msfs":{"major":16,"minor":7,"patch":1},"maintenance":{"major":0,"minor":0,"patch":0},)"
        R"("airports":{"major":1,"minor":2,"patch":3},"dbase":{"major":true,"minor":0,"patch":2.5}})");
    // The App's version reply, and one whose level no integer holds.
    put(out, "fuzz_rt_app_version", "version.json", R"({"level":2,"version":"9.0.1234"})");
    put(out, "fuzz_rt_app_version", "level_beyond.json", R"({"level":1e300,"version":"9.0.1234"})");
    put(out, "fuzz_parameters_xml", "parameters.xml",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root><parameters>"
        "<parameter name=\"RANGE\" type=\"int\" value=\"40\"/>"
        "<parameter name=\"SIM_TIME\" type=\"bool\" value=\"true\"/>"
        "<parameter name=\"MSFS_INSTALL_PATH\" type=\"path\" value=\"C:\\MSFS\"/>"
        "</parameters></root>\n");
    // The values kept at a refused exit beside that file: one applies, one
    // meets a value changed since, one replaced no value; and a file of the
    // earlier layout, which does not say what its values replaced.
    put(out, "fuzz_pending_settings", "pending.xml",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <parameters id=\"5e1f0c3a9b2d4e67\">\n"
        "    <parameter name=\"RANGE\" value=\"60\" replaces=\"40\" />\n"
        "    <parameter name=\"SIM_TIME\" value=\"true\" replaces=\"false\" />\n"
        "    <parameter name=\"MAX_FIT\" value=\"3\" replacesNothing=\"true\" />\n"
        "  </parameters>\n</root>\n");
    put(out, "fuzz_pending_settings", "earlier.xml",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <parameters>\n"
        "    <parameter name=\"MSFS_INSTALL_PATH\" value=\"D:\\Games\\MSFS\" />\n"
        "    <parameter name=\"MAIN_WINDOW_X\" value=\"321\" />\n"
        "  </parameters>\n</root>\n");

    // The App's lines: a position, a buffered position, a parked aircraft and
    // the end of a batch (fields as the App documents them).
    const std::string position = "4840d6,52.30500,4.76400,3000,-700,1,184.0,160.0,KLM643,B738,PH-BXA,AMS,JFK,"
                                 "1700000000.00,X,KLM643,adsb_icao,1200,140,160,0.0,3000,0.0,184.0,184.0,0,0,A3,"
                                 "0,0,0,0,0,0,0,0,0,0,0,0,0,0,KLM";
    put(out, "fuzz_rt_app_lines", "batch.txt",
        "RTTFC," + position + "\nRTBUF1," + position + "\nRTPARK,4840d7,52.31,4.77,PH-BXB,B738,A12\nRTTFC_EOT\n");

    put(out, "fuzz_manifest", "manifest.json",
        R"({"dependencies":[],"content_type":"SCENERY","title":"EHAM Amsterdam","manufacturer":"",)"
        R"("creator":"Example Scenery","package_version":"1.2.3-beta","minimum_game_version":"1.37.19",)"
        R"("release_notes":{"neutral":{"LastUpdate":"","OlderHistory":""}}})");

    fs::create_directories(out / "fuzz_enc");
    writeEncFile(out / "fuzz_enc" / "small.enc", "<root><traffic_airports>EHAM,EGLL</traffic_airports></root>");
    writeEncFile(out / "fuzz_enc" / "two_chunks.enc", std::string(5000, 'x'));
    return 0;
}
