#include "tests/support/data_sets.h"

#include <array>
#include <charconv>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "core/data_file_header.h"
#include "core/encrypted_file.h"
#include "core/layout.h"
#include "core/version_data.h"
#include "tests/support/enc_writer.h"

namespace kvr::test {

// Generated from standins/datasets/sources at build time (data_set_sources.cpp).
std::string_view lf_embeddedDataSetSource(const char* fileName);

namespace {

struct KindInfo {
    DataSetKind kind;
    const char* fileName;
    const char* sourceName;
    std::uint64_t limit;
};

constexpr std::array<KindInfo, 5> c_kinds{{
    {DataSetKind::Dbase, "dbase.enc", "dbase.xml", g_dbasePlainLimit},
    {DataSetKind::AigRegcodes, "AIG-regcodes.enc", "AIG-regcodes.xml", g_aigRegcodesPlainLimit},
    {DataSetKind::Airports, "airports.enc", "airports.xml", g_airportsDbPlainLimit},
    {DataSetKind::Archives, "archives.enc", "archives.xml", g_archivesPlainLimit},
    {DataSetKind::WeeklyTraffic, "wktraffic.enc", "wktraffic.xml", g_wktrafficPlainLimit},
}};

const KindInfo& lf_info(DataSetKind kind)
{
    for (const KindInfo& info : c_kinds)
        if (info.kind == kind)
            return info;
    throw std::invalid_argument("unknown data set kind");
}

} // namespace

const char* dataSetFileName(DataSetKind kind) { return lf_info(kind).fileName; }

std::optional<DataSetKind> dataSetKindOf(std::string_view name)
{
    for (const KindInfo& info : c_kinds) {
        const std::string_view file = info.fileName;
        if (name == file || name == file.substr(0, file.size() - 4))
            return info.kind;
    }
    return std::nullopt;
}

std::uint64_t dataSetPlainLimit(DataSetKind kind) { return lf_info(kind).limit; }

std::string_view dataSetSource(DataSetKind kind) { return lf_embeddedDataSetSource(lf_info(kind).sourceName); }

std::int32_t dataSetSimArgument(std::string_view text)
{
    std::int32_t sim = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, sim);
    if (text.empty() || error != std::errc() || stop != end)
        throw std::invalid_argument(
            fmt::format("--sim wants a whole number (1 = MSFS 2020, 2 = MSFS 2024), not '{}'", text));
    return sim;
}

std::string dataSetPlaintext(std::string_view source, const DataSetOptions& options)
{
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_buffer(source.data(), source.size());
    if (!parsed)
        throw std::runtime_error(fmt::format("source is not XML: {} at offset {}", parsed.description(),
                                             static_cast<long long>(parsed.offset)));
    if (options.header) {
        if (!document.child("root"))
            throw std::runtime_error("source has no <root> element");
        DataFileHeader header;
        header.version = options.version.empty() ? fmt::format("{}", gf_programVersion()) : options.version;
        header.sim = options.sim;
        if (!gf_writeDataFileHeader(document, header))
            throw std::runtime_error("data-file header could not be written");
        // The header leads the root's children, as the program's writers place it.
        pugi::xml_node root = document.child("root");
        root.prepend_move(root.child("meta"));
    }
    std::ostringstream out;
    document.save(out, "  ", pugi::format_indent, pugi::encoding_utf8);
    return out.str();
}

void writeDataSet(DataSetKind kind, std::string_view source, const std::filesystem::path& target,
                  const DataSetOptions& options)
{
    const std::string plaintext = dataSetPlaintext(source, options);
    if (plaintext.size() > dataSetPlainLimit(kind))
        throw std::runtime_error(fmt::format("{} bytes of plaintext exceed the {}-byte limit of {}", plaintext.size(),
                                             dataSetPlainLimit(kind), dataSetFileName(kind)));
    writeEncFile(target, plaintext);
}

void writeRepoDataSet(DataSetKind kind, const std::filesystem::path& target, const DataSetOptions& options)
{
    const std::string_view source = dataSetSource(kind);
    if (source.empty())
        throw std::runtime_error(fmt::format("the repository has no source of {}", dataSetFileName(kind)));
    writeDataSet(kind, source, target, options);
}

void writeStartUpDataFiles()
{
    std::filesystem::create_directories(g_inputFolder);
    for (const KindInfo& info : c_kinds)
        if (!dataSetSource(info.kind).empty())
            writeRepoDataSet(info.kind, g_inputFolder / info.fileName);
    std::filesystem::create_directories(g_outputFolder);
    const std::string_view list = lf_embeddedDataSetSource("LiveriesScanned.xml");
    for (const auto& path : {g_liveriesScanned2020Path, g_liveriesScanned2024Path}) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(list.data(), static_cast<std::streamsize>(list.size()));
        if (!out)
            throw std::runtime_error("cannot write the scanned-livery list");
    }
}

} // namespace kvr::test
