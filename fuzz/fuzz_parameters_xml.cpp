// The settings file parameters.xml as the program finds it at start.
#include <cstddef>
#include <cstdint>

#include "core/layout.h"
#include "core/parameters_file.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kelo_fuzz::workFolder();
    std::filesystem::create_directories(gf_parametersXmlPath().parent_path());
    kelo_fuzz::writeInput(gf_parametersXmlPath(), data, size);
    gf_loadParametersFile();
    // A damaged file is set aside under a new name: keep the folder small.
    gf_removeFilesFromDirectory(gf_parametersXmlPath().parent_path());
    return 0;
}
