// The facility records of the stand and runway reads, turned into stands and
// runways, and the checks of a finished runway read.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>
#include <utility>

#include <fmt/format.h>

#include "airports/parking_names.h"
#include "airports/scanned_airport.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/units.h"
#include "simlink/facility_reader.h"
#include "simlink/sim_packet.h"

namespace {


constexpr uint32_t kRecvException = 1;
constexpr uint32_t kRecvFacilityData = 28;
constexpr uint32_t kRecvFacilityDataEnd = 29;
constexpr uint32_t kRequestParking = 2001;
constexpr uint32_t kRequestRunways = 2002;

constexpr size_t kUserRequestId = 12;
constexpr size_t kUniqueRequestId = 16;
constexpr size_t kParentRequestId = 20;
constexpr size_t kRecordType = 24;
constexpr size_t kData = 40;

constexpr int32_t kMaxReservedRunways = 64;

constexpr uint32_t kTypeAirport = 0;
constexpr uint32_t kTypeRunway = 1;
constexpr uint32_t kTypeStart = 2;
constexpr uint32_t kTypeHelipad = 4;
constexpr uint32_t kTypeTaxiParking = 15;
constexpr uint32_t kTypePavement = 23;

LatLon lf_move(const LatLon& from, double bearing, double feet)
{
    return gf_destinationPoint(from, {bearing, feet});
}

void lf_logException(const char* prefix, const void* packet, uint32_t cbData)
{
    if (!gf_checkPacketKind(kRecvException, cbData))
        return;
    gf_logError(fmt::format("{} id={} sendID={} index={}", prefix, lf_readAt<uint32_t>(packet, 12),
                            lf_readAt<uint32_t>(packet, 16), lf_readAt<uint32_t>(packet, 20)));
}

bool lf_validNumberPair(uint32_t primary, uint32_t secondary)
{
    if (primary < 1 || primary > 44 || secondary < 1 || secondary > 44)
        return false;
    if (primary <= 36 && secondary <= 36)
        return secondary == ((primary + 17) % 36) + 1;
    if (primary >= 37 && secondary >= 37)
        return secondary == 37 + ((primary - 33) % 8);
    return false;
}

bool lf_plausibleRunway(const RunwayRecord& r)
{
    if (!gf_isValidLatLon({r.latitude, r.longitude}) ||
        !gf_isValidLatLon({r.primaryLatitude, r.primaryLongitude}) ||
        !gf_isValidLatLon({r.secondaryLatitude, r.secondaryLongitude}))
        return false;
    if (!std::isfinite(r.heading) || r.heading < 0.0 || r.heading >= 360.0)
        return false;
    if (!std::isfinite(r.length) || r.length <= 0.0 || r.length > 10000.0)
        return false;
    if (!std::isfinite(r.width) || r.width <= 0.0 || r.width > 500.0)
        return false;
    if (!std::isfinite(r.altitude))
        return false;
    if (!lf_validNumberPair(r.primaryNumber, r.secondaryNumber))
        return false;
    if (r.primaryDesignator >= 7 || r.secondaryDesignator >= 7)
        return false;
    return r.primaryStart.present && r.secondaryStart.present;
}

} // namespace

// ---- Stands and helipads ----------------------------------------------------

void onRecvFacilityData(StandReadContext& context, const void* packet, uint32_t cbData)
{
    if (lf_readAt<uint32_t>(packet, kUserRequestId) != kRequestParking)
        return;
    const uint32_t type = lf_readAt<uint32_t>(packet, kRecordType);
    if (!gf_facilityRecordMinimum(kRequestParking, type))
        return;
    if (!gf_checkFacilityRecord(kRequestParking, type, cbData)) {
        context.done = context.failed = true;
        return;
    }
    try {
        if (type == kTypeAirport) {
            context.latitude = lf_readAt<double>(packet, kData);
            context.longitude = lf_readAt<double>(packet, kData + 8);
            context.altitudeFt = lf_readAt<double>(packet, kData + 16) * kFeetPerMetre;
            context.name = lf_readFixedString(packet, kData + 24, 32);
            if (!std::isfinite(context.latitude) || !std::isfinite(context.longitude) ||
                !std::isfinite(context.altitudeFt)) {
                // No stand can be placed without the airport's reference point.
                gf_logError(fmt::format("Fac: {} position from the simulator is not a number, stands not read",
                                        context.airportCode));
                context.done = context.failed = true;
                return;
            }
        } else if (type == kTypeHelipad) {
            Stand s;
            s.lat = lf_readAt<double>(packet, kData);
            s.lon = lf_readAt<double>(packet, kData + 8);
            s.heading = lf_readAt<float>(packet, kData + 24) * kDegToRad;
            const double width = lf_readAt<float>(packet, kData + 32);
            const int32_t helipadType = lf_readAt<int32_t>(packet, kData + 40);
            s.radius = (helipadType == 2 ? 0.7 : 0.5) * width * kNmPerMetre;
            s.helipad = 1;
            context.stands.push_back(std::move(s));
        } else {
            const int32_t parkingType = lf_readAt<int32_t>(packet, kData);
            if (parkingType < 1 || parkingType > 15 || parkingType == 13)
                return;
            const int32_t nameIndex = lf_readAt<int32_t>(packet, kData + 8);
            const int32_t suffix = lf_readAt<int32_t>(packet, kData + 12);
            const int32_t number = lf_readAt<int32_t>(packet, kData + 16);
            const float heading = lf_readAt<float>(packet, kData + 24);
            const float radius = lf_readAt<float>(packet, kData + 28);
            const float biasX = lf_readAt<float>(packet, kData + 32);
            const float biasZ = lf_readAt<float>(packet, kData + 36);

            LatLon pos{context.latitude, context.longitude};
            if (biasX != 0.0f)
                pos = lf_move(pos, biasX > 0.0f ? std::numbers::pi / 2 : 3 * std::numbers::pi / 2,
                              std::fabs(biasX) * kFeetPerMetre);
            if (biasZ != 0.0f)
                pos = lf_move(pos, biasZ > 0.0f ? 0.0 : std::numbers::pi, std::fabs(biasZ) * kFeetPerMetre);

            std::string letter;
            if (suffix >= 12 && suffix <= 37)
                letter = std::string(1, static_cast<char>(suffix + 53));
            else if (suffix != 0)
                letter = "?";

            Stand s;
            s.lat = pos.latitude;
            s.lon = pos.longitude;
            s.heading = heading * kDegToRad;
            s.radius = radius * kNmPerMetre;
            s.id = number;
            s.name = fmt::format("{}{}{}", gf_parkingNamePrefix(nameIndex), number, letter);
            s.type = static_cast<StandType>(parkingType);
            s.gaRamp = (parkingType >= 1 && parkingType <= 4) || parkingType == 14;
            s.cargo = parkingType == 5 || parkingType == 6;
            context.stands.push_back(std::move(s));
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{} exception: {}", "onRecvFacilityData", e.what()));
        context.done = context.failed = true;
    } catch (...) {
        context.done = context.failed = true;
    }
}

namespace {

// One packet of a facility read: only what the packet itself claims to hold
// is read; an exception, a record too short for its header or anything
// thrown ends the read as failed, and the end of the read's own request ends
// it as done.
template <typename Context>
void lf_facilityDispatch(SIMCONNECT_RECV* packet, uint32_t cbData, void* context, const char* exceptionText,
                         uint32_t requestId, void (*onData)(Context&, const void*, uint32_t))
{
    if (!packet || !context)
        return;
    cbData = gf_packetSize(packet, cbData);
    if (!lf_checkPayloadSize(cbData, sizeof(SIMCONNECT_RECV), "RECV"))
        return;
    auto& ctx = *static_cast<Context*>(context);
    try {
        switch (lf_readAt<uint32_t>(packet, kPacketIdOffset)) {
        case kRecvException:
            lf_logException(exceptionText, packet, cbData);
            ctx.done = ctx.failed = true;
            break;
        case kRecvFacilityData:
            if (!gf_checkPacketKind(kRecvFacilityData, cbData)) {
                ctx.done = ctx.failed = true;
                break;
            }
            onData(ctx, packet, cbData);
            break;
        case kRecvFacilityDataEnd:
            if (gf_checkPacketKind(kRecvFacilityDataEnd, cbData) && lf_readAt<uint32_t>(packet, 12) == requestId)
                ctx.done = true;
            break;
        default:
            break;
        }
    } catch (...) {
        ctx.done = ctx.failed = true;
    }
}

} // namespace

void lf_onParkingDispatch(SIMCONNECT_RECV* packet, uint32_t cbData, void* context)
{
    lf_facilityDispatch<StandReadContext>(packet, cbData, context, "SimConnect EXCEPTION", kRequestParking,
                                          onRecvFacilityData);
}

int lf_finishStandRead(StandReadContext& context, ScannedAirport& airport)
{
    int helipads = 0;
    for (auto& s : context.stands)
        if (s.helipad)
            s.name = fmt::format("HELIPAD {}", ++helipads);
    airport.icao = IcaoCode(context.airportCode);
    airport.latitude = context.latitude;
    airport.longitude = context.longitude;
    airport.airportName = context.name;
    airport.altitude = static_cast<int32_t>(std::trunc(context.altitudeFt));
    if (context.stands.empty())
        gf_logLine(fmt::format("Fac: {} has no stands", context.airportCode));
    airport.stands = std::move(context.stands);
    return helipads;
}

// ---- Runways ----------------------------------------------------------------

std::string gf_runwayIdText(uint32_t number, int32_t designator)
{
    static constexpr const char* kCompass[] = {"N", "NE", "E", "SE", "S", "SW", "W", "NW"};
    static constexpr const char* kDesignators[] = {"", "L", "R", "C", "W", "A", "B"};
    std::string text;
    if (number >= 1 && number <= 36)
        text = fmt::format("{:02}", number);
    else if (number >= 37 && number <= 44)
        text = kCompass[number - 37];
    else
        text = fmt::format("#{}", number);
    if (designator >= 0 && designator <= 6)
        text += kDesignators[designator];
    else
        text += fmt::format("({})", designator);
    return text;
}

void lf_onRecvRunwayData(RunwayReadContext& context, const void* packet, uint32_t cbData)
{
    if (lf_readAt<uint32_t>(packet, kUserRequestId) != kRequestRunways)
        return;
    const uint32_t type = lf_readAt<uint32_t>(packet, kRecordType);
    if (!gf_facilityRecordMinimum(kRequestRunways, type))
        return;
    if (!gf_checkFacilityRecord(kRequestRunways, type, cbData)) {
        context.done = context.failed = true;
        return;
    }
    try {
        switch (type) {
        case kTypeAirport:
            context.altitudeFt = lf_readAt<double>(packet, kData) * kFeetPerMetre;
            context.advertisedRunways = lf_readAt<int32_t>(packet, kData + 8);
            context.advertisedStarts = lf_readAt<int32_t>(packet, kData + 12);
            // The count is only what the packet claims: room is reserved up
            // to a plausible airport, the vector grows beyond as records come.
            if (context.advertisedRunways > kMaxReservedRunways)
                gf_logError(fmt::format("RUNWAY_HEADING: advertised runway count {} not reserved",
                                        context.advertisedRunways));
            if (context.advertisedRunways >= 1)
                context.runways.reserve(
                    static_cast<size_t>(std::min(context.advertisedRunways, kMaxReservedRunways)));
            break;
        case kTypeRunway: {
            RunwayRecord r;
            r.latitude = lf_readAt<double>(packet, kData);
            r.longitude = lf_readAt<double>(packet, kData + 8);
            r.altitude = lf_readAt<double>(packet, kData + 16) * kFeetPerMetre;
            r.heading = lf_readAt<float>(packet, kData + 24);
            r.length = lf_readAt<float>(packet, kData + 28);
            r.width = lf_readAt<float>(packet, kData + 32);
            r.primaryNumber = static_cast<uint32_t>(lf_readAt<int32_t>(packet, kData + 36));
            r.primaryDesignator = static_cast<uint32_t>(lf_readAt<int32_t>(packet, kData + 40));
            r.secondaryNumber = static_cast<uint32_t>(lf_readAt<int32_t>(packet, kData + 44));
            r.secondaryDesignator = static_cast<uint32_t>(lf_readAt<int32_t>(packet, kData + 48));
            const double halfFt = r.length * 0.5 * kFeetPerMetre;
            const double bearing = r.heading * kDegToRad;
            const LatLon centre{r.latitude, r.longitude};
            const LatLon primary = lf_move(centre, bearing + std::numbers::pi, halfFt);
            const LatLon secondary = lf_move(centre, bearing, halfFt);
            r.primaryLatitude = primary.latitude;
            r.primaryLongitude = primary.longitude;
            r.secondaryLatitude = secondary.latitude;
            r.secondaryLongitude = secondary.longitude;
            context.runwayIndexByRequest[lf_readAt<uint32_t>(packet, kUniqueRequestId)] = context.runways.size();
            context.runways.push_back(r);
            break;
        }
        case kTypePavement: {
            const auto parent = context.runwayIndexByRequest.find(lf_readAt<uint32_t>(packet, kParentRequestId));
            if (parent == context.runwayIndexByRequest.end())
                break;
            const int n = ++context.thresholdCount[parent->first];
            RunwayRecord& r = context.runways[parent->second];
            RunwayThreshold t{lf_readAt<float>(packet, kData), lf_readAt<float>(packet, kData + 4),
                              lf_readAt<int32_t>(packet, kData + 8) != 0};
            if (n == 1)
                r.primaryThreshold = t;
            else if (n == 2)
                r.secondaryThreshold = t;
            break;
        }
        case kTypeStart: {
            RunwayStartEntry s;
            s.start.latitude = lf_readAt<double>(packet, kData);
            s.start.longitude = lf_readAt<double>(packet, kData + 8);
            s.start.altitude = lf_readAt<double>(packet, kData + 16) * kFeetPerMetre;
            s.start.heading = lf_readAt<float>(packet, kData + 24);
            s.number = lf_readAt<int32_t>(packet, kData + 28);
            s.designator = lf_readAt<int32_t>(packet, kData + 32);
            s.start.type = static_cast<uint32_t>(lf_readAt<int32_t>(packet, kData + 36));
            s.start.present = true;
            context.starts.push_back(s);
            break;
        }
        default:
            break;
        }
    } catch (...) {
        context.done = context.failed = true;
    }
}

void lf_onRunwayDispatch(SIMCONNECT_RECV* packet, uint32_t cbData, void* context)
{
    lf_facilityDispatch<RunwayReadContext>(packet, cbData, context, "RUNWAY_HEADING: SimConnect exception",
                                           kRequestRunways, lf_onRecvRunwayData);
}

std::optional<FacilityRunways> lf_finishRunwayRead(std::string_view icao, RunwayReadContext& context)
{
    for (const auto& s : context.starts) {
        if (s.start.type != 1)
            continue;
        const auto number = static_cast<uint32_t>(s.number);
        const auto designator = static_cast<uint32_t>(s.designator);
        for (auto& r : context.runways) {
            if (r.primaryNumber == number && r.primaryDesignator == designator) {
                r.primaryStart = s.start;
                break;
            }
            if (r.secondaryNumber == number && r.secondaryDesignator == designator) {
                r.secondaryStart = s.start;
                break;
            }
        }
    }
    if (!std::isfinite(context.altitudeFt)) {
        gf_logError(fmt::format("RUNWAY_HEADING: {} invalid Facilities airport altitude; correction disabled", icao));
        return std::nullopt;
    }
    const auto returned = static_cast<int64_t>(context.runways.size());
    if (context.advertisedRunways < 1 || context.advertisedRunways != returned) {
        gf_logError(fmt::format("RUNWAY_HEADING: {} incomplete runway data: advertised {}, returned {}; correction "
                                "disabled",
                                icao, context.advertisedRunways, returned));
        return std::nullopt;
    }
    const auto startsReturned = static_cast<int64_t>(context.starts.size());
    if (context.advertisedStarts < 0 || context.advertisedStarts != startsReturned) {
        gf_logError(fmt::format("RUNWAY_HEADING: {} incomplete START data: advertised {}, returned {}; correction "
                                "disabled",
                                icao, context.advertisedStarts, startsReturned));
        return std::nullopt;
    }
    std::set<std::pair<uint32_t, uint32_t>> ends;
    for (const auto& r : context.runways) {
        bool ok = lf_plausibleRunway(r) && ends.insert({r.primaryNumber, r.primaryDesignator}).second &&
                  ends.insert({r.secondaryNumber, r.secondaryDesignator}).second;
        if (!ok) {
            gf_logError(fmt::format("RUNWAY_HEADING: {} invalid or duplicate runway {}-{}; correction disabled", icao,
                                    gf_runwayIdText(r.primaryNumber, static_cast<int32_t>(r.primaryDesignator)),
                                    gf_runwayIdText(r.secondaryNumber,
                                                    static_cast<int32_t>(r.secondaryDesignator))));
            return std::nullopt;
        }
    }
    return FacilityRunways{context.altitudeFt, std::move(context.runways)};
}
