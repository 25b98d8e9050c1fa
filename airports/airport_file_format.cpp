#include "airports/airport_file_store.h"
#include "airports/airport_file_format.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <set>
#include <system_error>
#include <type_traits>
#include <unordered_set>

#include <type_traits>

#include <fmt/format.h>

#include "core/data_file_header.h"
#include "core/files.h"
#include "core/log.h"
#include "core/parameters_file.h"
#include "core/text.h"
#include "core/units.h"
#include "core/version_data.h"
#include "liveries/model_texts.h"

namespace fs = std::filesystem;

namespace {

std::atomic<uint64_t> g_writeCounter{0};

bool lf_appendNumberParameter(pugi::xml_node parameters, const std::string& name, double value)
{
    return gf_xmlAppendStringParameter(parameters, name, fmt::format("{:.{}f}", value, 4));
}

bool lf_attr(pugi::xml_node node, const char* name, const std::string& value)
{
    return gf_xmlAppendAttr(node, name, value);
}

bool lf_writeStandGeometry(pugi::xml_node parkpos, const Stand& s)
{
    const auto typeIndex = static_cast<size_t>(s.type);
    const std::string_view typeName = typeIndex < StandTypeNames.size() ? StandTypeNames[typeIndex] : "NONE";
    bool ok = lf_attr(parkpos, "typestr", std::string(typeName)) &&
              lf_attr(parkpos, "latitude", fmt::format("{:.6f}", s.lat)) &&
              lf_attr(parkpos, "longitude", fmt::format("{:.6f}", s.lon)) &&
              lf_attr(parkpos, "heading", fmt::format("{:.1f}", s.heading * kRadToDeg)) &&
              lf_attr(parkpos, "radius", fmt::format("{:.1f}", s.radius * kMetresPerNm));
    if (s.type == StandType::NONE && !s.helipad) {
        ok = ok && lf_attr(parkpos, "type", "0") && lf_attr(parkpos, "cargo", s.cargo ? "true" : "false") &&
             lf_attr(parkpos, "ramp", s.gaRamp ? "true" : "false");
    }
    if (s.helipad)
        ok = ok && lf_attr(parkpos, "heli", "true");
    if (s.flag)
        ok = ok && lf_attr(parkpos, "manual", "true");
    return ok;
}

// 0: written; 1: a node or attribute failed; 2: the option cannot be written.
int lf_writeOption(pugi::xml_node parkpos, const StandOption& o)
{
    const std::optional<std::string> hours = gf_halfHoursText(o.halfHours);
    if (!hours || o.weekday < 1 || o.weekday > 7) {
        gf_logError(lf_formatWithAirlOprModel("invalid flight option: {} {} {}", o.registration, o.callsign, o.aom));
        return 2;
    }
    pugi::xml_node opt = parkpos.append_child("opt");
    if (!opt)
        return 1;
    bool ok = lf_attr(opt, "reg", o.registration);
    if (o.aom.flag == 0) {
        ok = ok && lf_attr(opt, "airl", gf_airlineCodeText(o.aom.airline)) &&
             lf_attr(opt, "type", gf_modelCodeText(o.aom.model));
    }
    if (o.real == 0)
        ok = ok && lf_attr(opt, "soft", "true");
    ok = ok && lf_attr(opt, "day", fmt::format("{}", o.weekday)) && lf_attr(opt, "hh", *hours);
    if (!o.callsign.empty()) {
        ok = ok && lf_attr(opt, "cs", o.callsign2.empty() ? o.callsign : fmt::format("{}:{}", o.callsign, o.callsign2));
    }
    if (o.closed)
        ok = ok && lf_attr(opt, "cpl", "true");
    return ok ? 0 : 1;
}

bool lf_saveThroughTemp(pugi::xml_document& doc, const fs::path& target)
{
    if (target.empty()) {
        gf_logError("gf_writeApf: empty output filename");
        return false;
    }
    std::error_code ec;
    const fs::path folder = target.parent_path();
    if (!folder.empty()) {
        fs::create_directories(folder, ec);
        if (ec) {
            gf_logError(fmt::format("gf_writeApf: could not create directory '{}': {}", gf_pathText(folder),
                                    ec.message()));
            return false;
        }
    }
    fs::path temp = target;
    temp += fmt::format(".{}.{}.tmp", gf_processId(), g_writeCounter.fetch_add(1));
    TempFileGuard guard(temp);
    if (!gf_saveXmlWithDeclaration(doc, temp)) {
        gf_logError(fmt::format("gf_writeApf: could not write '{}'", gf_pathText(temp)));
        return false;
    }
    guard.armed = false;
    return gf_putSavedFileInPlace(temp, target);
}

std::optional<bool> lf_boolAttr(const pugi::xml_node& node, const char* name)
{
    return gf_xmlOptBool(node, name);
}

} // namespace

HalfHourMask gf_parseHalfHours(std::string_view text)
{
    HalfHourMask mask;
    if (text.find(',') == std::string_view::npos || text.find(':') == std::string_view::npos)
        return gf_hours2bitset(text);
    // Several runs: each piece on its own.
    for (const std::string& piece : gf_split(text, ','))
        mask |= gf_hours2bitset(piece);
    return mask;
}

std::optional<std::string> gf_halfHoursText(const HalfHourMask& mask)
{
    if (mask.none())
        return std::nullopt;
    std::string text;
    size_t slot = 0;
    while (slot < mask.size()) {
        if (!mask.test(slot)) {
            ++slot;
            continue;
        }
        size_t last = slot;
        while (last + 1 < mask.size() && mask.test(last + 1))
            ++last;
        if (!text.empty())
            text += ',';
        text += last == slot ? fmt::format("{}", slot) : fmt::format("{}:{}", slot, last);
        slot = last + 1;
    }
    return text;
}

bool gf_writeApfParameters(pugi::xml_node root, const ScannedAirport& airport, ApfWriteMode mode, bool handmade,
                           const std::optional<AirportSettings>& settings)
{
    if (mode == ApfWriteMode::Learned && !settings)
        return false;
    pugi::xml_node p = root.append_child("parameters");
    if (!p)
        return false;
    bool ok = gf_xmlAppendStringParameter(p, "icao", airport.icao.toString());
    if (airport.iata.isSet() && airport.iata.toString() != "XXX")
        ok = ok && gf_xmlAppendStringParameter(p, "iata", airport.iata.toString());
    ok = ok && gf_xmlAppendStringParameter(p, "airport_name", airport.airportName);
    if (airport.latitude != 0.0 || airport.longitude != 0.0) {
        ok = ok && lf_appendNumberParameter(p, "latitude", airport.latitude) &&
             lf_appendNumberParameter(p, "longitude", airport.longitude);
    }
    ok = ok && gf_xmlAppendStringParameter(p, "publisher", airport.publisher);
    if (airport.manifest && !airport.manifest->package_version.empty() && airport.publisher != "stock")
        ok = ok && gf_xmlAppendStringParameter(p, "version", airport.manifest->package_version);
    if (handmade)
        ok = ok && gf_xmlAppendStringParameter(p, "handmade", "true");
    if (handmade || mode == ApfWriteMode::Generated)
        ok = ok && gf_xmlAppendIntParameter(p, "altitude", airport.altitude);
    if (mode == ApfWriteMode::Generated)
        ok = ok && gf_xmlAppendIntParameter(p, "num_parkpos", static_cast<int32_t>(airport.stands.size()));
    if (handmade && (airport.qfReal > 0 || airport.qfSoft >= 1)) {
        if (airport.qfReal >= 0)
            ok = ok && gf_xmlAppendIntParameter(p, "Qf_real", airport.qfReal);
        if (airport.qfSoft > 0 || airport.qfReal == 0)
            ok = ok && gf_xmlAppendIntParameter(p, "Qf_soft", airport.qfSoft);
    }
    if (airport.publisher.empty()) {
        ok = ok && gf_xmlAppendStringParameter(p, "BGLpath", airport.bglPath);
        if (airport.manifest) {
            ok = ok && gf_xmlAppendStringParameter(p, "manufacturer", airport.manifest->manufacturer) &&
                 gf_xmlAppendStringParameter(p, "creator", airport.manifest->creator);
        }
    }
    if (mode == ApfWriteMode::Learned) {
        gf_forEachAirportSetting(*settings, [&](const char* key, const auto& value, const auto&, auto) {
            if constexpr (std::is_same_v<std::decay_t<decltype(value)>, bool>)
                ok = ok && gf_xmlAppendBoolParameter(p, key, value);
            else
                ok = ok && gf_xmlAppendIntParameter(p, key, value);
        });
    }
    return ok;
}

bool gf_writeApf(const ScannedAirport& airport, const fs::path& target, ApfWriteMode mode, uint32_t simulator,
                 bool handmade, const std::optional<AirportSettings>& settings)
{
    pugi::xml_document doc;
    DataFileHeader header;
    header.version = gf_programVersion().toString();
    header.sim = static_cast<int32_t>(simulator);
    if (!gf_writeDataFileHeader(doc, header))
        return false;
    pugi::xml_node root = doc.child("root");
    if (!root)
        root = doc.append_child("root");
    if (!root)
        return false;
    if (!gf_writeApfParameters(root, airport, mode, handmade, settings))
        return false;

    bool ok = true;
    if (!airport.stands.empty()) {
        pugi::xml_node positions = root.append_child("parkpositions");
        ok = static_cast<bool>(positions);
        std::unordered_set<std::string> seen;
        seen.reserve(airport.stands.size());
        for (const Stand& s : airport.stands) {
            if (!ok)
                break;
            if (s.name.empty() || !seen.insert(s.name).second) {
                gf_logError(fmt::format("gf_writeApf: empty or duplicate stand id '{}'", s.name));
                return false;
            }
            pugi::xml_node parkpos = positions.append_child("parkpos");
            ok = parkpos && lf_attr(parkpos, "id", s.name);
            if (!ok)
                break;
            if (mode == ApfWriteMode::Generated || s.flag || handmade) {
                if (!gf_isValidLatLon({s.lat, s.lon}) || !std::isfinite(s.radius) || s.radius <= 0.0 ||
                    !std::isfinite(s.heading)) {
                    gf_logError(fmt::format("gf_writeApf: stand '{}' has invalid geometry", s.name));
                    return false;
                }
                ok = lf_writeStandGeometry(parkpos, s);
            }
            if (mode != ApfWriteMode::Learned)
                continue;
            for (const StandOption& o : s.options) {
                if (o.optionId == 0 || o.registration.empty())
                    continue;
                const int written = lf_writeOption(parkpos, o);
                if (written == 2)
                    return false;
                ok = ok && written == 0;
            }
        }
    }
    if (!ok)
        return false;
    return lf_saveThroughTemp(doc, target);
}

void gf_readParkPositions(const pugi::xml_document& document, std::vector<Stand>& stands)
{
    pugi::xml_node root = document.child("root");
    const pugi::xml_node positions = root ? root.child("parkpositions") : document.child("parkpositions");
    if (!positions) {
        gf_logLine(fmt::format("airport file has no '{}' section", "parkpositions"));
        return;
    }
    std::unordered_set<std::string> seen;
    size_t count = 0;
    for (const pugi::xml_node parkpos : positions.children("parkpos")) {
        ++count;
        if (count > g_maxAirportFileStands) {
            gf_logError(fmt::format("airport file contains more than {} stands; remaining stands skipped",
                                    g_maxAirportFileStands));
            return;
        }
        const pugi::xml_attribute idAttr = parkpos.attribute("id");
        if (!idAttr) {
            gf_logError(fmt::format("Parking position #{} has no '{}' attribute, skipped.", count, "id"));
            continue;
        }
        const std::string id = gf_trim(idAttr.value());
        if (id.empty()) {
            gf_logError(fmt::format("Stand #{} has empty '{}' attribute, skipped.", count, "id"));
            continue;
        }
        if (!seen.insert(id).second) {
            gf_logError(fmt::format("Stand '{}' appears more than once, last one skipped!", id));
            continue;
        }
        gf_readParkPosition(parkpos, id, 1, stands);
    }
}

OptionIdentity lf_readOptionIdentity(const pugi::xml_node& opt)
{
    OptionIdentity identity;
    try {
        const std::string cs = opt.attribute("cs").value();
        if (const size_t colon = cs.find(':'); colon != std::string::npos) {
            identity.callsign = cs.substr(0, colon);
            identity.callsign2 = cs.substr(colon + 1);
        } else {
            identity.callsign = cs;
        }
        const std::string reg = opt.attribute("reg").value();
        std::optional<AirlOprModel> known;
        if (!reg.empty())
            known = gf_lookupDbase(reg);
        if (known) {
            identity.aom = *known;
        } else {
            identity.aom.airline = gf_airlineCode2Id(opt.attribute("airl").value());
            identity.aom.model = gf_modelCode2Id(opt.attribute("type").value());
        }
    } catch (...) {
        // The option keeps what was read so far.
    }
    return identity;
}

StandOption gf_readStandOption(const pugi::xml_node& opt, const HalfHourMask& slots, uint32_t weekday,
                               uint32_t fromAirportFile)
{
    const OptionIdentity identity = lf_readOptionIdentity(opt);
    StandOption o;
    o.aom = identity.aom;
    o.callsign = identity.callsign;
    o.callsign2 = identity.callsign2;
    o.registration = opt.attribute("reg").value();
    o.halfHours = slots;
    o.weekday = weekday;
    o.real = lf_boolAttr(opt, "soft").value_or(false) ? 0 : 1;
    o.closed = lf_boolAttr(opt, "cpl").value_or(false) ? 1 : 0;
    o.fromAirportFile = static_cast<uint8_t>(fromAirportFile);
    return o;
}

bool gf_readParkPosition(const pugi::xml_node& parkpos, const std::string& id, uint32_t optionsFromFile,
                         std::vector<Stand>& stands)
{
    const double lat = parkpos.attribute("latitude").as_double(0.0);
    const double lon = parkpos.attribute("longitude").as_double(0.0);
    if (!gf_isValidLatLon({lat, lon})) {
        gf_logError(fmt::format("stand {} has no valid lat/lon", id));
        return false;
    }
    const std::string typestr = parkpos.attribute("typestr").value();
    const double radiusM = parkpos.attribute("radius").as_double(0.0);
    const double headingDeg = parkpos.attribute("heading").as_double(0.0);
    const bool heli = lf_boolAttr(parkpos, "heli").value_or(false);

    Stand s;
    using T = StandType;
    StandType type = T::NONE;
    if (!typestr.empty()) {
        const auto it = std::find(StandTypeNames.begin(), StandTypeNames.end(), typestr);
        type = it == StandTypeNames.end() ? T::NONE : static_cast<StandType>(it - StandTypeNames.begin());
    } else {
        const int numeric = parkpos.attribute("type").as_int(0);
        type = numeric >= 0 && numeric <= 15 ? static_cast<StandType>(numeric) : T::NONE;
    }
    if (type != T::NONE) {
        s.cargo = type == T::RAMP_CARGO || type == T::RAMP_MIL_CARGO;
        s.gaRamp = (type >= T::RAMP_GA && type <= T::RAMP_GA_LARGE) || type == T::RAMP_GA_EXTRA;
    } else if (heli) {
        s.cargo = lf_boolAttr(parkpos, "cargo").value_or(false);
        s.gaRamp = lf_boolAttr(parkpos, "ramp").value_or(false);
    } else {
        const bool both = parkpos.attribute("cargo") && parkpos.attribute("ramp");
        if (!both) {
            gf_logError(fmt::format("stand {} has no valid type, and no valid cargo/ramp fallback info", id));
            return false;
        }
        if (!(radiusM > 0.0)) {
            gf_logError(fmt::format("stand {} has no valid type and no usable radius", id));
            return false;
        }
        const bool cargo = lf_boolAttr(parkpos, "cargo").value_or(false);
        const bool ramp = lf_boolAttr(parkpos, "ramp").value_or(false);
        if (cargo)
            type = T::RAMP_CARGO;
        else if (ramp)
            type = radiusM < 16.0 ? T::RAMP_GA_SMALL : radiusM < 30.0 ? T::RAMP_GA_MEDIUM : T::RAMP_GA_LARGE;
        else
            type = radiusM < 16.0 ? T::GATE_SMALL : radiusM < 30.0 ? T::GATE_MEDIUM : T::GATE_HEAVY;
        s.cargo = type == T::RAMP_CARGO;
        s.gaRamp = type >= T::RAMP_GA_SMALL && type <= T::RAMP_GA_LARGE;
    }
    if (!std::isfinite(radiusM) || radiusM <= 0.0 || !std::isfinite(headingDeg)) {
        gf_logError(fmt::format("stand {} has invalid radius or heading", id));
        return false;
    }

    int32_t next = 1;
    for (const pugi::xml_node opt : parkpos.children("opt")) {
        const std::string hh = opt.attribute("hh").value();
        const unsigned day = opt.attribute("day").as_uint(0);
        if (hh.empty() || day < 1 || day > 7)
            continue;
        const HalfHourMask slots = gf_parseHalfHours(hh);
        if (slots.none())
            continue;
        StandOption o = gf_readStandOption(opt, slots, day, optionsFromFile);
        o.optionId = next++;
        s.options.push_back(std::move(o));
    }

    double heading = std::fmod(headingDeg * std::numbers::pi / 180.0, kTwoPi);
    if (heading < 0.0)
        heading += kTwoPi;
    if (heading >= kTwoPi)
        heading = 0.0;
    s.name = id;
    s.lat = lat;
    s.lon = lon;
    s.heading = heading;
    s.radius = radiusM * kNmPerMetre;
    s.type = type;
    s.helipad = heli ? 1 : 0;
    stands.push_back(std::move(s));
    return true;
}

std::pair<int32_t, int32_t> gf_computeStandScores(const std::vector<Stand>& stands)
{
    if (std::none_of(stands.begin(), stands.end(), [](const Stand& s) { return !s.options.empty(); }))
        return {-1, -1};
    double weights = 0.0, realTotal = 0.0, softTotal = 0.0;
    for (const Stand& s : stands) {
        if (s.type == StandType::FUEL)
            continue;
        const double w = s.radius <= 7.0 ? 0.3 : s.radius <= 10.0 ? 1.5 : 1.0;
        weights += w;
        for (const int group : {1, 0}) {
            size_t n = 0, slotSum = 0;
            std::set<uint32_t> days;
            HalfHourMask all;
            for (const StandOption& o : s.options) {
                if (o.optionId == 0 || (o.real != 0) != (group == 1))
                    continue;
                ++n;
                if (o.weekday >= 1 && o.weekday <= 7)
                    days.insert(o.weekday);
                all |= o.halfHours;
                slotSum += o.halfHours.count();
            }
            if (n == 0)
                continue;
            const double points = 10000.0 + std::min(20.0 * static_cast<double>(n), 4000.0) +
                                  100.0 * static_cast<double>(days.size()) + 12.5 * static_cast<double>(all.count()) +
                                  std::min(2.0 * static_cast<double>(slotSum), 700.0);
            (group == 1 ? realTotal : softTotal) += w * points;
        }
    }
    if (weights <= 0.0)
        return {0, 0};
    const auto score = [&](double total) {
        return std::clamp(static_cast<int32_t>(std::lround(total / weights * 0.00625)), 0, 100);
    };
    return {score(realTotal), score(softTotal)};
}

std::string gf_qualityFactorText(int32_t real, int32_t soft)
{
    if (real < 1 && soft < 1)
        return "  ";
    if (real < 35)
        return fmt::format("{:2}/{:2}", real, soft);
    return fmt::format("{:2}", real);
}
