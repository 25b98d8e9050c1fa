#pragma once
// Reports made for a test, kept in tests/data/<name>: one a line
// "t,lat,lon,alt_ft,vs_fpm,track_deg,gs_kt" after a header line, '#' lines
// are comments. A report under `groundUnderFt` is a ground report (0 is one;
// a pressure altitude may read under the field).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "standins/track_generator.h"

namespace kvr::test {

inline std::vector<kvr::standin::TrackPoint> reportsFromFile(const std::string& name, double groundUnderFt = 1.0)
{
    std::ifstream in(std::filesystem::path(KELO_SOURCE_DIR) / "tests/data" / name);
    EXPECT_TRUE(in.good()) << name;
    std::vector<kvr::standin::TrackPoint> out;
    bool header = true;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        if (std::exchange(header, false))
            continue;
        kvr::standin::TrackPoint p;
        if (std::sscanf(line.c_str(), "%lf,%lf,%lf,%lf,%lf,%lf,%lf", &p.t, &p.lat, &p.lon, &p.altFt, &p.vsFpm,
                        &p.trackDeg, &p.gsKt) != 7) {
            ADD_FAILURE() << name << ": " << line;
            continue;
        }
        p.onGround = p.altFt < groundUnderFt;
        out.push_back(p);
    }
    return out;
}

} // namespace kvr::test
