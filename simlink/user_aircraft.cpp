#include "simlink/user_aircraft.h"

#include <cmath>
#include <limits>
#include <mutex>

#include <fmt/format.h>

#include "core/clock.h"
#include "core/geodesy.h"
#include "core/gui_senders.h"
#include "core/log.h"
#include "core/shared_snapshot.h"
#include "core/stop_request.h"
#include "simlink/sim_event.h"
#include "simlink/stand_positions.h"
#include "simlink/sim_link_state.h"
#include "simlink/sim_packet.h"
#include "simlink/user_model.h"

SimulatorUtcTime simulatorUtcTime;
std::atomic<uint32_t> g_userObjectId{2};
std::atomic<int8_t> g_userOnGroundState{-1};
std::atomic<bool> userOnGround{false};
std::atomic<uint8_t> g_userGroundDataArrived{0};
std::atomic<double> g_userAcRadius{std::numeric_limits<double>::quiet_NaN()};

namespace {

std::mutex g_snapshotMutex;
UserAcPosition g_snapshot;

// SimClient thread only.
LatLon g_previousPosition;
std::atomic<bool> g_zuluMessageGiven{false};
std::atomic<bool> g_groundDataLogged{false};
std::atomic<bool> g_notANumberLogged{false};

constexpr uint32_t kRequestStaticCgAndPitch = 102;
constexpr uint32_t kRequestUserTitle = 105;
constexpr uint32_t kRequestUserModel = 106;
constexpr uint32_t kRequestUserOnGround = 107;
constexpr uint32_t kRequestUserPosition = 108;

bool lf_isKnownPosition(double lat, double lon)
{
    return std::fabs(lat) > 0.0001 || std::fabs(lon) > 0.0001;
}

int64_t lf_floorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

void lf_updateSimulatorTime(const UserAcPosition& pos)
{
    if (!gf_trafficClockInputs().professionalLevel.load()) {
        simulatorUtcTime.valid.store(false);
        return;
    }
    if (auto epoch = gf_zuluToEpoch(pos.zuluYear, pos.zuluDayOfYear, pos.zuluTime)) {
        simulatorUtcTime.seconds.store(*epoch);
        simulatorUtcTime.valid.store(true);
        g_zuluMessageGiven.store(false);
        return;
    }
    simulatorUtcTime.valid.store(false);
    if (!g_zuluMessageGiven.exchange(true))
        gf_logError(fmt::format("Invalid simulator Zulu time: year={}, day-of-year={}, seconds={}", pos.zuluYear,
                                pos.zuluDayOfYear, pos.zuluTime));
}

// A value that is not a number keeps the one received before it; the first
// such report is logged.
void lf_keepFiniteValues(UserAcPosition& pos, const UserAcPosition& before)
{
    bool refused = false;
    const auto keep = [&refused](double& value, double previous) {
        if (!std::isfinite(value)) {
            value = previous;
            refused = true;
        }
    };
    keep(pos.latitude, before.latitude);
    keep(pos.longitude, before.longitude);
    keep(pos.pitch, before.pitch);
    keep(pos.bank, before.bank);
    keep(pos.verticalSpeed, before.verticalSpeed);
    keep(pos.trueHeading, before.trueHeading);
    keep(pos.altitude, before.altitude);
    keep(pos.indicatedAltitude, before.indicatedAltitude);
    keep(pos.altitudeAboveGround, before.altitudeAboveGround);
    keep(pos.groundSpeed, before.groundSpeed);
    keep(pos.gpsGroundTrueTrack, before.gpsGroundTrueTrack);
    if (refused && !g_notANumberLogged.exchange(true))
        gf_logError("User aircraft values from the simulator that are not numbers are ignored; "
                    "the values received before them are kept");
}

void lf_onUserPosition(const void* packet, uint32_t objectId)
{
    UserAcPosition pos;
    std::memcpy(&pos, static_cast<const unsigned char*>(packet) + kDataHeaderSize, sizeof pos);
    lf_keepFiniteValues(pos, gf_getUserAcPosition());
    if (pos.altitude < 0.0)
        pos.altitude = 0.0;
    {
        std::lock_guard lock(g_snapshotMutex);
        g_snapshot = pos;
    }
    const LatLon now{pos.latitude, pos.longitude};
    if (lf_isKnownPosition(g_previousPosition.latitude, g_previousPosition.longitude) &&
        lf_isKnownPosition(now.latitude, now.longitude) && gf_distanceNm(g_previousPosition, now) > 10.0) {
        gf_logLine("Teleport");
        gf_requestRestartAfterFlightChange();
    }
    g_previousPosition = now;

    if (userOnGround.load())
        gf_setUserStand(gf_findStandAtPosition(now));
    else
        gf_setUserStand(std::string());

    lf_updateSimulatorTime(pos);
    g_userObjectId.store(objectId);
}

void lf_onUserOnGround(const void* packet)
{
    const bool onGround = lf_readAt<int64_t>(packet, kDataHeaderSize) != 0;
    const UserAcPosition pos = gf_getUserAcPosition();
    if (!lf_isKnownPosition(pos.latitude, pos.longitude)) {
        g_userGroundDataArrived.store(1);
        return;
    }
    if (!g_groundDataLogged.exchange(true))
        gf_logLine(fmt::format("User ground data: SIM ON GROUND={}, AGL={:.0f} ft, altitude={:.0f} ft, "
                               "groundspeed={:.0f} kt, position={:.6f},{:.6f}",
                               onGround, pos.altitudeAboveGround, pos.altitude, pos.groundSpeed, pos.latitude,
                               pos.longitude));
    g_userOnGroundState.store(onGround ? 1 : 0);
    userOnGround.store(onGround);
    g_userGroundDataArrived.store(1);
}

void lf_onStaticCgAndPitch(const void* packet)
{
    SimEvent e;
    e.objectId = lf_readAt<uint32_t>(packet, kDataObjectIdOffset);
    e.kind = SimEventKind::StaticCgAndPitch;
    e.value1 = lf_readAt<double>(packet, kDataHeaderSize);
    e.value2 = lf_readAt<double>(packet, kDataHeaderSize + 8);
    gf_pushSimEvent(e);
}

std::mutex engineCopyMutex;
UserAcPosition engineCopy;
SharedSnapshot<const UserAcPosition> published{std::make_shared<const UserAcPosition>()};

} // namespace

UserAcPosition gf_getUserAcPosition()
{
    std::lock_guard lock(g_snapshotMutex);
    return g_snapshot;
}

std::optional<int64_t> gf_zuluToEpoch(int64_t year, int64_t dayOfYear, int64_t seconds) noexcept
{
    if (year < -32767 || year > 32767)
        return std::nullopt;
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    const int64_t daysInYear = leap ? 366 : 365;
    if (dayOfYear < 1 || dayOfYear > daysInYear || static_cast<uint64_t>(seconds) >= 86400u)
        return std::nullopt;
    const int64_t y = year - 1;
    const int64_t days =
        y * 365 + lf_floorDiv(y, 4) - lf_floorDiv(y, 100) + lf_floorDiv(y, 400) + dayOfYear - 719163;
    return days * 86400 + seconds;
}

void lf_onSimObjectData(const void* packet, uint32_t cbData)
{
    if (!gf_checkPacketKind(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, cbData))
        return;
    switch (lf_readAt<uint32_t>(packet, kDataRequestIdOffset)) {
    case kRequestStaticCgAndPitch:
        if (gf_checkSimObjectData(kRequestStaticCgAndPitch, cbData))
            lf_onStaticCgAndPitch(packet);
        break;
    case kRequestUserTitle:
        lf_onUserAcTitle(packet, cbData);
        break;
    case kRequestUserModel:
        lf_onUserAcModel(packet, cbData);
        break;
    case kRequestUserOnGround:
        if (gf_checkSimObjectData(kRequestUserOnGround, cbData))
            lf_onUserOnGround(packet);
        break;
    case kRequestUserPosition:
        if (gf_checkSimObjectData(kRequestUserPosition, cbData))
            lf_onUserPosition(packet, lf_readAt<uint32_t>(packet, kDataObjectIdOffset));
        break;
    default:
        break;
    }
}

void gf_resetUserAircraftState()
{
    {
        std::lock_guard lock(g_snapshotMutex);
        g_snapshot = UserAcPosition{};
    }
    g_previousPosition = LatLon{};
    g_userObjectId.store(2);
    simulatorUtcTime.seconds.store(0);
    simulatorUtcTime.valid.store(false);
    g_zuluMessageGiven.store(false);
    g_userOnGroundState.store(-1);
    userOnGround.store(false);
    g_userGroundDataArrived.store(0);
    g_groundDataLogged.store(false);
    g_notANumberLogged.store(false);
    g_userAcRadius.store(std::numeric_limits<double>::quiet_NaN());
}

void gf_publishUserAcPosition(const UserAcPosition& position)
{
    {
        std::lock_guard lock(engineCopyMutex);
        engineCopy = position;
    }
    published.store(std::make_shared<const UserAcPosition>(position));
}

UserAcPosition gf_engineUserAcPosition()
{
    std::lock_guard lock(engineCopyMutex);
    return engineCopy;
}

std::shared_ptr<const UserAcPosition> gf_publishedUserAcPosition()
{
    return published.load();
}

bool lf_userIsAirborne()
{
    constexpr double kLowUserAglFt = 500.0;
    if (!userOnGround.load())
        return true;
    const double agl = gf_getUserAcPosition().altitudeAboveGround;
    return std::isfinite(agl) && agl > kLowUserAglFt;
}
