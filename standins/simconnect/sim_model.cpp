// The stand-in simulator's model (see sim_model.h).
#include "standins/simconnect/sim_model.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstring>

#include "core/geodesy.h"

namespace kvr::standin {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr std::uint32_t kVersion = 11; // dwVersion of every packet

std::string lf_lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char ch) { return char(std::tolower(ch)); });
    return out;
}

Var lf_varOf(const std::string& name)
{
    static const std::map<std::string, Var> vars{
        {"plane latitude", Var::Latitude},
        {"plane longitude", Var::Longitude},
        {"plane pitch degrees", Var::Pitch},
        {"plane bank degrees", Var::Bank},
        {"plane heading degrees true", Var::Heading},
        {"plane altitude", Var::Altitude},
        {"vertical speed", Var::VerticalSpeed},
        {"airspeed true", Var::TrueAirspeed},
        {"indicated altitude", Var::IndicatedAltitude},
        {"plane alt above ground", Var::AltAboveGround},
        {"ground altitude", Var::GroundAltitude},
        {"ground velocity", Var::GroundVelocity},
        {"gps ground true track", Var::GroundTrack},
        {"zulu time", Var::ZuluTime},
        {"zulu day of year", Var::ZuluDay},
        {"zulu year", Var::ZuluYear},
        {"light states", Var::LightStates},
        {"light on states", Var::LightOnStates},
        {"sim on ground", Var::OnGround},
        {"atc id", Var::AtcId},
        {"title", Var::Title},
        {"atc model", Var::AtcModel},
        {"static cg to ground", Var::StaticCg},
        {"static pitch", Var::StaticPitch},
        {"spoilers handle position", Var::Spoilers},
        {"general eng throttle lever position:1", Var::Throttle1},
        {"general eng throttle lever position:2", Var::Throttle2},
    };
    const auto it = vars.find(lf_lower(name));
    return it == vars.end() ? Var::Unknown : it->second;
}

std::uint32_t lf_sizeOf(SIMCONNECT_DATATYPE type)
{
    switch (type) {
    case SIMCONNECT_DATATYPE_INT32:
    case SIMCONNECT_DATATYPE_FLOAT32: return 4;
    case SIMCONNECT_DATATYPE_INT64:
    case SIMCONNECT_DATATYPE_FLOAT64:
    case SIMCONNECT_DATATYPE_STRING8: return 8;
    case SIMCONNECT_DATATYPE_STRING32: return 32;
    case SIMCONNECT_DATATYPE_STRING64: return 64;
    case SIMCONNECT_DATATYPE_STRING128: return 128;
    case SIMCONNECT_DATATYPE_STRING256: return 256;
    case SIMCONNECT_DATATYPE_STRING260: return 260;
    default: return 0;
    }
}

bool lf_isString(SIMCONNECT_DATATYPE type)
{
    return type >= SIMCONNECT_DATATYPE_STRING8 && type <= SIMCONNECT_DATATYPE_STRINGV;
}

template <typename T>
void lf_put(std::vector<std::uint8_t>& bytes, std::size_t offset, const T& value)
{
    if (bytes.size() < offset + sizeof(T))
        bytes.resize(offset + sizeof(T));
    std::memcpy(bytes.data() + offset, &value, sizeof(T));
}

template <typename T>
Packet lf_packetOf(const T& value)
{
    Packet p;
    p.bytes.resize(sizeof(T));
    std::memcpy(p.bytes.data(), &value, sizeof(T));
    p.size = sizeof(T);
    return p;
}

double lf_num(const nlohmann::json& j, const char* key, double fallback)
{
    const auto it = j.find(key);
    return it != j.end() && it->is_number() ? it->get<double>() : fallback;
}

} // namespace

const char* fnName(Fn fn)
{
    static const char* names[] = {
        "SimConnect_Open", "SimConnect_Close", "SimConnect_CallDispatch", "SimConnect_SubscribeToSystemEvent",
        "SimConnect_AddToDataDefinition", "SimConnect_MapClientEventToSimEvent",
        "SimConnect_AddClientEventToNotificationGroup", "SimConnect_SetNotificationGroupPriority",
        "SimConnect_RequestDataOnSimObject", "SimConnect_RequestDataOnSimObjectType",
        "SimConnect_SetDataOnSimObject", "SimConnect_TransmitClientEvent", "SimConnect_AICreateNonATCAircraft",
        "SimConnect_GetLastSentPacketID", "SimConnect_AIReleaseControl", "SimConnect_AIRemoveObject",
        "SimConnect_AISetAircraftFlightPlan", "SimConnect_AddToFacilityDefinition",
        "SimConnect_RequestFacilityData"};
    return names[static_cast<std::size_t>(fn)];
}

std::optional<Fn> fnFromName(const std::string& name)
{
    for (std::size_t i = 0; i < static_cast<std::size_t>(Fn::Count); ++i) {
        const std::string full = fnName(static_cast<Fn>(i));
        if (name == full || "SimConnect_" + name == full)
            return static_cast<Fn>(i);
    }
    return std::nullopt;
}

// Never destroyed: a real-time frame thread may still run at process end.
Sim& sim()
{
    static Sim* instance = new Sim;
    return *instance;
}

Sim::Sim() { reset(); }

// ---------------------------------------------------------------- helpers

Connection* Sim::connectionOf(ScHandle h)
{
    const auto key = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(h) & 0xFFFFFFFFu) - 0x5C000000u;
    const auto it = m_connections.find(key);
    return it == m_connections.end() ? nullptr : &it->second;
}

std::optional<ScHresult> Sim::faultFor(Fn fn)
{
    const auto i = static_cast<std::size_t>(fn);
    const std::uint64_t call = ++m_callCounts[i];
    for (const Fault& f : m_faults[i])
        if (f.atCall == 0 || f.atCall == call)
            return f.hr;
    return std::nullopt;
}

// Takes the lock, checks the handle and the scripted faults. False when the
// call ends here with `hr` (already traced).
bool Sim::begin(Lock& lock, ScHandle h, Fn fn, Connection*& c, ScHresult& hr)
{
    lock = Lock(m_mutex);
    c = connectionOf(h);
    if (!c || c->quit) {
        hr = SC_E_FAIL;
        finish(c, fn, hr, {}, "invalid handle", false);
        return false;
    }
    if (const auto fault = faultFor(fn)) {
        hr = *fault;
        finish(c, fn, hr, {}, "scripted fault", false);
        return false;
    }
    return true;
}

ScHresult Sim::finish(Connection* c, Fn fn, ScHresult hr, std::initializer_list<std::uint32_t> args,
                      std::string text, bool sendsPacket)
{
    std::uint32_t packetId = 0;
    if (hr >= 0 && sendsPacket && c) {
        packetId = m_nextPacketId++;
        c->lastPacketId = packetId;
    }
    if (m_options.traceCalls) {
        CallRecord r;
        r.frame = m_frame;
        r.fn = fn;
        r.connection = c ? c->index : 0;
        r.hr = hr;
        r.packetId = packetId;
        for (std::uint32_t a : args)
            if (r.argCount < r.args.size())
                r.args[r.argCount++] = a;
        r.text = std::move(text);
        m_calls.push_back(std::move(r));
    }
    return hr;
}

void Sim::queue(Connection& c, Packet packet)
{
    if (packet.bytes.size() >= sizeof(SIMCONNECT_RECV)) {
        std::uint32_t id;
        std::memcpy(&id, packet.bytes.data() + 8, 4);
        for (Truncation& t : m_truncations) {
            if (t.recvId == id && t.remaining > 0) {
                --t.remaining;
                packet.size = std::min<std::uint32_t>(t.size, packet.size);
                if (packet.size >= 4)
                    std::memcpy(packet.bytes.data(), &packet.size, 4);
                break;
            }
        }
    }
    c.queue.push_back(std::move(packet));
}

void Sim::queueException(Connection& c, std::uint32_t code, std::uint32_t sendId, std::uint32_t index)
{
    SIMCONNECT_RECV_EXCEPTION e{sizeof(SIMCONNECT_RECV_EXCEPTION), kVersion, SIMCONNECT_RECV_ID_EXCEPTION,
                                code, sendId, index};
    queue(c, lf_packetOf(e));
}

void Sim::queueEvent(Connection& c, std::uint32_t eventId, std::uint32_t data)
{
    SIMCONNECT_RECV_EVENT e{sizeof(SIMCONNECT_RECV_EVENT), kVersion, SIMCONNECT_RECV_ID_EVENT,
                            SIMCONNECT_RECV_EVENT_UNKNOWN_GROUP, eventId, data};
    queue(c, lf_packetOf(e));
}

// "ObjectAdded"/"ObjectRemoved" reach every client that subscribed, the
// client that made the change included.
void Sim::broadcastAddRemove(const std::string& event, std::uint32_t objectId)
{
    for (auto& [index, c] : m_connections) {
        if (c.quit)
            continue;
        for (const auto& [eventId, name] : c.systemEvents) {
            if (name != event)
                continue;
            SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE e{sizeof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE),
                                                     kVersion,
                                                     SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE,
                                                     SIMCONNECT_RECV_EVENT_UNKNOWN_GROUP,
                                                     eventId,
                                                     objectId,
                                                     SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT};
            queue(c, lf_packetOf(e));
        }
    }
}

SimObject* Sim::objectById(std::uint32_t id)
{
    if (id == SIMCONNECT_OBJECT_ID_USER || id == m_user.id)
        return &m_user;
    const auto it = m_objects.find(id);
    return it == m_objects.end() ? nullptr : &it->second;
}

double Sim::groundFtAt(double lat, double lon) const
{
    double best = -1.0;
    double ground = m_options.defaultGroundFt;
    for (const auto& a : m_airports) {
        const double d = gf_distanceNm(LatLon{lat, lon}, LatLon{lf_num(a, "lat", 0), lf_num(a, "lon", 0)});
        if (d <= lf_num(a, "radius_nm", 10.0) && (best < 0 || d < best)) {
            best = d;
            ground = lf_num(a, "elevation_ft", 0.0);
        }
    }
    return ground;
}

const nlohmann::json* Sim::titleInfo(const std::string& title) const
{
    for (const auto& t : m_titles) {
        if (t.is_string() && t.get<std::string>() == title)
            return &t;
        if (t.is_object() && t.value("title", std::string{}) == title)
            return &t;
    }
    return nullptr;
}

const nlohmann::json* Sim::airportByIcao(const std::string& icao) const
{
    for (const auto& a : m_airports)
        if (lf_lower(a.value("icao", std::string{})) == lf_lower(icao))
            return &a;
    return nullptr;
}

std::string Sim::titleOf(const SimObject& o) const { return o.title; }

double Sim::valueOf(const SimObject& o, Var var) const
{
    const auto at = [&](Var v) { return o.v[static_cast<std::size_t>(v)]; };
    switch (var) {
    case Var::GroundAltitude: return groundFtAt(at(Var::Latitude), at(Var::Longitude));
    case Var::AltAboveGround: return at(Var::Altitude) - groundFtAt(at(Var::Latitude), at(Var::Longitude));
    case Var::OnGround:
        if (o.explicitOnGround)
            return at(Var::OnGround);
        // On its wheels the reference point stands the static CG height above the ground.
        return at(Var::Altitude) - groundFtAt(at(Var::Latitude), at(Var::Longitude)) < valueOf(o, Var::StaticCg) + 1.0
                   ? 1.0
                   : 0.0;
    case Var::StaticCg:
    case Var::StaticPitch: {
        const auto* info = titleInfo(o.title);
        if (!info || !info->is_object())
            return 0.0;
        return var == Var::StaticCg ? lf_num(*info, "static_cg_ft", 0.0) : lf_num(*info, "static_pitch_deg", 0.0);
    }
    default: return at(var);
    }
}

void Sim::setValue(SimObject& o, Var var, double value)
{
    if (var == Var::Unknown || var == Var::GroundAltitude || var == Var::AltAboveGround || var == Var::StaticCg ||
        var == Var::StaticPitch)
        return;
    o.v[static_cast<std::size_t>(var)] = value;
}

// One SIMOBJECT_DATA(_BYTYPE) packet: the 40-byte head, then the datums
// packed in definition order (a STRINGV as its text and a NUL).
void Sim::queueData(Connection& c, SIMCONNECT_RECV_ID id, std::uint32_t requestId, const SimObject& object,
                    std::uint32_t defineId, const Definition& def, std::uint32_t flags, std::uint32_t entry,
                    std::uint32_t outOf)
{
    Packet p;
    p.bytes.resize(SIMCONNECT_DATA_HEADER_SIZE + def.fixedSize);
    std::size_t offset = SIMCONNECT_DATA_HEADER_SIZE;
    for (const Datum& d : def.datums) {
        if (lf_isString(d.type)) {
            std::string text;
            if (d.var == Var::Title)
                text = object.title;
            else if (d.var == Var::AtcModel)
                text = object.atcModel;
            else if (d.var == Var::AtcId)
                text = object.tail;
            if (d.type == SIMCONNECT_DATATYPE_STRINGV) {
                p.bytes.resize(p.bytes.size() + text.size() + 1, 0);
                std::memcpy(p.bytes.data() + offset, text.c_str(), text.size() + 1);
                offset += text.size() + 1;
            } else {
                const std::uint32_t n = lf_sizeOf(d.type);
                std::memcpy(p.bytes.data() + offset, text.data(), std::min<std::size_t>(text.size(), n - 1));
                offset += n;
            }
            continue;
        }
        double value = valueOf(object, d.var);
        if (d.radians)
            value = value * kPi / 180.0;
        switch (d.type) {
        case SIMCONNECT_DATATYPE_INT32: lf_put<std::int32_t>(p.bytes, offset, static_cast<std::int32_t>(value)); break;
        case SIMCONNECT_DATATYPE_INT64: lf_put<std::int64_t>(p.bytes, offset, static_cast<std::int64_t>(value)); break;
        case SIMCONNECT_DATATYPE_FLOAT32: lf_put<float>(p.bytes, offset, static_cast<float>(value)); break;
        default: lf_put<double>(p.bytes, offset, value); break;
        }
        offset += lf_sizeOf(d.type);
    }
    p.size = static_cast<std::uint32_t>(p.bytes.size());
    SIMCONNECT_RECV_SIMOBJECT_DATA head{};
    head.dwSize = p.size;
    head.dwVersion = kVersion;
    head.dwID = id;
    head.dwRequestID = requestId;
    head.dwObjectID = object.id;
    head.dwDefineID = defineId;
    head.dwFlags = flags;
    head.dwentrynumber = entry;
    head.dwoutof = outOf;
    head.dwDefineCount = static_cast<std::uint32_t>(def.datums.size());
    std::memcpy(p.bytes.data(), &head, SIMCONNECT_DATA_HEADER_SIZE);
    queue(c, std::move(p));
}

void Sim::answerPeriodic(Connection& c, const PeriodicRequest& r)
{
    const auto def = c.definitions.find(r.defineId);
    SimObject* object = objectById(r.objectId);
    if (def == c.definitions.end() || !object)
        return;
    queueData(c, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, r.requestId, *object, r.defineId, def->second, r.flags, 1, 1);
}

void Sim::removeObjectLocked(std::uint32_t id, const std::string& by)
{
    const auto object = m_objects.find(id);
    if (object == m_objects.end())
        return;
    if (const auto it = m_objectRecordIndex.find(id); it != m_objectRecordIndex.end()) {
        m_objectRecords[it->second].object = object->second; // its state at the removal
        m_objectRecords[it->second].removedFrame = m_frame;
        m_objectRecords[it->second].removedBy = by;
    }
    traceRemove(id, by);
    m_objects.erase(object);
    broadcastAddRemove("objectremoved", id);
}

void Sim::finishCreate(PendingCreate& pending)
{
    SimObject& o = pending.object;
    if (m_options.reuseObjectIds) {
        o.id = m_options.firstObjectId;
        while (m_objects.count(o.id) || o.id == m_user.id)
            ++o.id;
    } else {
        o.id = m_nextObjectId++;
    }
    o.createdFrame = m_frame;
    m_objects[o.id] = o;
    if (m_options.keepHistory) {
        m_objectRecordIndex[o.id] = m_objectRecords.size();
        m_objectRecords.push_back(ObjectRecord{o, std::nullopt, {}});
    }
    traceCreate(o);
    const auto it = m_connections.find(pending.connection);
    SIMCONNECT_RECV_ASSIGNED_OBJECT_ID a{sizeof(SIMCONNECT_RECV_ASSIGNED_OBJECT_ID), kVersion,
                                         SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID, o.requestId, o.id};
    if (!m_options.addedBeforeAssigned && it != m_connections.end())
        queue(it->second, lf_packetOf(a));
    broadcastAddRemove("objectadded", o.id);
    if (m_options.addedBeforeAssigned && it != m_connections.end())
        queue(it->second, lf_packetOf(a));
}

// ---------------------------------------------------------------- frames

void Sim::advanceFrameLocked()
{
    ++m_frame;
    // Creations and removals that fall due.
    std::vector<PendingCreate> due;
    for (auto it = m_pendingCreates.begin(); it != m_pendingCreates.end();) {
        if (it->dueFrame <= m_frame) {
            due.push_back(std::move(*it));
            it = m_pendingCreates.erase(it);
        } else {
            ++it;
        }
    }
    for (PendingCreate& p : due)
        finishCreate(p);
    for (auto it = m_pendingRemovals.begin(); it != m_pendingRemovals.end();) {
        if (it->dueFrame <= m_frame) {
            removeObjectLocked(it->objectId, "client");
            it = m_pendingRemovals.erase(it);
        } else {
            ++it;
        }
    }
    const std::uint32_t perSecond = std::max<std::uint32_t>(1, m_options.framesPerSecond);
    if (m_traceFile.enabled()) {
        const std::uint64_t traceRate =
            m_options.realtime ? std::max<std::uint64_t>(1, std::llround(m_options.frameRate)) : perSecond;
        if (m_frame % traceRate == 0)
            traceUser();
        m_traceFile.tick();
    }
    for (auto& [index, c] : m_connections) {
        if (c.quit)
            continue;
        for (const PeriodicRequest& r : c.periodic) {
            const std::uint64_t age = m_frame - r.startFrame;
            if (r.period == SIMCONNECT_PERIOD_VISUAL_FRAME || r.period == SIMCONNECT_PERIOD_SIM_FRAME ||
                (r.period == SIMCONNECT_PERIOD_SECOND && age % perSecond == 0))
                answerPeriodic(c, r);
        }
        for (const auto& [eventId, name] : c.systemEvents) {
            if (name != "frame")
                continue;
            SIMCONNECT_RECV_EVENT_FRAME f{sizeof(SIMCONNECT_RECV_EVENT_FRAME),
                                          kVersion,
                                          SIMCONNECT_RECV_ID_EVENT_FRAME,
                                          SIMCONNECT_RECV_EVENT_UNKNOWN_GROUP,
                                          eventId,
                                          0,
                                          static_cast<float>(m_options.frameRate),
                                          1.0f};
            queue(c, lf_packetOf(f));
        }
    }
}

// ---------------------------------------------------------------- SimConnect functions

ScHresult Sim::open(ScHandle* handle, const char* name)
{
    Lock lock(m_mutex);
    const std::string text = name ? name : "";
    if (!handle)
        return finish(nullptr, Fn::Open, SC_E_INVALIDARG, {}, text, false);
    *handle = nullptr;
    if (const auto fault = faultFor(Fn::Open))
        return finish(nullptr, Fn::Open, *fault, {}, text, false);
    if (!m_options.available)
        return finish(nullptr, Fn::Open, SC_E_FAIL, {}, text, false);
    Connection& c = m_connections[m_nextConnection];
    c.index = m_nextConnection++;
    c.name = text;
    SIMCONNECT_RECV_OPEN o{};
    o.dwSize = sizeof(o);
    o.dwVersion = kVersion;
    o.dwID = SIMCONNECT_RECV_ID_OPEN;
    std::strncpy(o.szApplicationName, m_options.simName.c_str(), sizeof(o.szApplicationName) - 1);
    o.dwApplicationVersionMajor = m_options.appVersion[0];
    o.dwApplicationVersionMinor = m_options.appVersion[1];
    o.dwApplicationBuildMajor = m_options.appVersion[2];
    o.dwApplicationBuildMinor = m_options.appVersion[3];
    o.dwSimConnectVersionMajor = m_options.simConnectVersion[0];
    o.dwSimConnectVersionMinor = m_options.simConnectVersion[1];
    o.dwSimConnectBuildMajor = m_options.simConnectVersion[2];
    o.dwSimConnectBuildMinor = m_options.simConnectVersion[3];
    queue(c, lf_packetOf(o));
    *handle = reinterpret_cast<ScHandle>(static_cast<std::uintptr_t>(0x5C000000u + c.index));
    return finish(&c, Fn::Open, SC_S_OK, {c.index}, text, false);
}

ScHresult Sim::close(ScHandle h)
{
    Lock lock(m_mutex);
    Connection* c = connectionOf(h);
    if (!c)
        return finish(nullptr, Fn::Close, SC_E_FAIL, {}, "invalid handle", false);
    if (const auto fault = faultFor(Fn::Close))
        return finish(c, Fn::Close, *fault, {}, "scripted fault", false);
    const std::uint32_t index = c->index;
    finish(c, Fn::Close, SC_S_OK, {index}, {}, false);
    if (m_traceFile.enabled())
        m_traceFile.write("close", m_frame, traceSeconds(), {{"connection", index}});
    m_connections.erase(index);
    m_pendingCreates.erase(std::remove_if(m_pendingCreates.begin(), m_pendingCreates.end(),
                                          [&](const PendingCreate& p) { return p.connection == index; }),
                           m_pendingCreates.end());
    std::vector<std::uint32_t> owned;
    for (auto& [id, o] : m_objects)
        if (o.owner == index)
            owned.push_back(id);
    std::sort(owned.begin(), owned.end());
    for (std::uint32_t id : owned) {
        if (m_options.closeRemovesObjects)
            removeObjectLocked(id, "close");
        else
            m_objects[id].owner = 0;
    }
    m_traceFile.flush();
    m_idle.notify_all();
    return SC_S_OK;
}

ScHresult Sim::callDispatch(ScHandle h, DispatchProc proc, void* context)
{
    Lock lock(m_mutex);
    Connection* c = connectionOf(h);
    if (!c)
        return finish(nullptr, Fn::CallDispatch, SC_E_FAIL, {}, "invalid handle", false);
    if (const auto fault = faultFor(Fn::CallDispatch))
        return finish(c, Fn::CallDispatch, *fault, {}, "scripted fault", false);
    ++c->dispatchCalls;
    for (auto it = c->facilityStreams.begin(); it != c->facilityStreams.end();) {
        if (it->releaseAtDispatch <= c->dispatchCalls) {
            for (Packet& p : it->packets)
                queue(*c, std::move(p));
            it = c->facilityStreams.erase(it);
        } else {
            ++it;
        }
    }
    if (c->queue.empty()) // nothing delivered: not traced, the client polls every millisecond
        return SC_S_OK;
    std::deque<Packet> packets;
    packets.swap(c->queue);
    finish(c, Fn::CallDispatch, SC_S_OK, {static_cast<std::uint32_t>(packets.size())}, {}, false);
    ++m_dispatching;
    lock.unlock();
    std::size_t delivered = 0;
    try {
        for (; delivered < packets.size(); ++delivered)
            if (proc)
                proc(reinterpret_cast<SIMCONNECT_RECV*>(packets[delivered].bytes.data()), packets[delivered].size,
                     context);
    } catch (...) {
        // The client's exception passes through; the packets after the one
        // it failed on come with its next dispatch.
        lock.lock();
        if (Connection* again = connectionOf(h))
            again->queue.insert(again->queue.begin(), std::make_move_iterator(packets.begin() + delivered + 1),
                                std::make_move_iterator(packets.end()));
        --m_dispatching;
        m_idle.notify_all();
        throw;
    }
    lock.lock();
    --m_dispatching;
    m_idle.notify_all();
    return SC_S_OK;
}

ScHresult Sim::subscribe(ScHandle h, std::uint32_t eventId, const char* name)
{
    Lock lock;
    Connection* c;
    ScHresult hr;
    if (!begin(lock, h, Fn::SubscribeToSystemEvent, c, hr))
        return hr;
    const std::string event = lf_lower(name ? name : "");
    c->systemEvents[eventId] = event;
    finish(c, Fn::SubscribeToSystemEvent, SC_S_OK, {eventId}, name ? name : "", true);
    if (event == "sim") // the current state at once, then every change
        queueEvent(*c, eventId, m_options.simRunning ? 1 : 0);
    return SC_S_OK;
}

ScHresult Sim::addToDataDefinition(ScHandle h, std::uint32_t defineId, const char* datum, const char* unit,
                                   SIMCONNECT_DATATYPE type, float, std::uint32_t datumId)
{
    Lock lock;
    Connection* c;
    ScHresult hr;
    if (!begin(lock, h, Fn::AddToDataDefinition, c, hr))
        return hr;
    Datum d;
    d.name = datum ? datum : "";
    d.unit = unit ? unit : "";
    d.type = type;
    d.var = lf_varOf(d.name);
    const std::string u = lf_lower(d.unit);
    d.radians = u == "radian" || u == "radians";
    Definition& def = c->definitions[defineId];
    if (type == SIMCONNECT_DATATYPE_STRINGV)
        def.variable = true;
    else
        def.fixedSize += lf_sizeOf(type);
    def.datums.push_back(d);
    return finish(c, Fn::AddToDataDefinition, SC_S_OK, {defineId, static_cast<std::uint32_t>(type), datumId},
                  d.name + "|" + d.unit, true);
}

ScHresult Sim::mapClientEvent(ScHandle h, std::uint32_t eventId, const char* name)
{
    Lock lock;
    Connection* c;
    ScHresult hr;
    if (!begin(lock, h, Fn::MapClientEventToSimEvent, c, hr))
        return hr;
    c->clientEvents[eventId] = name ? name : "";
    return finish(c, Fn::MapClientEventToSimEvent, SC_S_OK, {eventId}, name ? name : "", true);
}

ScHresult Sim::addClientEventToGroup(ScHandle h, std::uint32_t groupId, std::uint32_t eventId, std::int32_t maskable)
{
    Lock lock;
    Connection* c;
    ScHresult hr;
    if (!begin(lock, h, Fn::AddClientEventToNotificationGroup, c, hr))
        return hr;
    c->groups[groupId].push_back(eventId);
    return finish(c, Fn::AddClientEventToNotificationGroup, SC_S_OK,
                  {groupId, eventId, static_cast<std::uint32_t>(maskable)}, {}, true);
}

ScHresult Sim::setGroupPriority(ScHandle h, std::uint32_t groupId, std::uint32_t priority)
{
    Lock lock;
    Connection* c;
    ScHresult hr;
    if (!begin(lock, h, Fn::SetNotificationGroupPriority, c, hr))
        return hr;
    c->groupPriority[groupId] = priority;
    return finish(c, Fn::SetNotificationGroupPriority, SC_S_OK, {groupId, priority}, {}, true);
}

ScHresult Sim::requestData(ScHandle h, std::uint32_t requestId, std::uint32_t defineId, std::uint32_t objectId,
                           SIMCONNECT_PERIOD period, std::uint32_t flags, std::uint32_t origin,
                           std::uint32_t interval, std::uint32_t limit)
{
    Lock lock;
    Connection* c;
    ScHresult hr;
    if (!begin(lock, h, Fn::RequestDataOnSimObject, c, hr))
        return hr;
    finish(c, Fn::RequestDataOnSimObject, SC_S_OK,
           {requestId, defineId, objectId, static_cast<std::uint32_t>(period), flags, origin}, {}, true);
    (void)interval;
    (void)limit;
    const auto def = c->definitions.find(defineId);
    SimObject* object = objectById(objectId);
    if (def == c->definitions.end() || !object) {
        queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, c->lastPacketId, def == c->definitions.end() ? 2 : 4);
        return SC_S_OK;
    }
    // A request id names one request: a new one replaces it.
    std::erase_if(c->periodic, [&](const PeriodicRequest& r) { return r.requestId == requestId; });
    PeriodicRequest r{requestId, defineId, object->id, period, flags, m_frame};
    if (period == SIMCONNECT_PERIOD_NEVER)
        return SC_S_OK;
    answerPeriodic(*c, r);
    if (period != SIMCONNECT_PERIOD_ONCE)
        c->periodic.push_back(r);
    return SC_S_OK;
}

ScHresult Sim::requestDataByType(ScHandle h, std::uint32_t requestId, std::uint32_t defineId, std::uint32_t radius,
                                 SIMCONNECT_SIMOBJECT_TYPE type)
{
    Lock lock;
    Connection* c;
    ScHresult hr;
    if (!begin(lock, h, Fn::RequestDataOnSimObjectType, c, hr))
        return hr;
    finish(c, Fn::RequestDataOnSimObjectType, SC_S_OK, {requestId, defineId, radius, static_cast<std::uint32_t>(type)},
           {}, true);
    const auto def = c->definitions.find(defineId);
    if (def == c->definitions.end()) {
        queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, c->lastPacketId, 2);
        return SC_S_OK;
    }
    if (radius > 200000) {
        queueException(*c, SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS, c->lastPacketId, 3);
        return SC_S_OK;
    }
    std::vector<const SimObject*> found{&m_user};
    if (type != SIMCONNECT_SIMOBJECT_TYPE_USER && radius > 0) {
        const LatLon user{m_user.v[size_t(Var::Latitude)], m_user.v[size_t(Var::Longitude)]};
        std::vector<std::uint32_t> ids;
        for (const auto& [id, o] : m_objects)
            ids.push_back(id);
        std::sort(ids.begin(), ids.end());
        for (std::uint32_t id : ids) {
            const SimObject& o = m_objects[id];
            const LatLon at{o.v[size_t(Var::Latitude)], o.v[size_t(Var::Longitude)]};
            if (gf_distanceNm(user, at) * 1852.0 <= radius)
                found.push_back(&o);
        }
    }
    const auto n = static_cast<std::uint32_t>(found.size());
    for (std::uint32_t i = 0; i < n; ++i)
        queueData(*c, SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, requestId, *found[i], defineId, def->second, 0, i + 1, n);
    return SC_S_OK;
}

ScHresult Sim::setData(ScHandle h, std::uint32_t defineId, std::uint32_t objectId, std::uint32_t flags,
                       std::uint32_t arrayCount, std::uint32_t unitSize, const void* data)
{
    Lock lock;
    Connection* c;
    ScHresult hr;
    if (!begin(lock, h, Fn::SetDataOnSimObject, c, hr))
        return hr;
    finish(c, Fn::SetDataOnSimObject, SC_S_OK, {defineId, objectId, flags, arrayCount, unitSize}, {}, true);
    const auto def = c->definitions.find(defineId);
    SimObject* object = objectById(objectId);
    if (def == c->definitions.end() || !object) {
        queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, c->lastPacketId, def == c->definitions.end() ? 1 : 2);
        return SC_S_OK;
    }
    if (def->second.variable || unitSize != def->second.fixedSize || !data) {
        queueException(*c, SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE, c->lastPacketId, 5);
        return SC_S_OK;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    PositionRecord rec;
    rec.frame = m_frame;
    rec.objectId = object->id;
    rec.defineId = defineId;
    std::size_t offset = 0;
    for (const Datum& d : def->second.datums) {
        double value = 0.0;
        switch (d.type) {
        case SIMCONNECT_DATATYPE_FLOAT64: std::memcpy(&value, bytes + offset, 8); break;
        case SIMCONNECT_DATATYPE_INT64: { std::int64_t v; std::memcpy(&v, bytes + offset, 8); value = double(v); break; }
        case SIMCONNECT_DATATYPE_FLOAT32: { float v; std::memcpy(&v, bytes + offset, 4); value = v; break; }
        case SIMCONNECT_DATATYPE_INT32: { std::int32_t v; std::memcpy(&v, bytes + offset, 4); value = v; break; }
        default: break;
        }
        offset += lf_sizeOf(d.type);
        if (rec.count < rec.values.size())
            rec.values[rec.count++] = value;
        setValue(*object, d.var, d.radians ? value * 180.0 / kPi : value);
    }
    if (m_options.tracePositions)
        m_positions.push_back(rec);
    if (!object->user && m_traceFile.enabled() && m_traceFile.keepsFrame(m_frame) &&
        std::any_of(def->second.datums.begin(), def->second.datums.end(),
                    [](const Datum& d) { return d.var == Var::Latitude; }))
        tracePosition(*object);
    return SC_S_OK;
}

ScHresult Sim::transmitClientEvent(ScHandle h, std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data,
                                   std::uint32_t groupId, std::uint32_t flags)
{
    Lock lock;
    Connection* c;
    ScHresult hr;
    if (!begin(lock, h, Fn::TransmitClientEvent, c, hr))
        return hr;
    finish(c, Fn::TransmitClientEvent, SC_S_OK, {objectId, eventId, data, groupId, flags}, {}, true);
    const auto mapped = c->clientEvents.find(eventId);
    SimObject* object = objectById(objectId);
    if (mapped == c->clientEvents.end() || !object) {
        queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, c->lastPacketId, mapped == c->clientEvents.end() ? 2 : 1);
        return SC_S_OK;
    }
    const std::string name = mapped->second;
    if (name == "FREEZE_LATITUDE_LONGITUDE_SET")
        object->frozenLatLon = data != 0;
    else if (name == "FREEZE_ALTITUDE_SET")
        object->frozenAltitude = data != 0;
    else if (name == "FREEZE_ATTITUDE_SET")
        object->frozenAttitude = data != 0;
    if (m_options.keepHistory)
        m_events.push_back(ObjectEvent{m_frame, object->id, name, data, groupId, flags});
    if (m_traceFile.enabled())
        m_traceFile.write("event", m_frame, traceSeconds(), {{"id", object->id}, {"name", name}, {"value", data}});
    return SC_S_OK;
}

ScHresult Sim::createNonAtcAircraft(ScHandle h, const char* title, const char* tail,
                                    const SIMCONNECT_DATA_INITPOSITION& init, std::uint32_t requestId)
{
    Lock lock;
    Connection* c;
    ScHresult hr;
    if (!begin(lock, h, Fn::AICreateNonATCAircraft, c, hr))
        return hr;
    const std::string titleText = title ? title : "";
    const std::string tailText = tail ? tail : "";
    finish(c, Fn::AICreateNonATCAircraft, SC_S_OK, {requestId, init.OnGround, init.Airspeed},
           titleText + "|" + tailText, true);
    const bool known = m_titles.empty() || titleInfo(titleText) != nullptr;
    if (!known) {
        queueException(*c, SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, c->lastPacketId, 1);
        traceRefuse(titleText, tailText, requestId, SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED);
        return SC_S_OK;
    }
    if (m_objects.size() + m_pendingCreates.size() >= m_options.objectLimit) {
        queueException(*c, SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS, c->lastPacketId, SIMCONNECT_RECV_EXCEPTION_UNKNOWN_INDEX);
        traceRefuse(titleText, tailText, requestId, SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS);
        return SC_S_OK;
    }
    PendingCreate p;
    p.connection = c->index;
    p.dueFrame = m_frame + m_options.assignDelayFrames;
    SimObject& o = p.object;
    o.owner = c->index;
    o.title = titleText;
    o.tail = tailText;
    o.init = init;
    o.requestId = requestId;
    o.packetId = c->lastPacketId;
    o.atcModel = "";
    auto& v = o.v;
    v[size_t(Var::Latitude)] = init.Latitude;
    v[size_t(Var::Longitude)] = init.Longitude;
    v[size_t(Var::Altitude)] = init.OnGround ? groundFtAt(init.Latitude, init.Longitude) : init.Altitude;
    v[size_t(Var::Pitch)] = init.Pitch;
    v[size_t(Var::Bank)] = init.Bank;
    v[size_t(Var::Heading)] = init.Heading;
    v[size_t(Var::TrueAirspeed)] = init.Airspeed == INITPOSITION_AIRSPEED_CRUISE || init.Airspeed == INITPOSITION_AIRSPEED_KEEP
                                       ? 0.0
                                       : init.Airspeed;
    if (m_options.assignDelayFrames == 0)
        finishCreate(p);
    else
        m_pendingCreates.push_back(std::move(p));
    return SC_S_OK;
}

ScHresult Sim::getLastSentPacketId(ScHandle h, ScDword* id)
{
    Lock lock;
    Connection* c;
    ScHresult hr;
    if (!begin(lock, h, Fn::GetLastSentPacketID, c, hr))
        return hr;
    if (!id)
        return finish(c, Fn::GetLastSentPacketID, SC_E_INVALIDARG, {}, {}, false);
    *id = c->lastPacketId;
    return finish(c, Fn::GetLastSentPacketID, SC_S_OK, {c->lastPacketId}, {}, false);
}

ScHresult Sim::releaseControl(ScHandle h, std::uint32_t objectId, std::uint32_t requestId)
{
    Lock lock;
    Connection* c;
    ScHresult hr;
    if (!begin(lock, h, Fn::AIReleaseControl, c, hr))
        return hr;
    finish(c, Fn::AIReleaseControl, SC_S_OK, {objectId, requestId}, {}, true);
    const auto it = m_objects.find(objectId);
    if (it == m_objects.end()) {
        queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, c->lastPacketId, 1);
        return SC_S_OK;
    }
    it->second.released = true;
    if (m_options.keepHistory)
        m_events.push_back(ObjectEvent{m_frame, objectId, "AIReleaseControl", requestId, 0, 0});
    return SC_S_OK;
}

ScHresult Sim::removeObject(ScHandle h, std::uint32_t objectId, std::uint32_t requestId)
{
    Lock lock;
    Connection* c;
    ScHresult hr;
    if (!begin(lock, h, Fn::AIRemoveObject, c, hr))
        return hr;
    finish(c, Fn::AIRemoveObject, SC_S_OK, {objectId, requestId}, {}, true);
    const auto it = m_objects.find(objectId);
    const bool pending = std::any_of(m_pendingRemovals.begin(), m_pendingRemovals.end(),
                                     [&](const PendingRemoval& r) { return r.objectId == objectId; });
    if (it == m_objects.end() || pending) {
        queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, c->lastPacketId, 1);
        return SC_S_OK;
    }
    if (it->second.owner != c->index) {
        queueException(*c, SIMCONNECT_EXCEPTION_ILLEGAL_OPERATION, c->lastPacketId, 1);
        return SC_S_OK;
    }
    if (m_options.removeDelayFrames == 0)
        removeObjectLocked(objectId, "client");
    else
        m_pendingRemovals.push_back(PendingRemoval{objectId, m_frame + m_options.removeDelayFrames});
    return SC_S_OK;
}

void Sim::reset()
{
    stopRealtime();
    Lock lock(m_mutex);
    m_options = Options{};
    m_connections.clear();
    m_nextConnection = 1;
    m_frame = 0;
    m_nextPacketId = m_options.firstPacketId;
    m_nextObjectId = m_options.firstObjectId;
    m_user = SimObject{};
    m_user.user = true;
    m_user.id = m_options.userObjectId;
    m_user.title = "Stand-in Aircraft";
    m_userPath = nlohmann::json::array();
    m_objects.clear();
    m_pendingCreates.clear();
    m_pendingRemovals.clear();
    m_titles = nlohmann::json::array();
    m_airports = nlohmann::json::array();
    m_callCounts.fill(0);
    for (auto& f : m_faults)
        f.clear();
    m_truncations.clear();
    m_calls.clear();
    m_positions.clear();
    m_events.clear();
    m_objectRecords.clear();
    m_objectRecordIndex.clear();
    m_errors.clear();
    m_environmentLoaded = false; // the next Open reads KELO_SIM_SCENARIO again
    m_traceFile.configure();
    m_started = std::chrono::steady_clock::now();
    m_idle.notify_all();
}

// ---------------------------------------------------------------- trace file

double Sim::traceSeconds() const
{
    if (m_options.realtime)
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    return double(m_frame) / double(std::max<std::uint32_t>(1, m_options.framesPerSecond));
}

void Sim::traceCreate(const SimObject& o)
{
    if (!m_traceFile.enabled())
        return;
    const SIMCONNECT_DATA_INITPOSITION& i = o.init;
    nlohmann::json members = {{"id", o.id}, {"req", o.requestId}, {"title", o.title}, {"tail", o.tail},
                              {"lat", i.Latitude}, {"lon", i.Longitude}, {"alt_ft", i.Altitude}, {"hdg", i.Heading},
                              {"pitch", i.Pitch}, {"bank", i.Bank}, {"on_ground", i.OnGround != 0}, {"kts", i.Airspeed}};
    // The model's category ("Airplane", "Helicopter"), where the title list
    // gives one: the trace check holds helicopters to their own speeds.
    if (const auto* info = titleInfo(o.title); info && info->is_object() && info->contains("category"))
        members["category"] = info->value("category", std::string{});
    m_traceFile.write("create", m_frame, traceSeconds(), members);
}

void Sim::traceRefuse(const std::string& title, const std::string& tail, std::uint32_t requestId,
                      std::uint32_t exception)
{
    if (m_traceFile.enabled())
        m_traceFile.write("refuse", m_frame, traceSeconds(),
                          {{"req", requestId}, {"title", title}, {"tail", tail}, {"exception", exception}});
}

void Sim::tracePosition(const SimObject& o)
{
    const auto at = [&](Var v) { return o.v[static_cast<std::size_t>(v)]; };
    m_traceFile.write("pos", m_frame, traceSeconds(),
                      {{"id", o.id}, {"lat", at(Var::Latitude)}, {"lon", at(Var::Longitude)},
                       {"alt_ft", at(Var::Altitude)}, {"hdg", at(Var::Heading)}, {"pitch", at(Var::Pitch)},
                       {"bank", at(Var::Bank)}, {"vs_fpm", at(Var::VerticalSpeed)}, {"kts", at(Var::TrueAirspeed)},
                       {"gnd_ft", groundFtAt(at(Var::Latitude), at(Var::Longitude))},
                       {"on_ground", valueOf(o, Var::OnGround) != 0.0}});
}

void Sim::traceRemove(std::uint32_t id, const std::string& by)
{
    if (m_traceFile.enabled())
        m_traceFile.write("remove", m_frame, traceSeconds(),
                          {{"id", id}, {"by", by == "client" || by == "close" ? by : std::string("sim")}});
}

void Sim::traceUser()
{
    const auto at = [&](Var v) { return m_user.v[static_cast<std::size_t>(v)]; };
    m_traceFile.write("user", m_frame, traceSeconds(),
                      {{"lat", at(Var::Latitude)}, {"lon", at(Var::Longitude)}, {"alt_ft", at(Var::Altitude)},
                       {"hdg", at(Var::Heading)}, {"on_ground", valueOf(m_user, Var::OnGround) != 0.0}});
}

} // namespace kvr::standin
