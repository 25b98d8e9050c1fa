// Runs the stand-in RealTraffic web API until Enter is pressed. It serves a
// traffic scenario and parked aircraft around Amsterdam Schiphol and METARs
// of EHAM to the given credential.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <chrono>

#include "standins/rt_web_api.h"

int main(int argc, char** argv)
{
    const int port = argc > 1 ? std::atoi(argv[1]) : 8088;
    const std::string credential = argc > 2 ? argv[2] : "demo-license";
    try {
        kvr::standin::RTWebApi api(port);
        api.setCredential(credential);
        api.setTraffic(kvr::standin::RTWebApi::scenarioAround(52.3086, 4.7639, 24));
        api.setParked(kvr::standin::RTWebApi::parkedAround(52.3086, 4.7639, 20));
        api.setMetars({"EHAM 071225Z 24012KT 9999 FEW020 08/04 Q1009"});
        std::printf("RealTraffic web API stand-in on %s (credential '%s'); Enter ends it\n", api.baseUrl().c_str(),
                    credential.c_str());
        std::fflush(stdout);
        std::string line;
        if (!std::getline(std::cin, line)) {
            // No console input (started in the background): serve until killed.
            for (;;)
                std::this_thread::sleep_for(std::chrono::hours(1));
        }
        std::printf("%zu requests served\n", api.requests().size());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "rtapi stand-in: %s\n", e.what());
        return 1;
    }
}
