#include "engine/traffic_state.h"

#include <algorithm>
#include <exception>
#include <stdexcept>

#include <fmt/format.h>

#include "core/clock.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/units.h"
#include "stands/stand_table.h"
#include "stands/stand_uses.h"

// ---- AircraftStore ----

LiveAircraft* AircraftStore::findLive(uint32_t hexid)
{
    const auto it = m_liveByHexid.find(hexid);
    return it == m_liveByHexid.end() ? nullptr : &m_live[it->second];
}

LiveAircraft* AircraftStore::findLiveByObjectId(uint32_t objectId)
{
    if (objectId == 0)
        return nullptr;
    const auto it = m_liveHexidByObject.find(objectId);
    if (it == m_liveHexidByObject.end())
        return nullptr;
    LiveAircraft* ac = findLive(it->second);
    return ac && ac->sim.objectId == objectId ? ac : nullptr;
}

StaticAircraft* AircraftStore::findStatic(uint32_t key)
{
    const auto it = m_staticByKey.find(key);
    return it == m_staticByKey.end() ? nullptr : &m_statics[it->second];
}

StaticAircraft* AircraftStore::findStaticByObjectId(uint32_t objectId)
{
    if (objectId == 0)
        return nullptr;
    const auto it = m_staticKeyByObject.find(objectId);
    if (it == m_staticKeyByObject.end())
        return nullptr;
    StaticAircraft* ac = findStatic(it->second);
    return ac && ac->sim.objectId == objectId ? ac : nullptr;
}

LiveAircraft& AircraftStore::addLive(LiveAircraft&& aircraft)
{
    aircraft.sim.isStatic = 0;
    if (m_liveByHexid.contains(aircraft.identity.hexid))
        throw std::logic_error(fmt::format("live hexid {:x} already held", aircraft.identity.hexid));
    m_live.push_back(std::move(aircraft));
    LiveAircraft& ac = m_live.back();
    m_liveByHexid.emplace(ac.identity.hexid, m_live.size() - 1);
    if (ac.sim.objectId != 0)
        m_liveHexidByObject[ac.sim.objectId] = ac.identity.hexid;
    takeStand(ac);
    return ac;
}

StaticAircraft& AircraftStore::addStatic(StaticAircraft&& aircraft)
{
    aircraft.sim.isStatic = 1;
    if (aircraft.identity.hexid == 0 || aircraft.identity.hexid > kLastStaticKey || m_staticByKey.contains(aircraft.identity.hexid))
        throw std::logic_error(fmt::format("static key {} invalid or already held", aircraft.identity.hexid));
    m_statics.push_back(std::move(aircraft));
    StaticAircraft& ac = m_statics.back();
    m_staticByKey.emplace(ac.identity.hexid, m_statics.size() - 1);
    if (ac.sim.objectId != 0)
        m_staticKeyByObject[ac.sim.objectId] = ac.identity.hexid;
    return ac;
}

void AircraftStore::setObjectId(AircraftBase& aircraft, uint32_t objectId)
{
    auto& byObject = aircraft.sim.isStatic ? m_staticKeyByObject : m_liveHexidByObject;
    if (aircraft.sim.objectId != 0) {
        const auto it = byObject.find(aircraft.sim.objectId);
        if (it != byObject.end() && it->second == aircraft.identity.hexid)
            byObject.erase(it);
    }
    aircraft.sim.objectId = objectId;
    if (objectId != 0)
        byObject[objectId] = aircraft.identity.hexid;
}

void AircraftStore::setStandId(LiveAircraft& aircraft, int32_t standId)
{
    if (standId == aircraft.stand.standId)
        return;
    if (findLive(aircraft.identity.hexid) != &aircraft) {
        aircraft.stand.standId = standId;
        return;
    }
    releaseStand(aircraft);
    aircraft.stand.standId = standId;
    takeStand(aircraft);
}

void AircraftStore::takeStand(const LiveAircraft& aircraft)
{
    gf_takeStandUse(aircraft.stand.standId, {aircraft.identity.hexid, gf_weekSlotOfWord(weekdayHalfHourWord.load())});
}

void AircraftStore::releaseStand(const LiveAircraft& aircraft)
{
    if (aircraft.stand.standId >= 1)
        gf_releaseStandUse(aircraft.stand.standId, aircraft.identity.hexid);
}

namespace {

template <typename T>
void lf_swapErase(std::vector<T>& v, std::unordered_map<uint32_t, size_t>& byKey,
                  std::unordered_map<uint32_t, uint32_t>& byObject, const T& aircraft)
{
    const auto it = byKey.find(aircraft.identity.hexid);
    if (it == byKey.end() || &v[it->second] != &aircraft)
        throw std::logic_error("erase of an aircraft that the store does not hold");
    const size_t index = it->second;
    const auto objectIt = byObject.find(aircraft.sim.objectId);
    if (objectIt != byObject.end() && objectIt->second == aircraft.identity.hexid)
        byObject.erase(objectIt);
    byKey.erase(it);
    if (index + 1 != v.size()) {
        v[index] = std::move(v.back());
        byKey[v[index].identity.hexid] = index;
    }
    v.pop_back();
}

} // namespace

void AircraftStore::eraseLiveSwap(const LiveAircraft& aircraft)
{
    const uint32_t hexid = aircraft.identity.hexid;
    const int32_t standId = aircraft.stand.standId;
    lf_swapErase(m_live, m_liveByHexid, m_liveHexidByObject, aircraft);
    if (standId >= 1)
        gf_releaseStandUse(standId, hexid);
}

void AircraftStore::eraseStaticSwap(const StaticAircraft& aircraft)
{
    lf_swapErase(m_statics, m_staticByKey, m_staticKeyByObject, aircraft);
}

void AircraftStore::reindexLive()
{
    m_liveByHexid.clear();
    m_liveHexidByObject.clear();
    for (size_t i = 0; i < m_live.size(); ++i) {
        m_liveByHexid[m_live[i].identity.hexid] = i;
        if (m_live[i].sim.objectId != 0)
            m_liveHexidByObject[m_live[i].sim.objectId] = m_live[i].identity.hexid;
    }
}

void AircraftStore::reindexStatics()
{
    m_staticByKey.clear();
    m_staticKeyByObject.clear();
    for (size_t i = 0; i < m_statics.size(); ++i) {
        m_staticByKey[m_statics[i].identity.hexid] = i;
        if (m_statics[i].sim.objectId != 0)
            m_staticKeyByObject[m_statics[i].sim.objectId] = m_statics[i].identity.hexid;
    }
}

void AircraftStore::clear()
{
    for (const LiveAircraft& ac : m_live)
        releaseStand(ac);
    m_live.clear();
    m_statics.clear();
    m_liveByHexid.clear();
    m_liveHexidByObject.clear();
    m_staticByKey.clear();
    m_staticKeyByObject.clear();
}

void AircraftStore::reserve(size_t live, size_t statics)
{
    if (m_live.capacity() < live)
        m_live.reserve(live);
    if (m_statics.capacity() < statics)
        m_statics.reserve(statics);
}

// ---- The state ----

TrafficState& gf_trafficState()
{
    static TrafficState state;
    return state;
}

uint32_t gf_nextStaticKey()
{
    TrafficState& s = gf_trafficState();
    for (uint32_t tries = 0; tries < kLastStaticKey; ++tries) {
        s.staticCounter = s.staticCounter % kLastStaticKey + 1; // 1..9999
        if (!s.aircraft.findStatic(s.staticCounter))
            return s.staticCounter;
    }
    throw std::runtime_error("every static aircraft key is in use");
}

size_t gf_countLiveInSim(bool excludeParked)
{
    size_t n = 0;
    for (const LiveAircraft& ac : gf_trafficState().aircraft.live())
        if (ac.sim.simState == SimState::active && !(excludeParked && ac.phases.phase == FlightPhase::parked))
            ++n;
    return n;
}

std::optional<uint32_t> gf_takeNewLiveHexid()
{
    std::deque<uint32_t>& list = gf_trafficState().newLiveHexids;
    if (list.empty())
        return std::nullopt;
    const uint32_t hexid = list.front();
    list.pop_front();
    return hexid;
}

LiveAircraft* gf_findLiveAircraft(uint32_t hexid)
{
    return gf_trafficState().aircraft.findLive(hexid);
}

bool gf_standOptionsAdopted(const LiveAircraft& aircraft)
{
    return aircraft.reports.standOptionsAdopted != 0;
}

void gf_markStandOptionsAdopted(SimReports& aircraft)
{
    aircraft.standOptionsAdopted = 1;
}

void gf_clearGhostCallsigns()
{
    gf_trafficState().ghostCallsigns.clear();
}

void gf_purgeQueuedForAircraft(uint32_t key, uint32_t objectId)
{
    TrafficState& s = gf_trafficState();
    std::erase_if(s.delayedCommands, [&](const SimEvent& e) {
        return e.key == key || (e.key == 0 && objectId != 0 && e.objectId == objectId);
    });
    if (!gf_isLiveKey(key))
        return; // the remaining lists hold live hexids only
    const uint32_t hexid = gf_hexidOfLiveKey(key);
    std::erase(s.addingStack, hexid);
    std::erase(s.newLiveHexids, hexid);
    std::erase_if(s.parkedTimers, [&](const ParkedTimer& t) { return t.hexid == hexid; });
}

void lf_eraseStaticAircraft(StaticAircraft& aircraft)
{
    gf_purgeQueuedForAircraft(aircraft.key(), aircraft.sim.objectId);
    gf_trafficState().aircraft.eraseStaticSwap(aircraft);
}

void gf_compactStaticAircraft()
{
    gf_trafficState().aircraft.compactStatics(
        [](const StaticAircraft& ac) { return ac.sim.removeFlag || ac.sim.staticRemoveFlag; },
        [](const StaticAircraft& ac) { gf_purgeQueuedForAircraft(ac.key(), ac.sim.objectId); });
}

void gf_queueStaticCreation(StaticAircraft& st)
{
    st.sim.simState = SimState::adding2sim;
    st.sim.creationRequestId = 0;
    st.sim.creationAnswered = 0;
    CreateAcCmd cmd;
    cmd.initPosition = {st.stand.standLat, st.stand.standLon, 0.0, 0.0, 0.0, st.stand.standHeading * kRadToDeg, 1, 0};
    cmd.callsign = st.identity.callsign;
    cmd.title = std::string(st.identity.liveryTitle);
    cmd.key = st.key();
    gf_trafficState().staticCreations.push_back(std::move(cmd));
}
