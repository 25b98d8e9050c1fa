// What the airport files take from a scenery package's manifest.json.
#pragma once

#include <string>

struct PackageManifest {
    std::string title;
    std::string version;
    std::string manufacturer;
    std::string creator;
};
