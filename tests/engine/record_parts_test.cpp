// ARCHITECTURE.md's table of the aircraft record's parts against the record
// itself: every part is listed with its member name and its number of fields,
// and nothing else is.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

namespace {

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The body of `struct <name> ... {` up to its closing "};" at the line start.
std::string structBody(const std::string& header, const std::string& opening)
{
    const size_t start = header.find(opening);
    if (start == std::string::npos)
        return {};
    const size_t end = header.find("\n};", start);
    return header.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Data members of a struct body: declarations at the first indent that are not
// functions (comments taken off first).
int fieldCount(const std::string& body)
{
    static const std::regex field(R"(^    [A-Za-z_][^(]*[A-Za-z_0-9>\]] +[A-Za-z_][A-Za-z_0-9]*( = [^;]*|\{[^;]*\})?;\s*$)");
    std::istringstream lines(body);
    int count = 0;
    for (std::string line; std::getline(lines, line);) {
        if (const size_t comment = line.find("//"); comment != std::string::npos)
            line.erase(comment);
        if (std::regex_match(line, field))
            ++count;
    }
    return count;
}

struct Part {
    std::string member;
    int fields = 0;
};

// The parts a record holds as members: "    <Part> <member>;" in its body.
void partsOf(const std::string& header, const std::string& opening, std::map<std::string, Part>& parts)
{
    static const std::regex member(R"(^    ([A-Z][A-Za-z]*) ([a-z][A-Za-z]*);)");
    std::istringstream lines(structBody(header, opening));
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (!std::regex_search(line, m, member) || m[1] == "FlightState")
            continue;
        const std::string body = structBody(header, "struct " + m[1].str() + " {");
        if (!body.empty())
            parts[m[1]] = Part{m[2], fieldCount(body)};
    }
}

} // namespace

TEST(RecordParts, TheArchitectureTableListsEveryPartWithItsMemberAndFields)
{
    const std::filesystem::path root(KELO_SOURCE_DIR);
    const std::string header = readFile(root / "engine" / "aircraft.h");
    ASSERT_FALSE(header.empty());
    std::map<std::string, Part> record;
    partsOf(header, "struct AircraftBase {", record);
    partsOf(header, "struct LiveAircraft : AircraftBase {", record);
    ASSERT_GE(record.size(), 13u) << "the record's parts were not found in engine/aircraft.h";

    const std::string architecture = readFile(root / "ARCHITECTURE.md");
    static const std::regex row(R"(\| `([A-Za-z]+)` \| `([a-z][A-Za-z]*)` \| (\d+) \|)");
    std::map<std::string, Part> table;
    for (auto it = std::sregex_iterator(architecture.begin(), architecture.end(), row); it != std::sregex_iterator();
         ++it)
        table[(*it)[1]] = Part{(*it)[2], std::stoi((*it)[3])};

    for (const auto& [name, part] : record) {
        const auto listed = table.find(name);
        ASSERT_NE(listed, table.end()) << name << " (ac." << part.member << ", " << part.fields
                                       << " fields) is missing from ARCHITECTURE.md's parts table";
        EXPECT_EQ(listed->second.member, part.member) << name;
        EXPECT_EQ(listed->second.fields, part.fields) << name;
    }
    for (const auto& [name, part] : table)
        EXPECT_TRUE(record.contains(name)) << name << " is in ARCHITECTURE.md's table but not a part of the record";
}
