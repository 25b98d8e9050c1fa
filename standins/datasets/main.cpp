// kelo_make_dataset: writes the program's encrypted data sets from readable
// XML sources, with the data-file header and the data-set key of this build.
//
//   kelo_make_dataset <set> <output.enc> [--source <file.xml>] [--sim <n>] [--version <x.y.z>] [--no-header]
//   kelo_make_dataset --all <folder> [--sim <n>] [--version <x.y.z>]
//
// <set>: dbase, AIG-regcodes, airports, archives or wktraffic (".enc" may follow).
// Without --source the repository's own source (standins/datasets/sources) is used.
// --all writes every set the repository has a source for into <folder>.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/text.h"
#include "tests/support/data_sets.h"

namespace fs = std::filesystem;
using kvr::test::DataSetKind;

namespace {

int lf_usage()
{
    std::fputs("usage: kelo_make_dataset <set> <output.enc> [--source <file.xml>] [--sim <n>] [--version <x.y.z>]"
               " [--no-header]\n"
               "       kelo_make_dataset --all <folder> [--sim <n>] [--version <x.y.z>]\n"
               "<set>: dbase, AIG-regcodes, airports, archives, wktraffic\n",
               stderr);
    return 2;
}

std::string lf_readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + wide_to_utf8(path.wstring()));
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    try {
        std::vector<std::string> args;
        for (int i = 1; i < argc; ++i)
            args.push_back(wide_to_utf8(argv[i]));

        kvr::test::DataSetOptions options;
        std::string set, output, source;
        bool all = false;
        std::vector<std::string> positional;
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& a = args[i];
            const bool hasValue = i + 1 < args.size();
            if (a == "--no-header")
                options.header = false;
            else if (a == "--all")
                all = true;
            else if (a == "--source" && hasValue)
                source = args[++i];
            else if (a == "--sim" && hasValue)
                options.sim = kvr::test::dataSetSimArgument(args[++i]);
            else if (a == "--version" && hasValue)
                options.version = args[++i];
            else if (a.starts_with("--"))
                return lf_usage();
            else
                positional.push_back(a);
        }

        if (all) {
            if (positional.size() != 1 || !source.empty())
                return lf_usage();
            const fs::path folder = utf8_to_wide(positional[0]);
            fs::create_directories(folder);
            for (DataSetKind kind : {DataSetKind::Dbase, DataSetKind::AigRegcodes, DataSetKind::Airports,
                                     DataSetKind::Archives, DataSetKind::WeeklyTraffic}) {
                if (kvr::test::dataSetSource(kind).empty())
                    continue;
                const fs::path target = folder / kvr::test::dataSetFileName(kind);
                kvr::test::writeRepoDataSet(kind, target, options);
                std::printf("%s\n", wide_to_utf8(target.wstring()).c_str());
            }
            return 0;
        }

        if (positional.size() != 2)
            return lf_usage();
        const std::optional<DataSetKind> kind = kvr::test::dataSetKindOf(positional[0]);
        if (!kind)
            return lf_usage();
        const fs::path target = utf8_to_wide(positional[1]);
        if (source.empty())
            kvr::test::writeRepoDataSet(*kind, target, options);
        else
            kvr::test::writeDataSet(*kind, lf_readText(utf8_to_wide(source)), target, options);
        std::printf("%s\n", positional[1].c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelo_make_dataset: %s\n", e.what());
        return 1;
    }
}
