#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <string>

#include "standins/trace_check.h"
#include "standins/trace_summary.h"

int main(int argc, char** argv)
{
    bool summary = false, findings = false;
    std::string runwayList;
    int arg = 1;
    for (; arg < argc - 1; ++arg) {
        if (std::strcmp(argv[arg], "--summary") == 0)
            summary = true;
        else if (std::strcmp(argv[arg], "--findings") == 0)
            findings = true;
        else if (std::strcmp(argv[arg], "--runways") == 0 && arg + 2 < argc)
            runwayList = argv[++arg];
        else
            break;
    }
    if (arg != argc - 1) {
        std::fprintf(stderr, "usage: kelo_trace_check [--summary] [--findings] [--runways runways.csv] <trace.jsonl>\n");
        return 2;
    }
    std::vector<kvr::standin::RunwayGeometry> runways;
    try {
        if (!runwayList.empty())
            runways = kvr::standin::gf_loadRunwayCsv(runwayList);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    const char* path = argv[arg];
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path);
        return 2;
    }
    if (summary) {
        std::fputs(kvr::standin::gf_summaryText(kvr::standin::gf_summarizeTrace(in)).c_str(), stdout);
        in.clear();
        in.seekg(0);
    }
    const kvr::standin::MotionReport report = kvr::standin::gf_checkTraceMotion(in, runways);
    std::fputs(kvr::standin::gf_motionTable(report).c_str(), stdout);
    // The first findings of each kind per object, with the tail number.
    for (const auto& [id, list] : findings ? report.findings : decltype(report.findings){})
        for (const kvr::standin::MotionFinding& f : list) {
            const auto tail = report.tails.find(id);
            std::printf("%6u %-9s %s\n", id, tail == report.tails.end() ? "" : tail->second.c_str(),
                        kvr::standin::gf_findingText(f).c_str());
        }
    return report.clean() ? 0 : 1;
}
