#include <cstdio>
#include <cstring>
#include <fstream>

#include "standins/trace_check.h"
#include "standins/trace_summary.h"

int main(int argc, char** argv)
{
    const bool summary = argc == 3 && std::strcmp(argv[1], "--summary") == 0;
    if (argc != 2 && !summary) {
        std::fprintf(stderr, "usage: kelo_trace_check [--summary] <trace.jsonl>\n");
        return 2;
    }
    const char* path = argv[argc - 1];
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
    const kvr::standin::MotionReport report = kvr::standin::gf_checkTraceMotion(in);
    std::fputs(kvr::standin::gf_motionTable(report).c_str(), stdout);
    return report.total.clean() ? 0 : 1;
}
