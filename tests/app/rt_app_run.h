#pragma once
// A program folder ready for a run of the main task with the RealTraffic App
// and MSFS 2020: the docs folder, an install of the simulator that the
// detection finds, settings that choose both and a free TCP port for the App.
#include <winsock2.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "core/layout.h"
#include "tests/app/main_task_fixture.h"
#include "tests/feed/feed_test_support.h"

namespace kvr::test {

// The App's port; 0 when none was free.
inline uint16_t prepareRtAppRun(MainTaskFixture& fx)
{
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0)
        return 0;
    const uint16_t port = freeTcpPort();
    WSACleanup();
    std::filesystem::create_directory("docs");
    const std::filesystem::path install = fx.folders.roamingAppData() / L"Microsoft Flight Simulator" / L"Packages";
    std::filesystem::create_directories(install / L"Community");
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
