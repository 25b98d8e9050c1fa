#pragma once
// The program's five encrypted data sets written from readable XML sources:
// the data-file header is put into the source's root, the result encrypted
// with the data-set key. The sources kept in standins/datasets/sources are
// built into the test support library, so tests use exactly those.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kvr::test {

enum class DataSetKind { Dbase, AigRegcodes, Airports, Archives, WeeklyTraffic };

// "dbase.enc", "AIG-regcodes.enc", "airports.enc", "archives.enc", "wktraffic.enc".
const char* dataSetFileName(DataSetKind kind);
// The kind named by its file name with or without ".enc" ("dbase", "AIG-regcodes.enc"...).
std::optional<DataSetKind> dataSetKindOf(std::string_view name);
// The plaintext limit of the reader of the kind, in bytes.
std::uint64_t dataSetPlainLimit(DataSetKind kind);

// The repository's readable source of the kind; empty when the repository has none.
std::string_view dataSetSource(DataSetKind kind);

struct DataSetOptions {
    bool header = true;       // replace root/meta with the program's data-file header
    std::int32_t sim = 1;     // header entry "sim" (1 = MSFS 2020, 2 = MSFS 2024)
    std::string version;      // header entry "version"; empty = the program's version
};

// Parses the XML `source`, adds the header and encrypts the result into
// `target`. Throws std::runtime_error on malformed XML, a source without a
// root element (with header), a plaintext over the kind's limit or a failed write.
void writeDataSet(DataSetKind kind, std::string_view source, const std::filesystem::path& target,
                  const DataSetOptions& options = {});
// The repository's source of the kind, written as above.
void writeRepoDataSet(DataSetKind kind, const std::filesystem::path& target, const DataSetOptions& options = {});

// What a start of the main task reads, in the current (program) folder: every
// data set the repository has a source for in input, and the repository's
// scanned-livery list (sources/LiveriesScanned.xml) as the list of both
// simulators in output.
void writeStartUpDataFiles();

// The value of kelo_make_dataset's --sim argument: a whole number (1 = MSFS
// 2020, 2 = MSFS 2024). Throws std::invalid_argument naming the argument and
// the value for anything else (empty, trailing text, out of range).
std::int32_t dataSetSimArgument(std::string_view text);

// The plaintext that writeDataSet encrypts.
std::string dataSetPlaintext(std::string_view source, const DataSetOptions& options);

} // namespace kvr::test
