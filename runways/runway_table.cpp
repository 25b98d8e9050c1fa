// The runway table of the current airport: the load from the facility data,
// the checks of each runway and the ignore list.
#include "runways/runway_table.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <numbers>
#include <shared_mutex>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "airports/airport_database.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/units.h"
#include "simlink/facility_reader.h"

RunwayTable runwayTable;

namespace {

constexpr double kMaxAirportAltitudeDifferenceFt = 100.0;
constexpr double kMaxStartAltitudeDifferenceFt = 50.0;
constexpr double kMaxBearingDifferenceDeg = 0.1;
constexpr double kMaxCentreDistanceNm = 10.0;

// Runways the simulator still has but that are closed for good.
struct IgnoredRunway {
    std::string_view source;
    std::string_view icao;
    uint32_t primaryNumber;
    uint32_t secondaryNumber;
    std::string_view reason;
};
constexpr IgnoredRunway kIgnoredRunways[] = {
    {"stock", "CYUL", 10, 28, "permanently converted to Taxiway C"},
    {"stock", "CYYC", 8, 26, "permanently converted to Taxiway L"},
};

bool lf_nearZero(double latitude, double longitude)
{
    return std::fabs(latitude) < 0.0001 && std::fabs(longitude) < 0.0001;
}

void lf_logRunwayProblem(std::string_view icao, std::string_view runwayText, std::string_view reason)
{
    gf_logError(fmt::format("RUNWAY_HEADING: {} runway {}: {}", icao, runwayText, reason));
}

std::optional<double> lf_startAltitude(const RunwayStart& start)
{
    return start.present ? std::optional<double>(start.altitude) : std::nullopt;
}

} // namespace

std::string gf_primaryEndText(const RunwayRecord& runway)
{
    return gf_runwayIdText(runway.primaryNumber, static_cast<int32_t>(runway.primaryDesignator));
}

std::string gf_secondaryEndText(const RunwayRecord& runway)
{
    return gf_runwayIdText(runway.secondaryNumber, static_cast<int32_t>(runway.secondaryDesignator));
}

std::string gf_runwayText(const RunwayRecord& runway)
{
    return fmt::format("{}-{}", gf_primaryEndText(runway), gf_secondaryEndText(runway));
}

PickedAltitude gf_pickAltitude(double reference, std::optional<double> a, std::optional<double> b)
{
    const bool aUsable = a && std::isfinite(*a);
    if (!std::isfinite(reference))
        return {aUsable ? *a : reference, false};
    if (!aUsable)
        return {reference, false};
    const double da = *a - reference;
    if (std::fabs(da) <= kMaxStartAltitudeDifferenceFt)
        return {*a, false};
    if (b && std::isfinite(*b)) {
        const double db = *b - reference;
        if (std::fabs(db) > kMaxStartAltitudeDifferenceFt && ((da > 0.0 && db < 0.0) || (da < 0.0 && db > 0.0)))
            return {*a, false}; // a sloped runway
    }
    return {reference, true};
}

void lf_checkRunwayStartAltitude(const RunwayCheckContext& context, bool primary)
{
    const RunwayRecord& r = context.runway;
    const RunwayStart& own = primary ? r.primaryStart : r.secondaryStart;
    const RunwayStart& other = primary ? r.secondaryStart : r.primaryStart;
    const PickedAltitude picked = gf_pickAltitude(r.altitude, lf_startAltitude(own), lf_startAltitude(other));
    if (picked.corrected && own.present)
        lf_logRunwayProblem(context.icao, context.runwayText,
                            fmt::format("{} START altitude {:.1f} ft differs from runway center {:.1f} ft; using "
                                        "runway center altitude",
                                        primary ? "primary" : "secondary", own.altitude, r.altitude));
}

void lf_validateRunway(std::string_view icao, const LatLon& reference, const RunwayRecord& runway,
                       std::set<std::string>& texts)
{
    const std::string text = gf_runwayText(runway);
    auto problem = [&](std::string_view reason) { lf_logRunwayProblem(icao, text, reason); };

    if (!texts.insert(text).second)
        problem("duplicate runway designation");

    const LatLon centre{runway.latitude, runway.longitude};
    const LatLon primaryEnd{runway.primaryLatitude, runway.primaryLongitude};
    const LatLon secondaryEnd{runway.secondaryLatitude, runway.secondaryLongitude};
    double bearing = std::numeric_limits<double>::quiet_NaN();
    double distance = std::numeric_limits<double>::quiet_NaN();
    if (gf_isValidLatLon(centre) && gf_isValidLatLon(primaryEnd) && gf_isValidLatLon(secondaryEnd)) {
        bearing = gf_initialBearing(primaryEnd, secondaryEnd) * kRadToDeg;
        distance = gf_distanceNm(primaryEnd, secondaryEnd) * kMetresPerNm;
    } else {
        problem("invalid center or endpoint coordinates");
    }

    const double heading = runway.heading;
    if (!std::isfinite(heading) || heading < 0.0 || heading >= 360.0)
        problem("invalid facility heading");
    if (!std::isfinite(runway.length) || runway.length <= 0.0 || runway.length > 10000.0)
        problem("implausible runway length");
    if (!std::isfinite(runway.width) || runway.width <= 0.0 || runway.width > 500.0)
        problem("implausible runway width");
    if (!std::isfinite(runway.altitude))
        problem("invalid runway altitude");

    const uint32_t p = runway.primaryNumber;
    const uint32_t s = runway.secondaryNumber;
    if (p >= 1 && p <= 36 && s >= 1 && s <= 36 && s != ((p + 17) % 36) + 1)
        problem("runway numbers are not reciprocal");

    // 0 none, 1 L, 2 R, 3 C, 4 W; A and B are not paired.
    const uint32_t pd = runway.primaryDesignator;
    const uint32_t sd = runway.secondaryDesignator;
    bool designatorsMatch = true;
    switch (pd) {
    case 0: designatorsMatch = sd == 0; break;
    case 1: designatorsMatch = sd == 2; break;
    case 2: designatorsMatch = sd == 1; break;
    case 3: designatorsMatch = sd == 3; break;
    case 4: designatorsMatch = sd == 4; break;
    default: break;
    }
    if (!designatorsMatch)
        problem("runway designators are not reciprocal");

    if (!runway.primaryStart.present || !runway.secondaryStart.present)
        problem("one or both runway START records are missing");

    const RunwayCheckContext context{icao, text, runway};
    lf_checkRunwayStartAltitude(context, true);
    lf_checkRunwayStartAltitude(context, false);

    if (std::isfinite(heading) && std::isfinite(bearing)) {
        const double difference = std::remainder((bearing - heading) * kDegToRad, 2.0 * std::numbers::pi);
        if (std::fabs(difference) > kMaxBearingDifferenceDeg * kDegToRad)
            problem("endpoint bearing differs from facility heading");
    }
    if (std::isfinite(runway.length) && std::isfinite(distance) &&
        std::fabs(distance - runway.length) > std::max(0.001 * runway.length, 1.0))
        problem("endpoint distance differs from facility length");

    if (!lf_nearZero(reference.latitude, reference.longitude) && !lf_nearZero(centre.latitude, centre.longitude) &&
        gf_distanceNm(reference, centre) > kMaxCentreDistanceNm)
        problem("center is more than 10 NM from airport reference point");
}

bool lf_logIgnoredRunway(RunwayIgnoreContext& context, const RunwayRecord& runway)
{
    for (const IgnoredRunway& row : kIgnoredRunways) {
        if (row.source != context.source || row.icao != context.icao)
            continue;
        const bool sameWay = runway.primaryNumber == row.primaryNumber && runway.secondaryNumber == row.secondaryNumber;
        const bool reversed =
            runway.primaryNumber == row.secondaryNumber && runway.secondaryNumber == row.primaryNumber;
        if (!(sameWay || reversed) || runway.primaryDesignator != 0 || runway.secondaryDesignator != 0)
            continue;
        const std::string text = gf_runwayText(runway);
        gf_logLine(fmt::format("RUNWAY_HEADING: {} {} runway {} ignored: {}", context.icao, context.source, text,
                               row.reason));
        context.texts.erase(text);
        return true;
    }
    return false;
}

void gf_clearRunwayTable()
{
    runwayTable.runways.clear();
    runwayTable.icao.clear();
    runwayTable.source.clear();
}

void lf_loadRunwayTable(const IcaoCode& airport, std::string_view source)
{
    const std::string icao = airport.toString();
    if (icao == runwayTable.icao && source == runwayTable.source)
        return;
    gf_clearRunwayTable();

    std::optional<FacilityRunways> read = gf_readFacilityRunways(icao);
    if (!read) {
        gf_logError(fmt::format("RUNWAY_HEADING: reading runway facilities for {} failed", icao));
        return;
    }
    runwayTable.icao = icao;
    runwayTable.source = std::string(source);
    runwayTable.runways = std::move(read->runways);

    double fileAltitude = 0.0;
    LatLon reference;
    {
        std::shared_lock lock(engineLock);
        fileAltitude = CurrentAirport.altitude;
        reference = {CurrentAirport.latitude, CurrentAirport.longitude};
    }
    const double difference = read->airportAltitude - fileAltitude;
    if (std::fabs(difference) > kMaxAirportAltitudeDifferenceFt)
        gf_logError(fmt::format("RUNWAY_HEADING: {} airport altitude difference too large: Facilities={:.1f} ft, "
                                "airport file={:.1f} ft, difference={:+.1f} ft",
                                icao, read->airportAltitude, fileAltitude, difference));

    std::set<std::string> texts;
    for (const RunwayRecord& runway : runwayTable.runways)
        lf_validateRunway(icao, reference, runway, texts);

    RunwayIgnoreContext ignore{icao, source, texts};
    std::erase_if(runwayTable.runways, [&](const RunwayRecord& r) { return lf_logIgnoredRunway(ignore, r); });

    const size_t left = runwayTable.runways.size();
    gf_logLine(fmt::format("RUNWAY_HEADING: {} {} {}: {}", icao, left, left == 1 ? "runway" : "runways",
                           fmt::join(texts, ", ")));
}

bool gf_isNearAnyRunway(const LatLon& position)
{
    constexpr double kRunwayNearMarginM = 1500.0;
    if (!gf_isValidLatLon(position))
        return false;
    for (const RunwayRecord& r : runwayTable.runways) {
        const LatLon centre{r.latitude, r.longitude};
        if (!gf_isValidLatLon(centre) || !std::isfinite(r.length) || r.length <= 0.0)
            continue;
        if (r.length * 0.5 + kRunwayNearMarginM >= gf_distanceNm(position, centre) * kMetresPerNm)
            return true;
    }
    return false;
}

bool gf_isBesideAnyRunway(const LatLon& position, double marginM, std::optional<double> headingRad)
{
    if (!gf_isValidLatLon(position))
        return false;
    for (const RunwayRecord& r : runwayTable.runways) {
        const LatLon centre{r.latitude, r.longitude};
        if (!gf_isValidLatLon(centre) || !std::isfinite(r.length) || !std::isfinite(r.width) || !std::isfinite(r.heading))
            continue;
        const FlatOffsetNm o = gf_flatOffsetNm(centre, position, gf_cosLatitude(centre.latitude));
        const double h = r.heading * std::numbers::pi / 180.0;
        if (headingRad && std::fabs(std::remainder(*headingRad - h, std::numbers::pi)) > 20.0 * std::numbers::pi / 180.0)
            continue;
        const double alongM = (o.north * std::cos(h) + o.east * std::sin(h)) * kMetresPerNm;
        const double acrossM = (o.east * std::cos(h) - o.north * std::sin(h)) * kMetresPerNm;
        if (std::fabs(alongM) <= r.length / 2.0 + marginM && std::fabs(acrossM) <= r.width / 2.0 + marginM)
            return true;
    }
    return false;
}
