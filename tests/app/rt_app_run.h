#pragma once
// A program folder ready for a run of the main task with the RealTraffic App
// and MSFS 2020: the docs folder, an install of the simulator that the
// detection finds with one AI package in its Community folder, settings that
// choose both and a free TCP port for the App.
#include <winsock2.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/layout.h"
#include "tests/app/main_task_fixture.h"
#include "tests/feed/feed_test_support.h"

namespace kvr::test {

struct InstalledLivery {
    std::string airline, model, title;
};

// One AI package in `community` with these liveries, one aircraft.cfg per
// model: the start-up's livery scan lists them.
inline void installAiPackage(const std::filesystem::path& community, const std::vector<InstalledLivery>& liveries)
{
    std::map<std::string, std::string> files;
    std::map<std::string, int> sections;
    for (const InstalledLivery& l : liveries) {
        std::string& text = files[l.model];
        if (text.empty())
            text = "[General]\nicao_type_designator=" + l.model + "\n\n";
        text += "[fltsim." + std::to_string(sections[l.model]++) + "]\ntitle=" + l.title + "\nicao_airline=" +
                l.airline + "\n\n";
    }
    for (const auto& [model, text] : files) {
        const std::filesystem::path folder =
            community / L"aig-aitraffic-oci-tests" / L"SimObjects" / L"Airplanes" / std::filesystem::path(model);
        std::filesystem::create_directories(folder);
        writeBytes(folder / L"aircraft.cfg", text);
    }
}

// The App's port; 0 when none was free.
inline uint16_t prepareRtAppRun(MainTaskFixture& fx, const std::vector<InstalledLivery>& liveries)
{
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0)
        return 0;
    const uint16_t port = freeTcpPort();
    WSACleanup();
    std::filesystem::create_directory("docs");
    const std::filesystem::path install = fx.folders.roamingAppData() / L"Microsoft Flight Simulator" / L"Packages";
    installAiPackage(install / L"Community", liveries);
    std::filesystem::create_directories(install / L"Official");
    writeBytes(gf_parametersXmlPath(),
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <parameters>\n"
               "    <parameter name=\"RT_CHOISE\" value=\"RT App\"/>\n"
               "    <parameter name=\"SIM_CHOICE\" value=\"MSFS 2020\"/>\n"
               "    <parameter name=\"PORT_NUMBER\" value=\"" + std::to_string(port) + "\"/>\n"
               "  </parameters>\n</root>\n");
    return port;
}

} // namespace kvr::test
