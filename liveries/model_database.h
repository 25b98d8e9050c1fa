// The aircraft vocabulary of the program: the interning tables that turn type
// and airline codes into small ids, and the lookups that the traffic decoders
// make on every record (category, cargo, type-code fixes, registrations).
//
// The tables are process-wide. The model-database loader (gf_readDbase) fills
// them once at start-up from input\dbase.enc; until then they are empty: every
// type is Light, nothing is cargo, no registration is known and no type code
// is a known ICAO code.
//
// The two interning tables keep growing while the program runs, from the main
// task, the traffic readers and the SimClient thread: a find takes no lock, an
// insert takes the table's own mutex; each keeps its texts where they were
// stored and holds at most g_maxInternedCodes codes. A new code
// beyond that bound gets no id: 0, the id of the empty code.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

using ModelId = uint16_t;
using AirlineId = uint16_t;

// The airline, operator and model ids that key liveries and traffic records.
struct AirlOprModel {
    AirlineId airline = 0;
    AirlineId oper = 0;
    ModelId model = 0;
    uint8_t cargo = 0;
    uint8_t flag = 0;
    friend bool operator==(const AirlOprModel&, const AirlOprModel&) = default;
};

enum class Category : uint8_t {
    Light = 0,
    TwoProps = 1,
    Bizjet = 2,
    Large = 3,
    Heavy = 4,
    HighPerf = 5,
    Rotorcraft = 6,
};

// The most codes an interning table holds (ids 0 .. 65534).
inline constexpr size_t g_maxInternedCodes = 65535;
// The size of WingspanTable: ids from here on have no stored wingspan.
inline constexpr size_t g_wingspanTableSize = 2700;

// One known registration of the model database.
struct DbaseRecord {
    std::string registration;
    AirlOprModel ids;
};

// What the model-database loader fills (and tests fill in its place). Only
// read after start-up.
struct ModelDatabaseTables {
    std::set<std::string> icaoModelCodes;
    std::set<ModelId> cargoTypeIds;
    // heavy, large, bizjet, two-props, high-performance, rotorcraft
    std::set<ModelId> heavy, large, bizjet, twoProps, highPerf, rotorcraft;
    std::set<AirlineId> cargoOperatorIds;
    // Groups of similar type codes, each sorted ascending.
    std::vector<std::vector<std::string>> similarTypeGroups;
    std::set<std::string> icaoAirlineCodes;
    // Type code -> half-wingspan in nautical miles.
    std::map<std::string, double> modelHalfWingspans;
    // Sorted by registration, one record per registration.
    std::vector<DbaseRecord> records;
    // Half-wingspan in nautical miles by ModelId (ids below 2700); 0.0 = unknown.
    std::vector<double> WingspanTable = std::vector<double>(g_wingspanTableSize, 0.0);
    // The largest half-wingspan read.
    double maxHalfWingspan = 0.0;
};
ModelDatabaseTables& gf_modelDatabase();

// Wrong type code -> valid ICAO type code.
extern std::map<std::string, std::string, std::less<>> ModelFixes;

// Interns a type code (a fixed wrong code gives its target's id once the
// fixes are active, and is not interned itself). Safe from any thread; 0 for a
// new code once the table is full.
ModelId gf_modelCode2Id(std::string_view code);
// The same operation under a second name.
ModelId gf_modelIdOf(std::string_view code);
// The id gf_modelCode2Id gives a code that is already interned (directly or
// through its fix), without interning it.
std::optional<ModelId> gf_findModelId(std::string_view code);
// Interns an airline code. Safe from any thread; 0 for a new code once the
// table is full.
AirlineId gf_airlineCode2Id(std::string_view code);
// The id of a code that is already interned, without interning it.
std::optional<AirlineId> gf_findAirlineId(std::string_view code);
// The number of codes interned so far (the empty code included).
size_t gf_modelCodeCount();
size_t gf_airlineCodeCount();
// Tests lower the bound of the airline or the model table (0 restores it).
void gf_setAirlineCodeLimitForTest(size_t limit);
void gf_setModelCodeLimitForTest(size_t limit);
// The texts behind the ids; empty for an unknown id.
std::string gf_modelCodeText(ModelId id);
std::string gf_airlineCodeText(AirlineId id);
// Makes gf_modelCode2Id apply ModelFixes (set by the loader after the ICAO
// codes are interned).
void gf_setModelFixesActive(bool active);

// The first category set that holds the id (large, heavy, bizjet, two-props,
// rotorcraft, high-performance); Light when none does.
Category gf_modelCategory(ModelId id);
// The category of a type code (interned first).
Category gf_modelCodeCategory(std::string_view code);
// Half the wingspan in nautical miles: the WingspanTable entry; 0.0 (unknown)
// when none is stored, also for ids of 2700 and more, so that callers fall
// back on maxHalfWingspan.
double gf_wingspanOfModel(ModelId id);
// False for the empty text, else membership of the valid ICAO type codes.
bool gf_isIcaoModel(std::string_view code);
// False for the empty text, else membership of the ICAO airline codes.
bool gf_isIcaoAirline(std::string_view code);
// The model is a cargo type or the airline a cargo operator.
bool gf_isCargo(const AirlOprModel& ids);
// Registration lookup with hyphen variants: a text of five or more
// characters that does not start with 'N' and has no '-' is tried as "XX-..",
// then "X-...", then as given.
std::optional<AirlOprModel> gf_lookupDbase(std::string_view registration);
// The first registration (in sorted order) of at most 5 characters that stands
// in `text` as a whole word (not inside a longer run of letters, digits and
// hyphens).
std::optional<std::string> gf_findShortDbaseRegistration(std::string_view text);

// Reads input\dbase.enc into the tables. Throws std::runtime_error when the
// file is missing or cannot be decrypted, kvr::UserRelatedException 61
// "Missing section: <name>" for a missing mandatory section; false (with an
// error line) for XML that does not parse or has no root.
bool gf_readDbase();
// The same from a plaintext already decrypted; `source` names it in messages.
bool gf_readDbaseXml(std::string_view xml, const std::string& source);

// Empties every table of this file, the interning tables included (each then
// holds the empty code as id 0). For tests, while no other thread uses them.
void gf_clearModelDatabase();
