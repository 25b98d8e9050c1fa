#include "liveries/model_database.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <cmath>
#include <deque>
#include <filesystem>
#include <mutex>
#include <memory>
#include <stdexcept>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "core/encrypted_file.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/parameters_file.h"
#include "core/text.h"
#include "core/units.h"
#include "core/value_types.h"
#include "liveries/fnv_hash.h"

namespace fs = std::filesystem;

namespace {

// A text per id and an open-addressing index text -> id, both of fixed size,
// so that a find takes no lock: an insert (under the table's mutex, one at a
// time) stores the text first and then publishes its id in a free slot with a
// release store, which a find's acquire load pairs with. Stored texts never
// move or change until clear(), which runs while no other thread uses the
// table.
class CodeTable {
public:
    CodeTable()
        : m_slots(new std::atomic<uint32_t>[kSlots]()),
          m_texts(new std::atomic<const std::string*>[g_maxInternedCodes]())
    {
        clear();
    }

    std::optional<uint16_t> find(std::string_view code) const
    {
        for (size_t i = lf_home(code);; i = (i + 1) & (kSlots - 1)) {
            const uint32_t slot = m_slots[i].load(std::memory_order_acquire);
            if (slot == 0)
                return std::nullopt;
            const auto id = static_cast<uint16_t>(slot - 1);
            if (*m_texts[id].load(std::memory_order_relaxed) == code)
                return id;
        }
    }

    // The id of the code, interning it when new; no id once the table is full.
    std::optional<uint16_t> intern(std::string_view code)
    {
        if (auto id = find(code))
            return id;
        std::lock_guard lock(m_mutex);
        if (auto id = find(code))
            return id; // interned by another thread meanwhile
        if (m_store.size() >= m_limit.load())
            return std::nullopt;
        return lf_add(code);
    }

    std::string text(uint16_t id) const
    {
        return id < size() ? *m_texts[id].load(std::memory_order_acquire) : std::string();
    }

    size_t size() const { return m_size.load(std::memory_order_acquire); }

    void setLimit(size_t limit) { m_limit.store(limit); }

    void clear()
    {
        std::lock_guard lock(m_mutex);
        for (size_t i = 0; i < kSlots; ++i)
            m_slots[i].store(0, std::memory_order_relaxed);
        for (size_t i = 0; i < m_store.size(); ++i)
            m_texts[i].store(nullptr, std::memory_order_relaxed);
        m_store.clear();
        m_size.store(0, std::memory_order_release);
        lf_add({});
    }

private:
    // Twice the most codes: a probe meets a free slot soon.
    static constexpr size_t kSlots = 131072;
    static_assert(kSlots >= 2 * g_maxInternedCodes);

    static size_t lf_home(std::string_view code) { return Fnv1aHash{}(code) & (kSlots - 1); }

    // Under m_mutex, with room for one more code that is not stored yet.
    uint16_t lf_add(std::string_view code)
    {
        const auto id = static_cast<uint16_t>(m_store.size());
        m_store.emplace_back(code);
        m_texts[id].store(&m_store.back(), std::memory_order_release);
        size_t i = lf_home(code);
        while (m_slots[i].load(std::memory_order_relaxed) != 0)
            i = (i + 1) & (kSlots - 1);
        m_slots[i].store(static_cast<uint32_t>(id) + 1, std::memory_order_release);
        m_size.store(m_store.size(), std::memory_order_release);
        return id;
    }

    std::mutex m_mutex;
    std::atomic<size_t> m_limit{g_maxInternedCodes};
    std::atomic<size_t> m_size{0};
    std::unique_ptr<std::atomic<uint32_t>[]> m_slots;               // id + 1; 0 = free
    std::unique_ptr<std::atomic<const std::string*>[]> m_texts;     // by id
    std::deque<std::string> m_store;                                // the texts, never moved
};

CodeTable& lf_modelTable()
{
    static CodeTable t;
    return t;
}
CodeTable& lf_airlineTable()
{
    static CodeTable t;
    return t;
}
std::atomic<bool> fixesActive{false};
std::atomic<bool> modelTableFullLogged{false};
std::atomic<bool> airlineTableFullLogged{false};

uint16_t lf_internOrZero(CodeTable& table, std::string_view code, std::atomic<bool>& fullLogged, const char* what)
{
    if (auto id = table.intern(code))
        return *id;
    if (!fullLogged.exchange(true))
        gf_logError(fmt::format("the {} code table is full ({} codes): new codes such as '{}' get no id", what,
                                g_maxInternedCodes, code));
    return 0;
}

std::optional<AirlOprModel> lf_findRecord(const std::vector<DbaseRecord>& records, std::string_view reg)
{
    auto it = std::lower_bound(records.begin(), records.end(), reg,
                               [](const DbaseRecord& r, std::string_view key) { return r.registration < key; });
    if (it != records.end() && it->registration == reg)
        return it->ids;
    return std::nullopt;
}

// The list rule: every `element` child's `attribute`, split at ',' into
// trimmed non-empty pieces, all into one set.
void lf_readList(const pugi::xml_node& section, const char* element, const char* attribute,
                 std::set<std::string>& into)
{
    for (pugi::xml_node child : section.children(element))
        for (std::string& piece : gf_splitOnComma(child.attribute(attribute).as_string()))
            into.insert(std::move(piece));
}

pugi::xml_node lf_mandatorySection(const pugi::xml_node& root, const char* name)
{
    pugi::xml_node section = root.child(name);
    if (!section)
        throw kvr::UserRelatedException(61, fmt::format("Missing section: {}", name));
    return section;
}

std::set<std::string> lf_readMandatoryList(const pugi::xml_node& root, const char* section, const char* element,
                                           const char* attribute)
{
    std::set<std::string> texts;
    lf_readList(lf_mandatorySection(root, section), element, attribute, texts);
    return texts;
}

std::set<ModelId> lf_modelIds(const std::set<std::string>& codes)
{
    std::set<ModelId> ids;
    for (const std::string& code : codes)
        ids.insert(gf_modelCode2Id(code));
    return ids;
}

// A finite number; the text is trimmed and may start with one '+'. 0 otherwise.
double lf_parseMeters(std::string_view text)
{
    std::string trimmed = gf_trim(text);
    std::string_view digits = trimmed;
    if (!digits.empty() && digits.front() == '+')
        digits.remove_prefix(1);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty() || !std::isfinite(value))
        return 0.0;
    return value;
}

void lf_readWingspans(const pugi::xml_node& root, ModelDatabaseTables& db)
{
    db.modelHalfWingspans.clear();
    db.maxHalfWingspan = 0.0;
    if (pugi::xml_node section = root.child("wingspans")) {
        for (pugi::xml_node w : section.children("wingspan")) {
            const std::string type = w.attribute("type").as_string();
            if (!db.icaoModelCodes.contains(type)) {
                gf_logError(fmt::format("wingspan model {} is not valid, skipped", type));
                continue;
            }
            const double meters = lf_parseMeters(w.attribute("meters").as_string());
            if (!(meters > 0.0)) {
                gf_logError(fmt::format("wingspan for model {} is not positive, skipped", type));
                continue;
            }
            const double half = meters * 0.5 * kNmPerMetre;
            if (!db.modelHalfWingspans.emplace(type, half).second) {
                gf_logError(fmt::format("duplicate wingspan model {}, skipped", type));
                continue;
            }
            db.maxHalfWingspan = std::max(db.maxHalfWingspan, half);
        }
    }
    for (const auto& [code, half] : db.modelHalfWingspans) {
        try {
            db.WingspanTable.at(gf_modelCode2Id(code)) = half;
        } catch (const std::out_of_range& e) {
            gf_logError(fmt::format("cannot store wingspan for model {}: {}", code, e.what()));
        }
    }
}

void lf_readFixes(const pugi::xml_node& root, const ModelDatabaseTables& db)
{
    ModelFixes.clear();
    if (pugi::xml_node section = root.child("fixes")) {
        for (pugi::xml_node fx : section.children("fx")) {
            const std::string wro = fx.attribute("wro").as_string();
            const std::string cor = fx.attribute("cor").as_string();
            if (cor.empty() || !db.icaoModelCodes.contains(cor)) {
                gf_logError(fmt::format("invalid fix {} -> {}, target is not a valid ICAO model", wro, cor));
                continue;
            }
            if (!ModelFixes.emplace(wro, cor).second)
                gf_logError(fmt::format("duplicate fix key '{}', skipped", wro));
        }
    }
    gf_logLine(fmt::format("{:5} fixes", ModelFixes.size()));
}

void lf_readRegistrations(const pugi::xml_node& root, ModelDatabaseTables& db)
{
    std::vector<DbaseRecord>& records = db.records;
    records.clear();
    records.reserve(81920);
    if (pugi::xml_node section = root.child("dbase")) {
        for (pugi::xml_node d : section.children("d")) {
            DbaseRecord record;
            record.registration = d.attribute("r").as_string();
            record.ids.airline = gf_airlineCode2Id(d.attribute("a").as_string());
            record.ids.oper = gf_airlineCode2Id(d.attribute("o").as_string());
            record.ids.model = gf_modelCode2Id(d.attribute("m").as_string());
            record.ids.cargo = gf_parseBoolText(d.attribute("c").as_string()).value_or(false) ? 1 : 0;
            record.ids.flag = 1;
            records.push_back(std::move(record));
        }
    }
    // Stable, so the first record of a registration in file order stays.
    std::stable_sort(records.begin(), records.end(),
                     [](const DbaseRecord& a, const DbaseRecord& b) { return a.registration < b.registration; });
    records.erase(std::unique(records.begin(), records.end(),
                              [](const DbaseRecord& a, const DbaseRecord& b) {
                                  return a.registration == b.registration;
                              }),
                  records.end());
    records.shrink_to_fit();
}

} // namespace

std::map<std::string, std::string, std::less<>> ModelFixes;

ModelDatabaseTables& gf_modelDatabase()
{
    static ModelDatabaseTables tables;
    return tables;
}

std::optional<ModelId> gf_findModelId(std::string_view code)
{
    if (auto id = lf_modelTable().find(code))
        return id;
    if (fixesActive.load(std::memory_order_acquire)) {
        auto fix = ModelFixes.find(code);
        if (fix != ModelFixes.end())
            return lf_modelTable().find(fix->second);
    }
    return std::nullopt;
}

ModelId gf_modelCode2Id(std::string_view code)
{
    if (auto id = gf_findModelId(code))
        return *id;
    return lf_internOrZero(lf_modelTable(), code, modelTableFullLogged, "model");
}

ModelId gf_modelIdOf(std::string_view code)
{
    return gf_modelCode2Id(code);
}

AirlineId gf_airlineCode2Id(std::string_view code)
{
    return lf_internOrZero(lf_airlineTable(), code, airlineTableFullLogged, "airline");
}

std::optional<AirlineId> gf_findAirlineId(std::string_view code)
{
    return lf_airlineTable().find(code);
}

size_t gf_modelCodeCount()
{
    return lf_modelTable().size();
}

size_t gf_airlineCodeCount()
{
    return lf_airlineTable().size();
}

void gf_setAirlineCodeLimitForTest(size_t limit)
{
    lf_airlineTable().setLimit(limit == 0 ? g_maxInternedCodes : std::min(limit, g_maxInternedCodes));
}

void gf_setModelCodeLimitForTest(size_t limit)
{
    lf_modelTable().setLimit(limit == 0 ? g_maxInternedCodes : std::min(limit, g_maxInternedCodes));
}

std::string gf_modelCodeText(ModelId id)
{
    return lf_modelTable().text(id);
}

std::string gf_airlineCodeText(AirlineId id)
{
    return lf_airlineTable().text(id);
}

void gf_setModelFixesActive(bool active)
{
    fixesActive.store(active, std::memory_order_release);
}

double gf_wingspanOfModel(ModelId id)
{
    const auto& table = gf_modelDatabase().WingspanTable;
    return id < table.size() ? table[id] : 0.0;
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

Category gf_modelCodeCategory(std::string_view code)
{
    return gf_modelCategory(gf_modelCode2Id(code));
}

bool gf_isIcaoModel(std::string_view code)
{
    if (code.empty())
        return false;
    const auto& codes = gf_modelDatabase().icaoModelCodes;
    return codes.find(std::string(code)) != codes.end();
}

bool gf_isIcaoAirline(std::string_view code)
{
    if (code.empty())
        return false;
    const auto& codes = gf_modelDatabase().icaoAirlineCodes;
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

namespace {

// Letters, digits and hyphens make up a registration.
bool lf_isRegistrationChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-';
}

// True when the registration stands in the text as a word of its own: N12
// is not found in "Skyhawk N12345".
bool lf_containsToken(std::string_view text, std::string_view token)
{
    for (size_t at = text.find(token); at != std::string_view::npos; at = text.find(token, at + 1)) {
        const size_t end = at + token.size();
        if ((at == 0 || !lf_isRegistrationChar(text[at - 1])) &&
            (end == text.size() || !lf_isRegistrationChar(text[end])))
            return true;
    }
    return false;
}

} // namespace

std::optional<std::string> gf_findShortDbaseRegistration(std::string_view text)
{
    for (const DbaseRecord& record : gf_modelDatabase().records) {
        const std::string& reg = record.registration;
        if (reg.size() <= 5 && reg.size() <= text.size() && (reg.empty() || lf_containsToken(text, reg)))
            return reg;
    }
    return std::nullopt;
}

bool gf_readDbaseXml(std::string_view xml, const std::string& source)
{
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_buffer(xml.data(), xml.size());
    if (!parsed) {
        gf_logError(fmt::format("{} not read because: {}", source, parsed.description()));
        return false;
    }
    const pugi::xml_node root = document.child("root");
    if (!root) {
        gf_logError(fmt::format("'{}' has no root node", source));
        return false;
    }
    ModelDatabaseTables& db = gf_modelDatabase();

    db.icaoModelCodes = lf_readMandatoryList(root, "aircrafts", "aircraft", "types");
    gf_logLine(fmt::format("\n{:5} ICAO model codes", db.icaoModelCodes.size()));
    const std::set<std::string> cargoTypes = lf_readMandatoryList(root, "cargo_types", "cargo_type", "types");

    gf_modelCode2Id("");
    for (const std::string& code : db.icaoModelCodes)
        gf_modelCode2Id(code);
    gf_setModelFixesActive(true);
    db.cargoTypeIds = lf_modelIds(cargoTypes);

    db.heavy = lf_modelIds(lf_readMandatoryList(root, "heavy", "hvy", "types"));
    db.large = lf_modelIds(lf_readMandatoryList(root, "large", "lar", "types"));
    db.bizjet = lf_modelIds(lf_readMandatoryList(root, "buzjet", "bzj", "types"));
    db.twoProps = lf_modelIds(lf_readMandatoryList(root, "twoprops", "tpr", "types"));
    db.highPerf = lf_modelIds(lf_readMandatoryList(root, "high_performance", "hpf", "types"));
    db.rotorcraft = lf_modelIds(lf_readMandatoryList(root, "rotorcraft", "rot", "types"));

    db.similarTypeGroups.clear();
    db.similarTypeGroups.reserve(128);
    if (pugi::xml_node section = root.child("similar_types")) {
        for (pugi::xml_node similar : section.children("similar")) {
            std::vector<std::string> group = gf_splitOnComma(similar.attribute("types").as_string());
            std::sort(group.begin(), group.end());
            db.similarTypeGroups.push_back(std::move(group));
        }
    }

    db.icaoAirlineCodes = lf_readMandatoryList(root, "ICAO_airlines", "ICAO", "codes");
    gf_logLine(fmt::format("{:5} ICAO airline codes", db.icaoAirlineCodes.size()));
    const std::set<std::string> cargoOperators = lf_readMandatoryList(root, "cargo_operators", "ICAO", "codes");
    gf_logLine(fmt::format("{:5} cargo operators", cargoOperators.size()));

    gf_airlineCode2Id("");
    for (const std::string& code : db.icaoAirlineCodes)
        gf_airlineCode2Id(code);
    db.cargoOperatorIds.clear();
    for (const std::string& code : cargoOperators)
        db.cargoOperatorIds.insert(gf_airlineCode2Id(code));

    lf_readWingspans(root, db);
    lf_readFixes(root, db);
    lf_readRegistrations(root, db);
    gf_logLine(fmt::format("{:5} dbase records read\n", db.records.size()));
    return true;
}

bool gf_readDbase()
{
    const fs::path path = g_dbaseEncPath;
    const std::string pathText = wide_to_utf8(path.wstring());
    std::error_code ec;
    if (!fs::exists(path, ec))
        throw std::runtime_error(fmt::format("{} not available", pathText));
    DecryptResult decrypted = gf_decryptFile(path, g_dbasePlainLimit);
    if (!decrypted.ok)
        throw std::runtime_error(decrypted.error());
    // The secure buffer wipes the plaintext when it goes out of scope, on every path.
    const SecureBuffer& buffer = decrypted.buffer();
    return gf_readDbaseXml(std::string_view(reinterpret_cast<const char*>(buffer.data), buffer.used), pathText);
}

void gf_clearModelDatabase()
{
    gf_setModelFixesActive(false);
    ModelFixes.clear();
    gf_modelDatabase() = ModelDatabaseTables{};
    lf_modelTable().clear();
    lf_airlineTable().clear();
    modelTableFullLogged.store(false);
    airlineTableFullLogged.store(false);
}
