#include "liveries/model_database.h"

#include <mutex>
#include <unordered_map>

namespace {

struct ModelCodeTable {
    std::mutex mutex;
    std::vector<std::string> codes;
    std::unordered_map<std::string, ModelId> index;
};

ModelCodeTable& lf_modelCodes()
{
    static ModelCodeTable table;
    return table;
}

} // namespace

ModelDatabaseTables& gf_modelDatabase()
{
    static ModelDatabaseTables tables;
    return tables;
}

ModelId gf_modelCode2Id(std::string_view code)
{
    auto& t = lf_modelCodes();
    std::lock_guard lock(t.mutex);
    const std::string key(code);
    if (auto it = t.index.find(key); it != t.index.end())
        return it->second;
    const auto id = static_cast<ModelId>(t.codes.size());
    t.codes.push_back(key);
    t.index.emplace(key, id);
    return id;
}

ModelId gf_modelIdOf(std::string_view code)
{
    return gf_modelCode2Id(code);
}

std::string gf_modelCodeOf(ModelId id)
{
    auto& t = lf_modelCodes();
    std::lock_guard lock(t.mutex);
    return id < t.codes.size() ? t.codes[id] : std::string();
}

Category gf_modelCategory(ModelId id)
{
    const auto& db = gf_modelDatabase();
    if (db.large.count(id))
        return Category::Large;
    if (db.heavy.count(id))
        return Category::Heavy;
    if (db.bizjet.count(id))
        return Category::Bizjet;
    if (db.twoProps.count(id))
        return Category::TwoProps;
    if (db.rotorcraft.count(id))
        return Category::Rotorcraft;
    if (db.highPerf.count(id))
        return Category::HighPerf;
    return Category::Light;
}

bool gf_isIcaoModel(std::string_view code)
{
    if (code.empty())
        return false;
    const auto& codes = gf_modelDatabase().IcaoModelCodes;
    return codes.find(std::string(code)) != codes.end();
}

double gf_wingspanOfModel(ModelId id)
{
    if (id >= kWingspanTableSize)
        return 35.0;
    return gf_modelDatabase().WingspanTable[id];
}
