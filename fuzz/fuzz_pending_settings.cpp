// The pending-settings file (the values parameters.xml refused at the last
// exit) as the program finds it at start, beside a parameters.xml that still
// holds what some of them replaced: the window's early look at it, then the
// load that applies it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/layout.h"
#include "core/parameters_file.h"
#include "fuzz/fuzz_support.h"

namespace {

const std::string kParametersXml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root><parameters>"
                                   "<parameter name=\"RANGE\" value=\"40\"/>"
                                   "<parameter name=\"SIM_TIME\" value=\"true\"/>"
                                   "<parameter name=\"MSFS_INSTALL_PATH\" value=\"C:\\MSFS\"/>"
                                   "</parameters></root>\n";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kelo_fuzz::workFolder();
    const std::filesystem::path folder = gf_parametersXmlPath().parent_path();
    std::filesystem::create_directories(folder);
    kelo_fuzz::writeInput(gf_parametersXmlPath(), reinterpret_cast<const uint8_t*>(kParametersXml.data()),
                          kParametersXml.size());
    kelo_fuzz::writeInput(gf_pendingParametersXmlPath(), data, size);
    (void)gf_pendingSettingText("RANGE");
    gf_loadParametersFile();
    // Each input is a start of its own.
    gf_forgetUnsavedSettings();
    gf_removeFilesFromDirectory(folder);
    return 0;
}
