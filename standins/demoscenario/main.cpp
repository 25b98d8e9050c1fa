#include <cstdio>
#include <exception>
#include <fstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "standins/demo_scenario.h"

using namespace kvr::standin;

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s <runways.csv> <sim-template.json> <sim.json> <app.json>\n", argv[0]);
        return 2;
    }
    try {
        const std::vector<RunwayGeometry> runways = gf_loadRunwayCsv(argv[1]);
        std::ifstream in(argv[2], std::ios::binary);
        if (!in)
            throw std::runtime_error(std::string("cannot read ") + argv[2]);
        nlohmann::json sim = nlohmann::json::parse(in);
        const nlohmann::json facility = gf_facilityRunways(runways);
        for (auto& airport : sim.at("airports")) {
            airport["facility"]["RUNWAY"] = facility["RUNWAY"];
            airport["facility"]["START"] = facility["START"];
            airport["facility"]["TAXI_PARKING"] =
                gf_facilityStands({airport.at("lat"), airport.at("lon")}, gf_amsterdamDemoStands());
        }
        std::ofstream(argv[3], std::ios::binary) << sim.dump(1) << '\n';
        std::ofstream(argv[4], std::ios::binary) << gf_scenarioJson(gf_amsterdamDemoTraffic(runways)).dump(1) << '\n';
        if (!std::ifstream(argv[3]) || !std::ifstream(argv[4]))
            throw std::runtime_error("cannot write the scenarios");
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
