#include <cstdio>
#include <fstream>

#include "standins/trace_check.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kelo_trace_check <trace.jsonl>\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    const kvr::standin::MotionReport report = kvr::standin::gf_checkTraceMotion(in);
    std::fputs(kvr::standin::gf_motionTable(report).c_str(), stdout);
    return report.total.clean() ? 0 : 1;
}
