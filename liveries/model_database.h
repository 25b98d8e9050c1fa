// The aircraft vocabulary of the program: the interning tables that turn type
// and airline codes into small ids, and the lookups that the traffic decoders
// make on every record (category, cargo, type-code fixes, registrations).
//
// The tables are process-wide. The model-database loader fills them once at
// start-up; until then they are empty: every type is Light, nothing is cargo,
// no registration is known and no type code is a known ICAO code.
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
    // Sorted by registration, one record per registration.
    std::vector<DbaseRecord> records;
    // Half-wingspan in nautical miles by ModelId (ids below 2700); 0.0 = unknown.
    std::vector<double> WingspanTable = std::vector<double>(2700, 0.0);
    // The largest half-wingspan read.
    double maxHalfWingspan = 0.0;
};
ModelDatabaseTables& gf_modelDatabase();

// Wrong type code -> valid ICAO type code.
extern std::map<std::string, std::string, std::less<>> ModelFixes;

// Interns a type code (a fixed wrong code gives its target's id once the
// fixes are active). Safe from any thread.
ModelId gf_modelCode2Id(std::string_view code);
// The same operation under a second name.
ModelId gf_modelIdOf(std::string_view code);
// Interns an airline code. Safe from any thread. Once all 65535 ids are
// given out, a new code gets 0 (no airline).
AirlineId gf_airlineCode2Id(std::string_view code);
// The id of an airline code already interned; nothing is added.
std::optional<AirlineId> gf_findAirlineId(std::string_view code);
// Codes interned so far (the empty code included).
size_t gf_airlineCodeCount();
// Tests lower the bound of 65535 codes (0 restores it).
void gf_setAirlineCodeLimitForTest(size_t limit);
// The texts behind the ids; empty for an unknown id.
std::string gf_modelCodeText(ModelId id);
std::string gf_airlineCodeText(AirlineId id);
// Makes gf_modelCode2Id apply ModelFixes (set by the loader after the ICAO
// codes are interned).
void gf_setModelFixesActive(bool active);

// The first category set that holds the id; Light when none does.
Category gf_modelCategory(ModelId id);
// Half the wingspan in nautical miles: the WingspanTable entry for ids below
// 2700 (0.0 = unknown), 35.0 for ids of 2700 and more.
double gf_wingspanOfModel(ModelId id);
// False for the empty text, else membership of the valid ICAO type codes.
bool gf_isIcaoModel(std::string_view code);
// The model is a cargo type or the airline a cargo operator.
bool gf_isCargo(const AirlOprModel& ids);
// Registration lookup with hyphen variants: a text of five or more
// characters that does not start with 'N' and has no '-' is tried as "XX-..",
// then "X-...", then as given.
std::optional<AirlOprModel> gf_lookupDbase(std::string_view registration);

// Reads the model database. Nothing is read yet: the tables stay empty and the
// result says that start-up may go on.
bool gf_readDbase();
