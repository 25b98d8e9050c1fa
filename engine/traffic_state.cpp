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
    return ac && ac->objectId == objectId ? ac : nullptr;
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
    return ac && ac->objectId == objectId ? ac : nullptr;
}

LiveAircraft& AircraftStore::addLive(LiveAircraft&& aircraft)
{
    aircraft.isStatic = 0;
    if (m_liveByHexid.contains(aircraft.hexid))
        throw std::logic_error(fmt::format("live hexid {:x} already held", aircraft.hexid));
    m_live.push_back(std::move(aircraft));
    LiveAircraft& ac = m_live.back();
    m_liveByHexid.emplace(ac.hexid, m_live.size() - 1);
    if (ac.objectId != 0)
        m_liveHexidByObject[ac.objectId] = ac.hexid;
    takeStand(ac);
    return ac;
}

StaticAircraft& AircraftStore::addStatic(StaticAircraft&& aircraft)
{
    aircraft.isStatic = 1;
    if (aircraft.hexid == 0 || aircraft.hexid > kLastStaticKey || m_staticByKey.contains(aircraft.hexid))
        throw std::logic_error(fmt::format("static key {} invalid or already held", aircraft.hexid));
    m_statics.push_back(std::move(aircraft));
    StaticAircraft& ac = m_statics.back();
    m_staticByKey.emplace(ac.hexid, m_statics.size() - 1);
    if (ac.objectId != 0)
        m_staticKeyByObject[ac.objectId] = ac.hexid;
    return ac;
}

void AircraftStore::setObjectId(AircraftBase& aircraft, uint32_t objectId)
{
    auto& byObject = aircraft.isStatic ? m_staticKeyByObject : m_liveHexidByObject;
    if (aircraft.objectId != 0) {
        const auto it = byObject.find(aircraft.objectId);
        if (it != byObject.end() && it->second == aircraft.hexid)
            byObject.erase(it);
    }
    aircraft.objectId = objectId;
    if (objectId != 0)
        byObject[objectId] = aircraft.hexid;
}

void AircraftStore::setStandId(LiveAircraft& aircraft, int32_t standId)
{
    if (standId == aircraft.standId)
        return;
    if (findLive(aircraft.hexid) != &aircraft) {
        aircraft.standId = standId;
        return;
    }
    releaseStand(aircraft);
    aircraft.standId = standId;
    takeStand(aircraft);
}

void AircraftStore::takeStand(const LiveAircraft& aircraft)
{
    gf_takeStandUse(aircraft.standId, {aircraft.hexid, gf_weekSlotOfWord(weekdayHalfHourWord.load())});
}

void AircraftStore::releaseStand(const LiveAircraft& aircraft)
{
    if (aircraft.standId >= 1)
        gf_releaseStandUse(aircraft.standId, aircraft.hexid);
}

namespace {

template <typename T>
void lf_swapErase(std::vector<T>& v, std::unordered_map<uint32_t, size_t>& byKey,
                  std::unordered_map<uint32_t, uint32_t>& byObject, const T& aircraft)
{
    const auto it = byKey.find(aircraft.hexid);
    if (it == byKey.end() || &v[it->second] != &aircraft)
        throw std::logic_error("erase of an aircraft that the store does not hold");
    const size_t index = it->second;
    const auto objectIt = byObject.find(aircraft.objectId);
    if (objectIt != byObject.end() && objectIt->second == aircraft.hexid)
        byObject.erase(objectIt);
    byKey.erase(it);
    if (index + 1 != v.size()) {
        v[index] = std::move(v.back());
        byKey[v[index].hexid] = index;
    }
    v.pop_back();
}

} // namespace

void AircraftStore::eraseLiveSwap(const LiveAircraft& aircraft)
{
    const uint32_t hexid = aircraft.hexid;
    const int32_t standId = aircraft.standId;
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
        m_liveByHexid[m_live[i].hexid] = i;
        if (m_live[i].objectId != 0)
            m_liveHexidByObject[m_live[i].objectId] = m_live[i].hexid;
    }
}

void AircraftStore::reindexStatics()
{
    m_staticByKey.clear();
    m_staticKeyByObject.clear();
    for (size_t i = 0; i < m_statics.size(); ++i) {
        m_staticByKey[m_statics[i].hexid] = i;
        if (m_statics[i].objectId != 0)
            m_staticKeyByObject[m_statics[i].objectId] = m_statics[i].hexid;
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
        if (ac.simState == SimState::active && !(excludeParked && ac.phases.phase == FlightPhase::parked))
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
    gf_purgeQueuedForAircraft(aircraft.key(), aircraft.objectId);
    gf_trafficState().aircraft.eraseStaticSwap(aircraft);
}

void gf_compactStaticAircraft()
{
    gf_trafficState().aircraft.compactStatics(
        [](const StaticAircraft& ac) { return ac.removeFlag || ac.staticRemoveFlag; },
        [](const StaticAircraft& ac) { gf_purgeQueuedForAircraft(ac.key(), ac.objectId); });
}

void gf_queueStaticCreation(StaticAircraft& st)
{
    st.simState = SimState::adding2sim;
    st.creationRequestId = 0;
    st.creationAnswered = 0;
    CreateAcCmd cmd;
    cmd.initPosition = {st.standLat, st.standLon, 0.0, 0.0, 0.0, st.standHeading * kRadToDeg, 1, 0};
    cmd.callsign = st.callsign;
    cmd.title = std::string(st.liveryTitle);
    cmd.key = st.key();
    gf_trafficState().staticCreations.push_back(std::move(cmd));
}
