#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "airports/package_scan.h"
#include "airports/scanned_airport.h"
#include "core/layout.h"
#include "simlink/facility_reader.h"
#include "simlink/simconnect_loader.h"
#include "standins/simconnect/standin_control.h"

namespace {

// The airport scan's result for one installed add-on airport whose stands
// come from the simulator's facility data.
int lf_writeAirportFile(const nlohmann::json& scenario, const std::string& icao)
{
    if (!gf_loadSimConnectFrom(gf_programFileFolder()))
        throw std::runtime_error("no SimConnect.dll beside the program");
    SimConnectStandin sim;
    if (!sim.bind())
        throw std::runtime_error("SimConnect.dll is not the stand-in simulator");
    nlohmann::json quiet = scenario;
    quiet["map_window"] = false;
    if (!sim.load(quiet))
        throw std::runtime_error("the stand-in simulator refused the scenario");
    ScannedAirport airport;
    airport.icao = IcaoCode(icao);
    airport.publisher = "Kelo Demo";
    int helipads = 0;
    const bool read = gf_readFacilityStands(icao, icao, "", airport, helipads);
    gf_closeParkingReader();
    if (!read || airport.stands.empty())
        throw std::runtime_error("no stands in the facility data of " + icao);
    // The scan writes into the airports folder it has made.
    std::filesystem::create_directories(g_airportsFolder);
    lf_writeGeneratedAirportFile(airport, helipads);
    return static_cast<int>(airport.stands.size());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s <sim.json> [ICAO]\n", argv[0]);
        return 2;
    }
    try {
        std::ifstream in(argv[1], std::ios::binary);
        if (!in)
            throw std::runtime_error(std::string("cannot read ") + argv[1]);
        const std::string icao = argc == 3 ? argv[2] : "EHAM";
        const int stands = lf_writeAirportFile(nlohmann::json::parse(in), icao);
        std::printf("%s: %d stands from the simulator's facility data\n", icao.c_str(), stands);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
