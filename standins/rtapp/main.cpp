// The stand-in RealTraffic App for the demo: connects to Kelo, answers the
// version query, sends the buffered traffic and then live batches of a
// scenario's aircraft with time stamps of the present, the parked aircraft on
// request and the scenario's METAR. Reconnects when Kelo restarts.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>
#include <string>
#include <thread>
#include <utility>

#include "standins/rt_app_scenario.h"

using namespace std::chrono_literals;
using namespace kvr::standin;

namespace {

double lf_now()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Buffered traffic is the scenario's first 30 seconds, ending now; parked
// aircraft were reported ten minutes ago.
void lf_prepareAnswers(RtAppStandIn& app, const RtAppScenario& scenario, double now, TrafficLayout layout)
{
    app.bufferSlices.clear();
    for (int slice = 0; slice < 5; ++slice) {
        std::vector<std::string> lines;
        for (const AppAircraft& a : scenario.stateAt(slice * 6.0))
            lines.push_back(trafficLine(a, now - 30.0 + slice * 6.0, "RTBUF", layout));
        app.bufferSlices.push_back(std::move(lines));
    }
    app.parkedLines.clear();
    for (const AppParked& p : scenario.parked)
        app.parkedLines.push_back(parkedLine(p, now - 600.0));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: %s <scenario.json> [tcp port] [traffic udp port] [weather udp port] [documented]\n",
                     argv[0]);
        return 2;
    }
    try {
        const RtAppScenario scenario = RtAppScenario::load(argv[1]);
        const uint16_t port = static_cast<uint16_t>(argc > 2 ? std::stoi(argv[2]) : 10747);
        RtAppStandIn app;
        if (argc > 3)
            app.trafficPort = static_cast<uint16_t>(std::stoi(argv[3]));
        if (argc > 4)
            app.weatherPort = static_cast<uint16_t>(std::stoi(argv[4]));
        // The App's documented 43-field lines, or the longer ones with the airline.
        const TrafficLayout layout = argc > 5 && std::string(argv[5]) == "documented" ? TrafficLayout::Documented
                                                                                       : TrafficLayout::WithAirline;
        for (;;) {
            const double start = lf_now();
            lf_prepareAnswers(app, scenario, start, layout);
            std::printf("waiting for Kelo on port %u ...\n", port);
            std::fflush(stdout);
            if (!app.connect(port, 3600s))
                return 1;
            std::printf("connected; %zu aircraft around %s\n", scenario.aircraft.size(), scenario.airport.c_str());
            std::fflush(stdout);
            app.waitForLines("Qs999=sendbuffer=", 1, 60s);
            int round = 0;
            double last = -1.0;
            while (app.isConnected()) {
                const double now = lf_now();
                std::vector<std::string> batch;
                const double at = 30.0 + (now - start);
                for (const AppAircraft& a : scenario.stateAt(at, std::exchange(last, at)))
                    batch.push_back(trafficLine(a, now, "RTTFC", layout));
                app.sendBatch(batch);
                if (round++ % 10 == 0 && !scenario.metar.empty())
                    app.sendMetar(scenario.metar);
                std::this_thread::sleep_for(2s);
            }
            std::printf("Kelo closed the connection (%zu lines received); reconnecting\n", app.lines().size());
            std::fflush(stdout);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
