#include "engine/traffic_aircraft.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include "core/clock.h"
#include "core/settings_snapshot.h"
#include "core/units.h"
#include "engine/aircraft.h"
#include "liveries/category.h"
#include "feed/traffic_records.h"

namespace {

struct CategoryAngles {
    double rotationPitchDeg; // B
    double climbPitchDeg;    // C
    double baseTurnRateDeg;  // D
};

const std::unordered_map<uint32_t, double>& lf_defaultCgTable()
{
    static const std::unordered_map<uint32_t, double> table{
        {0, 3.0}, {1, 5.0}, {2, 5.0}, {3, 8.0}, {4, 12.0}, {5, 4.0}, {6, 4.0},
    };
    return table;
}

const std::unordered_map<uint32_t, CategoryAngles>& lf_angleTable()
{
    static const std::unordered_map<uint32_t, CategoryAngles> table{
        {0, {-9.0, -15.0, 0.15}}, {1, {-8.5, -17.0, 0.10}}, {2, {-8.0, -18.0, 0.09}}, {3, {-6.0, -16.5, 0.07}},
        {4, {-5.0, -12.5, 0.05}}, {5, {-6.0, -20.0, 0.10}}, {6, {-20.0, -30.0, 0.20}},
    };
    return table;
}

const std::unordered_map<uint32_t, std::array<uint32_t, 4>>& lf_modelValueTable()
{
    static const std::unordered_map<uint32_t, std::array<uint32_t, 4>> table{
        {0, {250, 250, 100, 150}}, {1, {275, 275, 150, 200}}, {2, {300, 300, 200, 250}}, {3, {400, 350, 200, 300}},
        {4, {450, 450, 250, 400}}, {5, {150, 150, 100, 200}}, {6, {100, 100, 100, 100}},
    };
    return table;
}

using TypeList = std::unordered_set<std::string_view>;

const TypeList& lf_regionalTypes()
{
    static const TypeList types{
        "AN24", "AT43", "AT44", "AT45", "AT46", "AT72", "AT73", "AT75", "AT76", "B190", "CRJ1", "CRJ2",
        "CRJ7", "CRJ9", "CRJX", "D328", "DH8A", "DH8B", "DH8C", "DH8D", "DHC6", "DHC7", "E110", "E120",
        "E135", "E145", "E170", "E190", "E195", "E290", "E295", "E35L", "E75L", "E75S", "F100", "F28",
        "F50",  "F70",  "J328", "JS41", "RJ70", "RJ85", "SB20", "SF34", "SH36", "SU95",
    };
    return types;
}

const TypeList& lf_pistonTwinTypes()
{
    static const TypeList types{
        "B58T", "BE55", "BE58", "BE76", "C310", "C337", "C340", "DA42", "DA62", "G21",  "G44",
        "GA7",  "L200", "P06T", "P337", "P68",  "PA23", "PA27", "PA30", "PA31", "PA34", "PA44",
    };
    return types;
}

const TypeList& lf_pistonSingleTypes()
{
    static const TypeList types{
        "A210", "A5",   "AA1",  "AA5",  "AAT3", "AFOX", "ALGR", "AP22", "AP32", "ARCP", "AS02", "AS16", "ASTO",
        "BE23", "BE24", "BE33", "BE35", "BE36", "BEAR", "BL8",  "BR23", "BREZ", "BT36", "BTB2", "C140", "C150",
        "C152", "C162", "C170", "C172", "C175", "C177", "C180", "C182", "C185", "C206", "C207", "C210", "C42",
        "C72R", "C77R", "C82R", "C82S", "C82T", "CC11", "CC19", "CTAH", "D140", "D28D", "D7",   "DA2",  "DA40",
        "DA50", "DIMO", "DO27", "DR22", "DR40", "DV1",  "DV20", "ECHO", "EFOX", "ELPS", "ERCO", "EUPA", "EV97",
        "EVOT", "EVSS", "EXNG", "F8L",  "FDCT", "FDF2", "FK14", "FK9",  "FM25", "FOX",  "G115", "G120", "G200",
        "G70",  "GA8",  "GB1",  "GLAS", "GX",   "HROC", "HUSK", "IMPU", "J3",   "JAB4", "JABI", "JAS4", "KP2",
        "KP5",  "KR30", "M108", "M18",  "M200", "M20P", "M20T", "M5",   "M7",   "MCR1", "MCR4", "MJ5",  "MP02",
        "NG4",  "NG5",  "P149", "P208", "P210", "P28A", "P28B", "P28R", "P28S", "P28T", "P28U", "P32R", "PA18",
        "PA22", "PA24", "PA25", "PA32", "PA38", "PA46", "PARA", "PETR", "PIAT", "PIPA", "PISI", "PIVI", "PL2",
        "PNR2", "PNR3", "PRIM", "PTS2", "R200", "RALL", "RBEL", "RF5",  "RF6",  "RISN", "RS21", "RV10", "RV12",
        "RV14", "RV4",  "RV6",  "RV7",  "RV8",  "RV9",  "S108", "S22T", "SAVG", "SE1",  "SF25", "SHRK", "SIRA",
        "SKAR", "SKRA", "SLG2", "SLG4", "SLH4", "SNGY", "SONX", "SR20", "SR22", "SSTL", "STCH", "STOR", "SUBA",
        "SVNH", "T206", "T210", "T34P", "TAGO", "TAIL", "TAMP", "TB20", "TB21", "TEX2", "TEXA", "TL20", "TL30",
        "TOBA", "TRAL", "TRF1", "TRIN", "TRIS", "TUCA", "TUCR", "U15",  "ULAC", "VENT", "VEZE", "VL3",  "VR7",
        "VTRA", "WACO", "WFOC", "WT9",  "XA41", "XL2",  "Z42",  "Z43",  "ZEPH",
    };
    return types;
}

// Model ids from here on have no entry in the table of half wingspans.
constexpr ModelId kFirstModelWithoutWingspan = 2700;

// Half the wingspan in metres of a typical aircraft of each category, for
// models that the wingspan table cannot hold.
const std::unordered_map<uint32_t, double>& lf_defaultRadiusTable()
{
    static const std::unordered_map<uint32_t, double> table{
        {0, 5.5}, {1, 6.5}, {2, 8.0}, {3, 17.5}, {4, 30.0}, {5, 5.5}, {6, 6.0},
    };
    return table;
}

// Half the wingspan in NM, 0 when the model database has none. Model ids of
// 2700 and above have no place in the wingspan table: they take the default
// of their category, so that they neither fit every stand nor lose their
// collision radius.
double lf_modelRadiusNm(ModelId model, Category category)
{
    if (model >= kFirstModelWithoutWingspan)
        return gf_perCategory(lf_defaultRadiusTable(), category) * kNmPerMetre;
    const double r = gf_wingspanOfModel(model);
    return std::isfinite(r) && r > 0.0 ? r : 0.0;
}

} // namespace

AircraftBase AircraftBase::fromTrafficRecord(const TrafficIdentity& head)
{
    AircraftBase a;
    a.identity.category = Category::Large;

    a.identity.ids = head.ids;
    a.identity.origin = head.origin;
    a.identity.destination = head.destination;
    a.identity.callsign = head.callsign;
    a.identity.callsign2 = head.text1;
    a.identity.callsign3 = head.text2;
    a.identity.registration = head.registration;

    const std::string code = gf_modelCodeText(head.ids.model);
    const ModelId mapped = gf_modelCode2Id(code);
    a.identity.category = gf_modelCategory(mapped);
    const std::string mappedCode = gf_modelCodeText(mapped);

    a.identity.radius = lf_modelRadiusNm(head.ids.model, a.identity.category);
    a.identity.collisionRadius = a.identity.radius;

    a.identity.cgDefaultFt = gf_perCategory(lf_defaultCgTable(), a.identity.category);

    const auto category = a.identity.category;
    a.identity.jet = category == Category::Bizjet || category == Category::Large || category == Category::Heavy;
    a.identity.regional = category == Category::Large && lf_regionalTypes().contains(mappedCode);
    a.identity.pistonTwin = category == Category::TwoProps && lf_pistonTwinTypes().contains(mappedCode);
    a.identity.pistonSingle = category == Category::Light && lf_pistonSingleTypes().contains(mappedCode);

    a.identity.modelValues = gf_perCategory(lf_modelValueTable(), a.identity.category);

    const CategoryAngles& angles = gf_perCategory(lf_angleTable(), a.identity.category);
    a.identity.rotationPitch = gf_randomPercentJitter(angles.rotationPitchDeg, 2.5) * kDegToRad;
    a.identity.climbPitch = gf_randomPercentJitter(angles.climbPitchDeg, 5.0) * kDegToRad;
    a.identity.baseTurnRate = angles.baseTurnRateDeg * kDegToRad;

    const double searchM = std::clamp(a.identity.radius / kNmPerMetre * 1.8 + 12.0, 18.0, 65.0);
    a.identity.standSearchNm = searchM * kNmPerMetre;
    a.identity.optionSearchNm = 1.25 * a.identity.standSearchNm;
    return a;
}

std::string lf_formatRouteArg(const IataCode& origin, const IataCode& destination)
{
    if (!origin.isSet() && !destination.isSet())
        return std::string(8, ' ');
    return fmt::format("{:3}->{:3}", origin, destination);
}

std::string lf_formatAcIdentity(const AircraftBase& aircraft)
{
    return fmt::format("{:8} {:12} {} {}", aircraft.identity.callsign, aircraft.identity.registration,
                       lf_formatRouteArg(aircraft.identity.origin, aircraft.identity.destination), lf_formatAirlOprModelArg(aircraft.identity.ids));
}

std::string lf_noMatchText(const AircraftBase& aircraft)
{
    return lf_formatAirlOprModelText(aircraft.identity.ids) + " " + aircraft.identity.registration;
}

double pitchFromVs(const TrafficSample& sample, Category category)
{
    const double vs = std::isfinite(sample.verticalSpeedFpm) ? sample.verticalSpeedFpm : 0.0;
    double lo = -3000.0, hi = 2400.0, base = -3.0, up = 2.2, down = 1.1;
    if (category == Category::HighPerf) {
        lo = -3600.0, hi = 3600.0, base = -2.5, up = 2.6, down = 1.3;
    } else if (category == Category::Rotorcraft) {
        lo = -1800.0, hi = 1800.0, base = 0.0, up = 1.5, down = 0.75;
    }
    const double clamped = std::clamp(vs, lo, hi);
    return (base - clamped / 600.0 * (vs >= 0.0 ? up : down)) * std::numbers::pi / 180.0;
}

bool gf_inboundToCurrentAirport(const AircraftBase& ac)
{
    const IataCode current = lf_currentAirportIata();
    return current.isSet() && ac.identity.destination == current && !(ac.identity.origin == current);
}

IataCode lf_currentAirportIata()
{
    std::shared_lock lock(engineLock);
    return CurrentAirport.code != 0 ? CurrentAirport.iata : IataCode{};
}
