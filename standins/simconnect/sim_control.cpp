// The stand-in simulator's control side: scenarios, frames, faults, the
// simulator's own events and the trace.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <windows.h>

#include "standins/simconnect/map_window.h"
#include "standins/simconnect/sim_model.h"

namespace kvr::standin {

namespace {

constexpr std::uint32_t kVersion = 11;

template <typename T>
void lf_assign(const nlohmann::json& j, const char* key, T& target)
{
    if (const auto it = j.find(key); it != j.end() && !it->is_null())
        target = it->get<T>();
}

double lf_num(const nlohmann::json& j, const char* key, double fallback)
{
    const auto it = j.find(key);
    return it != j.end() && it->is_number() ? it->get<double>() : fallback;
}

void lf_applyUser(SimObject& user, const nlohmann::json& u)
{
    auto set = [&](const char* key, Var var) {
        if (const auto it = u.find(key); it != u.end() && it->is_number())
            user.v[size_t(var)] = it->get<double>();
    };
    lf_assign(u, "title", user.title);
    lf_assign(u, "atc_model", user.atcModel);
    lf_assign(u, "atc_id", user.tail);
    set("lat", Var::Latitude);
    set("lon", Var::Longitude);
    set("alt_ft", Var::Altitude);
    set("indicated_alt_ft", Var::IndicatedAltitude);
    set("pitch_deg", Var::Pitch);
    set("bank_deg", Var::Bank);
    set("heading_deg", Var::Heading);
    set("vs_fpm", Var::VerticalSpeed);
    set("tas_kt", Var::TrueAirspeed);
    set("gs_kt", Var::GroundVelocity);
    set("track_deg", Var::GroundTrack);
    set("zulu_time", Var::ZuluTime);
    set("zulu_day", Var::ZuluDay);
    set("zulu_year", Var::ZuluYear);
    set("light_states", Var::LightStates);
    if (const auto it = u.find("on_ground"); it != u.end()) {
        if (it->is_null()) {
            user.explicitOnGround = false;
        } else {
            user.explicitOnGround = true;
            user.v[size_t(Var::OnGround)] = it->get<bool>() ? 1.0 : 0.0;
        }
    }
}

} // namespace

void Sim::applyScenarioLocked(const nlohmann::json& s)
{
    if (const auto it = s.find("simulator"); it != s.end()) {
        lf_assign(*it, "name", m_options.simName);
        lf_assign(*it, "app_version", m_options.appVersion);
        lf_assign(*it, "simconnect_version", m_options.simConnectVersion);
    }
    lf_assign(s, "available", m_options.available);
    lf_assign(s, "sim_running", m_options.simRunning);
    if (const auto it = s.find("mode"); it != s.end())
        m_options.realtime = it->get<std::string>() == "realtime";
    lf_assign(s, "frame_rate", m_options.frameRate);
    lf_assign(s, "frames_per_second", m_options.framesPerSecond);
    lf_assign(s, "assign_delay_frames", m_options.assignDelayFrames);
    lf_assign(s, "remove_delay_frames", m_options.removeDelayFrames);
    lf_assign(s, "added_before_assigned", m_options.addedBeforeAssigned);
    lf_assign(s, "close_removes_objects", m_options.closeRemovesObjects);
    lf_assign(s, "reuse_object_ids", m_options.reuseObjectIds);
    lf_assign(s, "object_limit", m_options.objectLimit);
    lf_assign(s, "flight_loaded_packet", m_options.flightLoadedPacket);
    lf_assign(s, "ground_ft", m_options.defaultGroundFt);
    lf_assign(s, "trace_positions", m_options.tracePositions);
    lf_assign(s, "map_window", m_options.mapWindow);
    lf_assign(s, "map_range_nm", m_options.mapRangeNm);
    lf_assign(s, "trace_calls", m_options.traceCalls);
    lf_assign(s, "keep_history", m_options.keepHistory);
    if (const auto it = s.find("first_object_id"); it != s.end()) {
        m_options.firstObjectId = it->get<std::uint32_t>();
        m_nextObjectId = std::max(m_nextObjectId, m_options.firstObjectId);
    }
    if (const auto it = s.find("first_packet_id"); it != s.end()) {
        m_options.firstPacketId = it->get<std::uint32_t>();
        m_nextPacketId = std::max(m_nextPacketId, m_options.firstPacketId);
    }
    if (const auto it = s.find("user_object_id"); it != s.end()) {
        m_options.userObjectId = it->get<std::uint32_t>();
        m_user.id = m_options.userObjectId;
    }
    if (const auto it = s.find("user"); it != s.end()) {
        lf_applyUser(m_user, *it);
        if (const auto path = it->find("path"); path != it->end() && path->is_array()) {
            m_userPath = *path;
            updateUserPathLocked(0.0);
        }
    }
    if (const auto it = s.find("titles"); it != s.end())
        m_titles = *it;
    if (const auto it = s.find("airports"); it != s.end())
        m_airports = *it;
}

// The user aircraft flies its path: points {t (s), lat, lon, alt_ft,
// heading_deg, gs_kt, on_ground}, linear between them, held after the last.
void Sim::updateUserPathLocked(double seconds)
{
    if (m_userPath.empty())
        return;
    std::size_t i = 0;
    while (i + 1 < m_userPath.size() && lf_num(m_userPath[i + 1], "t", 0) <= seconds)
        ++i;
    const auto& a = m_userPath[i];
    const auto& b = i + 1 < m_userPath.size() ? m_userPath[i + 1] : a;
    const double ta = lf_num(a, "t", 0), tb = lf_num(b, "t", 0);
    const double f = tb > ta ? std::clamp((seconds - ta) / (tb - ta), 0.0, 1.0) : 0.0;
    auto mix = [&](const char* key, Var var) {
        const double va = lf_num(a, key, m_user.v[size_t(var)]);
        const double vb = lf_num(b, key, va);
        m_user.v[size_t(var)] = va + (vb - va) * f;
    };
    mix("lat", Var::Latitude);
    mix("lon", Var::Longitude);
    mix("alt_ft", Var::Altitude);
    mix("heading_deg", Var::Heading);
    mix("gs_kt", Var::GroundVelocity);
    m_user.v[size_t(Var::GroundTrack)] = m_user.v[size_t(Var::Heading)];
    m_user.v[size_t(Var::IndicatedAltitude)] = m_user.v[size_t(Var::Altitude)];
    if (const auto it = a.find("on_ground"); it != a.end() && it->is_boolean()) {
        m_user.explicitOnGround = true;
        m_user.v[size_t(Var::OnGround)] = it->get<bool>() ? 1.0 : 0.0;
    }
}

bool Sim::loadScenario(const nlohmann::json& scenario, std::string& error)
{
    if (!scenario.is_object()) {
        error = "the scenario is not a JSON object";
        return false;
    }
    bool startRealtime = false;
    bool stopFrames = false;
    try {
        Lock lock(m_mutex);
        const bool wasRealtime = m_options.realtime;
        applyScenarioLocked(scenario);
        startRealtime = m_options.realtime && !wasRealtime;
        stopFrames = !m_options.realtime && wasRealtime;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    if (stopFrames) // back to manual frames
        stopRealtime();
    if (startRealtime) {
        // The frame thread runs code of this DLL: keep the DLL loaded for good.
        HMODULE self = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCWSTR>(&sim), &self);
        stopRealtime();
        Lock lock(m_mutex);
        m_realtimeStop = false;
        m_realtime = std::thread([this] { realtimeLoop(); });
        if (m_options.mapWindow)
            gf_openMapWindow(m_options.mapRangeNm);
    }
    return true;
}

void Sim::realtimeLoop()
{
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    auto next = start;
    Lock lock(m_mutex);
    while (!m_realtimeStop) {
        const double rate = std::clamp(m_options.frameRate, 1.0, 240.0);
        next += std::chrono::nanoseconds(static_cast<long long>(1e9 / rate));
        if (m_realtimeWake.wait_until(lock, next, [this] { return m_realtimeStop; }))
            break;
        const double seconds = std::chrono::duration<double>(clock::now() - start).count();
        updateUserPathLocked(seconds);
        if (m_options.simRunning)
            advanceFrameLocked();
        if (next < clock::now() - std::chrono::milliseconds(100))
            next = clock::now();
    }
}

void Sim::stopRealtime()
{
    {
        Lock lock(m_mutex);
        m_realtimeStop = true;
    }
    m_realtimeWake.notify_all();
    if (m_realtime.joinable())
        m_realtime.join();
    gf_closeMapWindow();
}

void Sim::loadEnvironmentScenarioOnce()
{
    {
        Lock lock(m_mutex);
        if (m_environmentLoaded)
            return;
        m_environmentLoaded = true;
    }
    const char* path = std::getenv("KELO_SIM_SCENARIO");
    if (!path || !*path)
        return;
    std::ifstream in(path, std::ios::binary);
    std::string error = "cannot read the file";
    if (in) {
        try {
            if (loadScenario(nlohmann::json::parse(in), error))
                return;
        } catch (const std::exception& e) {
            error = e.what();
        }
    }
    Lock lock(m_mutex);
    m_errors.push_back(std::string("scenario ") + path + ": " + error);
}

void Sim::advanceFrames(std::uint32_t n)
{
    Lock lock(m_mutex);
    for (std::uint32_t i = 0; i < n; ++i)
        advanceFrameLocked();
}

bool Sim::waitIdle(std::uint32_t timeoutMs)
{
    Lock lock(m_mutex);
    return m_idle.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        if (m_dispatching > 0)
            return false;
        for (const auto& [index, c] : m_connections)
            if (!c.queue.empty() && !c.quit)
                return false;
        return true;
    });
}

void Sim::setFault(const std::string& function, std::uint32_t nth, ScHresult hr)
{
    const auto fn = fnFromName(function);
    if (!fn)
        return;
    Lock lock(m_mutex);
    const auto i = static_cast<std::size_t>(*fn);
    if (hr >= 0) {
        m_faults[i].clear();
        return;
    }
    m_faults[i].push_back(Fault{nth == 0 ? 0 : m_callCounts[i] + nth, hr});
}

void Sim::truncateNext(std::uint32_t recvId, std::uint32_t size, std::uint32_t count)
{
    Lock lock(m_mutex);
    m_truncations.push_back(Truncation{recvId, size, count});
}

void Sim::sendException(std::uint32_t connection, std::uint32_t code, std::uint32_t sendId, std::uint32_t index)
{
    Lock lock(m_mutex);
    for (auto& [i, c] : m_connections)
        if (connection == 0 || connection == i)
            queueException(c, code, sendId, index);
}

void Sim::setSimRunning(bool running)
{
    Lock lock(m_mutex);
    m_options.simRunning = running;
    for (auto& [i, c] : m_connections)
        for (const auto& [eventId, name] : c.systemEvents)
            if (name == "sim" && !c.quit)
                queueEvent(c, eventId, running ? 1 : 0);
}

// "FlightLoaded" comes as EVENT_FILENAME with the subscribed id and the
// flight file (or as a plain EVENT when the scenario asks for it).
void Sim::loadFlight(const std::string& path)
{
    Lock lock(m_mutex);
    for (auto& [i, c] : m_connections) {
        for (const auto& [eventId, name] : c.systemEvents) {
            if (name != "flightloaded" || c.quit)
                continue;
            if (m_options.flightLoadedPacket == SIMCONNECT_RECV_ID_EVENT) {
                queueEvent(c, eventId, 0);
                continue;
            }
            SIMCONNECT_RECV_EVENT_FILENAME f{};
            f.dwSize = sizeof(f);
            f.dwVersion = kVersion;
            f.dwID = SIMCONNECT_RECV_ID_EVENT_FILENAME;
            f.uGroupID = SIMCONNECT_RECV_EVENT_UNKNOWN_GROUP;
            f.uEventID = eventId;
            std::strncpy(f.szFileName, path.c_str(), sizeof(f.szFileName) - 1);
            Packet p;
            p.bytes.resize(sizeof(f));
            std::memcpy(p.bytes.data(), &f, sizeof(f));
            p.size = sizeof(f);
            queue(c, std::move(p));
        }
    }
}

// The simulator ends: every client gets QUIT, every AI object goes, and no
// connection opens until the simulator is made available again.
void Sim::quit()
{
    Lock lock(m_mutex);
    m_options.available = false;
    for (auto& [i, c] : m_connections) {
        if (c.quit)
            continue;
        SIMCONNECT_RECV_QUIT q{sizeof(SIMCONNECT_RECV_QUIT), kVersion, SIMCONNECT_RECV_ID_QUIT};
        Packet p;
        p.bytes.resize(sizeof(q));
        std::memcpy(p.bytes.data(), &q, sizeof(q));
        p.size = sizeof(q);
        queue(c, std::move(p));
        c.periodic.clear();
        c.quit = true;
    }
    for (const auto& [id, record] : m_objectRecordIndex) {
        if (const auto o = m_objects.find(id); o != m_objects.end()) {
            m_objectRecords[record].object = o->second;
            m_objectRecords[record].removedFrame = m_frame;
            m_objectRecords[record].removedBy = "quit";
            traceRemove(id, "quit");
        }
    }
    m_objects.clear();
    m_pendingCreates.clear();
    m_pendingRemovals.clear();
}

void Sim::setAvailable(bool available)
{
    Lock lock(m_mutex);
    m_options.available = available;
}

bool Sim::removeObjectBySimulator(std::uint32_t objectId)
{
    Lock lock(m_mutex);
    if (!m_objects.count(objectId))
        return false;
    removeObjectLocked(objectId, "simulator");
    return true;
}

std::uint64_t Sim::frame()
{
    Lock lock(m_mutex);
    return m_frame;
}

Sim::Snapshot Sim::snapshot()
{
    Lock lock(m_mutex);
    Snapshot s;
    s.user = m_user;
    for (const auto& [id, o] : m_objects)
        s.objects.push_back(o);
    std::sort(s.objects.begin(), s.objects.end(), [](const SimObject& a, const SimObject& b) { return a.id < b.id; });
    s.airports = m_airports;
    return s;
}

namespace {

nlohmann::json lf_objectJson(const SimObject& o)
{
    nlohmann::json j{{"object_id", o.id},
                     {"owner", o.owner},
                     {"title", o.title},
                     {"tail", o.tail},
                     {"request_id", o.requestId},
                     {"packet_id", o.packetId},
                     {"created_frame", o.createdFrame},
                     {"released", o.released},
                     {"frozen_lat_lon", o.frozenLatLon},
                     {"frozen_altitude", o.frozenAltitude},
                     {"frozen_attitude", o.frozenAttitude},
                     {"flight_plan", o.flightPlan},
                     {"lat", o.v[size_t(Var::Latitude)]},
                     {"lon", o.v[size_t(Var::Longitude)]},
                     {"alt_ft", o.v[size_t(Var::Altitude)]},
                     {"heading_deg", o.v[size_t(Var::Heading)]}};
    j["init"] = {{"lat", o.init.Latitude},   {"lon", o.init.Longitude}, {"alt_ft", o.init.Altitude},
                 {"pitch", o.init.Pitch},    {"bank", o.init.Bank},     {"heading", o.init.Heading},
                 {"on_ground", o.init.OnGround}, {"airspeed", o.init.Airspeed}};
    return j;
}

} // namespace

// Sections: "calls", "objects" (every AI object ever created, with its state
// now or at its removal), "live_objects" (the ids of the AI objects there
// now), "positions", "events", "connections", "errors",
// "frame".
std::string Sim::trace(const std::string& section)
{
    Lock lock(m_mutex);
    nlohmann::json out = nlohmann::json::array();
    if (section == "calls") {
        m_calls.forEach([&](const CallRecord& r) {
            nlohmann::json args = nlohmann::json::array();
            for (std::uint8_t i = 0; i < r.argCount; ++i)
                args.push_back(r.args[i]);
            out.push_back({{"frame", r.frame},
                           {"fn", fnName(r.fn)},
                           {"connection", r.connection},
                           {"hr", r.hr},
                           {"packet_id", r.packetId},
                           {"args", args},
                           {"text", r.text}});
        });
    } else if (section == "objects") {
        for (const ObjectRecord& r : m_objectRecords) {
            const auto live = m_objects.find(r.object.id);
            nlohmann::json j = lf_objectJson(live != m_objects.end() ? live->second : r.object);
            j["removed_frame"] = r.removedFrame ? nlohmann::json(*r.removedFrame) : nlohmann::json(nullptr);
            j["removed_by"] = r.removedBy;
            out.push_back(std::move(j));
        }
    } else if (section == "live_objects") {
        for (const auto& [id, o] : m_objects)
            out.push_back(id);
    } else if (section == "positions") {
        m_positions.forEach([&](const PositionRecord& r) {
            nlohmann::json values = nlohmann::json::array();
            for (std::uint8_t i = 0; i < r.count; ++i)
                values.push_back(r.values[i]);
            out.push_back({{"frame", r.frame}, {"object_id", r.objectId}, {"define_id", r.defineId}, {"values", values}});
        });
    } else if (section == "events") {
        for (const ObjectEvent& e : m_events)
            out.push_back({{"frame", e.frame},
                           {"object_id", e.objectId},
                           {"name", e.name},
                           {"data", e.data},
                           {"group", e.group},
                           {"flags", e.flags}});
    } else if (section == "connections") {
        for (const auto& [i, c] : m_connections)
            out.push_back({{"index", c.index},
                           {"name", c.name},
                           {"queued", c.queue.size()},
                           {"quit", c.quit},
                           {"definitions", c.definitions.size()},
                           {"client_events", c.clientEvents.size()}});
    } else if (section == "errors") {
        out = m_errors;
    } else if (section == "frame") {
        out = m_frame;
    } else if (section == "user") {
        out = lf_objectJson(m_user);
    }
    return out.dump();
}

} // namespace kvr::standin
