#include "engine/aircraft.h"

#include <limits>
#include <stdexcept>
#include <unordered_map>

#include "core/clock.h"
#include "feed/traffic_records.h"
#include "stands/stand_table.h"

namespace {

template <typename E>
const std::string& lf_nameOf(const std::unordered_map<uint32_t, std::string>& table, E value)
{
    const auto it = table.find(static_cast<uint32_t>(value));
    if (it == table.end())
        throw std::out_of_range("invalid unordered_map<K, T> key");
    return it->second;
}

} // namespace

const std::string& gf_simStateName(SimState state)
{
    static const std::unordered_map<uint32_t, std::string> names{
        {0, "buffer"}, {1, "adding2sim"}, {2, "active"}, {3, "liveryrespawn"}, {4, "removingfromsim"},
    };
    return lf_nameOf(names, state);
}

const std::string& gf_flightPhaseName(FlightPhase phase)
{
    static const std::unordered_map<uint32_t, std::string> names{
        {0, "pushing_back"}, {1, "pushed_back"}, {2, "taxi"},         {3, "takeoff_roll"},
        {4, "takeoff"},      {5, "flying"},      {6, "landing"},      {7, "landing_roll"},
        {8, "parking"},      {9, "parked"},      {10, "birth"},
    };
    return lf_nameOf(names, phase);
}

TrafficSample gf_sampleFromRecord(const LiveTrafficRecord& r)
{
    TrafficSample s;
    s.lat = r.lat;
    s.lon = r.lon;
    s.altitudeFt = r.altitude;
    s.speedKt = r.groundSpeed;
    s.trackDeg = r.track;
    s.verticalSpeedFpm = r.verticalSpeed;
    s.tasKt = r.tas;
    s.playTime = r.playTime;
    s.airborne = r.airborne;
    s.stationary = r.spare1;
    s.hasTrueHeading = r.hasTrueHeading;
    s.hasRoll = r.bank.has_value() ? 1 : 0;
    s.roll = r.bank.value_or(0.0);
    s.trueHeading = r.trueHeading.value_or(0.0);
    return s;
}

void AircraftBase::copyIdentityAndModel(const AircraftBase& o)
{
    identity = o.identity;
}

LiveAircraft::LiveAircraft(const TrafficSample& first, const AircraftBase& base, double recordTime)
{
    copyIdentityAndModel(base);
    stream.samples.push_back(first);
    stream.lastReport = first;
    stream.lastRecordTime = recordTime;
    stream.samePositionSince = recordTime;
    touchdown.onGroundSlots = static_cast<int32_t>(identity.modelValues[3]);
    sim.createdWeekSlot = gf_weekSlotOfWord(weekdayHalfHourWord.load());
}

void LiveAircraft::setPhase(FlightPhase next)
{
    if (next == FlightPhase::pushing_back || next == FlightPhase::pushed_back || next == FlightPhase::parked)
        phases.leavingStand = 0;
    if (next == phases.phase)
        return;
    if (phases.phase == FlightPhase::landing)
        flight.landing = {};
    if (next == FlightPhase::landing) {
        // A new approach: nothing of an earlier landing carries over.
        flight.landing = {};
        touchdown.flareStage = 0;
        touchdown.calibrationFt = std::numeric_limits<double>::quiet_NaN();
        touchdown.calibrationPitch = 0.0;
        touchdown.calibrationFailed = 0;
        reports.lastSimGroundFt = std::numeric_limits<double>::quiet_NaN();
    }
    // The go-around watch lives from the touch-down through the landing roll.
    if ((phases.phase == FlightPhase::landing || next == FlightPhase::landing) && next != FlightPhase::landing_roll) {
        remembered.goAroundWatch = 0;
        remembered.goAroundAltitudeFt = std::numeric_limits<double>::quiet_NaN();
        remembered.goAroundVsFpm = std::numeric_limits<double>::quiet_NaN();
    }
    phases.phaseBeforePrevious = phases.previousPhase;
    phases.previousPhase = phases.phase;
    phases.phase = next;
    phases.phaseSince = static_cast<uint32_t>(engineClock.load());
}

StaticAircraft::StaticAircraft(const AircraftBase& model, uint32_t key, int32_t id, const StandPose& pose,
                               bool atStandFlag)
{
    copyIdentityAndModel(model);
    sim.isStatic = 1;
    sim.parkedKey = model.identity.hexid;
    identity.hexid = key;
    stand.standLat = pose.lat;
    stand.standLon = pose.lon;
    stand.standHeading = pose.heading;
    stand.standId = id;
    stand.atStand = atStandFlag ? 1 : 0;
    // gf_standNameById answers "sid==?" for a stand the table does not hold.
    stand.gateStand = id >= 1 && gf_standNameById(id).find("GATE") != std::string::npos ? 1 : 0;
}

void lf_clearGroundPath(GroundCurvesAndTurns& ground) noexcept
{
    gf_invalidateGroundCurve(ground.groundCurve);
    gf_clearGroundTurn(ground.groundTurn);
    ground.curveProgress = 0.0;
    ground.turnKind = GroundTurnKind::none;
}
