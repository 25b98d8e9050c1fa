#include "liveries/model_database.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

namespace {

// A vector of texts (index = id) and a hash map text -> id; grows while the
// program runs, from several threads.
struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};

struct CodeTable {
    mutable std::shared_mutex mutex;
    std::vector<std::string> texts{std::string()};
    // Id 0 is the empty code.
    std::unordered_map<std::string, uint16_t, TextHash, std::equal_to<>> ids{{std::string(), 0}};

    std::optional<uint16_t> find(std::string_view code) const
    {
        std::shared_lock lock(mutex);
        auto it = ids.find(code);
        if (it == ids.end())
            return std::nullopt;
        return it->second;
    }

    // Ids are 16 bits wide: once every id is given out, a new code gets
    // none (0, the empty code) rather than one that names another code.
    std::atomic<size_t> maxCodes{0xFFFF};

    uint16_t intern(std::string_view code)
    {
        if (auto id = find(code))
            return *id;
        std::unique_lock lock(mutex);
        if (auto it = ids.find(code); it != ids.end())
            return it->second;
        if (texts.size() >= maxCodes.load())
            return 0;
        ids.emplace(std::string(code), static_cast<uint16_t>(texts.size()));
        texts.emplace_back(code);
        return static_cast<uint16_t>(texts.size() - 1);
    }

    size_t size() const
    {
        std::shared_lock lock(mutex);
        return texts.size();
    }

    std::string text(uint16_t id) const
    {
        std::shared_lock lock(mutex);
        return id < texts.size() ? texts[id] : std::string();
    }
};

CodeTable& modelTable()
{
    static CodeTable t;
    return t;
}
CodeTable& airlineTable()
{
    static CodeTable t;
    return t;
}
std::atomic<bool> fixesActive{false};

std::optional<AirlOprModel> lf_findRecord(const std::vector<DbaseRecord>& records, std::string_view reg)
{
    auto it = std::lower_bound(records.begin(), records.end(), reg,
                               [](const DbaseRecord& r, std::string_view key) { return r.registration < key; });
    if (it != records.end() && it->registration == reg)
        return it->ids;
    return std::nullopt;
}

} // namespace

std::map<std::string, std::string, std::less<>> ModelFixes;

ModelDatabaseTables& gf_modelDatabase()
{
    static ModelDatabaseTables tables;
    return tables;
}

ModelId gf_modelCode2Id(std::string_view code)
{
    if (auto id = modelTable().find(code))
        return *id;
    if (fixesActive.load()) {
        auto fix = ModelFixes.find(code);
        if (fix != ModelFixes.end()) {
            if (auto target = modelTable().find(fix->second))
                return *target;
        }
    }
    return modelTable().intern(code);
}

ModelId gf_modelIdOf(std::string_view code)
{
    return gf_modelCode2Id(code);
}

double gf_wingspanOfModel(ModelId id)
{
    const auto& table = gf_modelDatabase().WingspanTable;
    return id < table.size() ? table[id] : 35.0;
}

AirlineId gf_airlineCode2Id(std::string_view code)
{
    return airlineTable().intern(code);
}

std::optional<AirlineId> gf_findAirlineId(std::string_view code)
{
    return airlineTable().find(code);
}

size_t gf_airlineCodeCount()
{
    return airlineTable().size();
}

void gf_setAirlineCodeLimitForTest(size_t limit)
{
    airlineTable().maxCodes.store(limit == 0 ? 0xFFFF : std::min<size_t>(limit, 0xFFFF));
}

std::string gf_modelCodeText(ModelId id)
{
    return modelTable().text(id);
}

std::string gf_airlineCodeText(AirlineId id)
{
    return airlineTable().text(id);
}

void gf_setModelFixesActive(bool active)
{
    fixesActive.store(active);
}

Category gf_modelCategory(ModelId id)
{
    const ModelDatabaseTables& db = gf_modelDatabase();
    if (db.large.contains(id))
        return Category::Large;
    if (db.heavy.contains(id))
        return Category::Heavy;
    if (db.bizjet.contains(id))
        return Category::Bizjet;
    if (db.twoProps.contains(id))
        return Category::TwoProps;
    if (db.rotorcraft.contains(id))
        return Category::Rotorcraft;
    if (db.highPerf.contains(id))
        return Category::HighPerf;
    return Category::Light;
}

bool gf_isIcaoModel(std::string_view code)
{
    if (code.empty())
        return false;
    const auto& codes = gf_modelDatabase().icaoModelCodes;
    return codes.find(std::string(code)) != codes.end();
}

bool gf_isCargo(const AirlOprModel& ids)
{
    const ModelDatabaseTables& db = gf_modelDatabase();
    return db.cargoTypeIds.contains(ids.model) || db.cargoOperatorIds.contains(ids.airline);
}

std::optional<AirlOprModel> gf_lookupDbase(std::string_view reg)
{
    if (reg.empty())
        return std::nullopt;
    const auto& records = gf_modelDatabase().records;
    if (reg.size() >= 5 && reg[0] != 'N' && reg.find('-') == std::string_view::npos) {
        std::string two = std::string(reg.substr(0, 2)) + "-" + std::string(reg.substr(2));
        if (auto r = lf_findRecord(records, two))
            return r;
        std::string one = std::string(reg.substr(0, 1)) + "-" + std::string(reg.substr(1));
        if (auto r = lf_findRecord(records, one))
            return r;
    }
    return lf_findRecord(records, reg);
}

bool gf_readDbase()
{
    return true;
}
