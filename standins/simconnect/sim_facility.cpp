// The stand-in simulator's facility data and AI flight plans.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <pugixml.hpp>

#include "standins/simconnect/sim_model.h"

namespace kvr::standin {

namespace {

constexpr std::uint32_t kVersion = 11;

// A facility definition as a tree: "OPEN X" ... "CLOSE X" around fields.
struct FacilityNode {
    std::string name;
    std::vector<std::string> fields;
    std::vector<FacilityNode> children;
};

bool lf_parseNode(const std::vector<std::string>& fields, std::size_t& i, FacilityNode& node)
{
    while (i < fields.size()) {
        const std::string& f = fields[i++];
        if (f.rfind("OPEN ", 0) == 0) {
            FacilityNode child{f.substr(5), {}, {}};
            if (!lf_parseNode(fields, i, child))
                return false;
            node.children.push_back(std::move(child));
        } else if (f.rfind("CLOSE ", 0) == 0) {
            return f.substr(6) == node.name;
        } else {
            node.fields.push_back(f);
        }
    }
    return node.name.empty();
}

std::optional<std::uint32_t> lf_recordType(const std::string& name)
{
    if (name == "AIRPORT") return SIMCONNECT_FACILITY_DATA_AIRPORT;
    if (name == "RUNWAY") return SIMCONNECT_FACILITY_DATA_RUNWAY;
    if (name == "START") return SIMCONNECT_FACILITY_DATA_START;
    if (name == "FREQUENCY") return SIMCONNECT_FACILITY_DATA_FREQUENCY;
    if (name == "HELIPAD") return SIMCONNECT_FACILITY_DATA_HELIPAD;
    if (name == "TAXI_POINT") return SIMCONNECT_FACILITY_DATA_TAXI_POINT;
    if (name == "TAXI_PARKING") return SIMCONNECT_FACILITY_DATA_TAXI_PARKING;
    if (name.find("THRESHOLD") != std::string::npos || name.find("BLASTPAD") != std::string::npos ||
        name.find("OVERRUN") != std::string::npos)
        return SIMCONNECT_FACILITY_DATA_PAVEMENT;
    return std::nullopt;
}

// Field types by name (NAME of an airport is a 32-byte text, of a parking an index).
void lf_appendField(std::vector<std::uint8_t>& bytes, const std::string& record, const std::string& field,
                    const nlohmann::json& entity)
{
    const auto it = entity.find(field);
    const nlohmann::json value = it != entity.end() ? *it : nlohmann::json(nullptr);
    auto put = [&](const void* p, std::size_t n) {
        const auto* b = static_cast<const std::uint8_t*>(p);
        bytes.insert(bytes.end(), b, b + n);
    };
    auto text = [&](std::size_t n) {
        std::string t = value.is_string() ? value.get<std::string>() : std::string{};
        t.resize(n, '\0');
        t[n - 1] = '\0';
        put(t.data(), n);
    };
    const double number = value.is_number() ? value.get<double>() : 0.0;
    if (field == "LATITUDE" || field == "LONGITUDE" || field == "ALTITUDE") {
        put(&number, 8);
    } else if (field == "NAME" && record == "AIRPORT") {
        text(32);
    } else if (field == "NAME64") {
        text(64);
    } else if (field == "ICAO" || field == "REGION") {
        text(8);
    } else if (field == "HEADING" || field == "RADIUS" || field == "BIAS_X" || field == "BIAS_Z" ||
               field == "LENGTH" || field == "WIDTH" || field == "MAGVAR") {
        const float f = static_cast<float>(number);
        put(&f, 4);
    } else {
        const auto i = static_cast<std::int32_t>(number);
        put(&i, 4);
    }
}

struct StreamBuilder {
    std::uint32_t requestId;
    std::uint32_t nextUnique;
    const nlohmann::json& faults;
    std::vector<Packet> packets;
    std::map<std::uint32_t, std::uint32_t> seenOfType;

    bool dropped(std::uint32_t type, std::uint32_t index) const
    {
        if (const auto it = faults.find("drop"); it != faults.end())
            for (const auto& d : *it)
                if (d.value("type", -1) == int(type) && (!d.contains("index") || d.value("index", 0u) == index))
                    return true;
        return false;
    }

    void emit(const FacilityNode& node, const nlohmann::json& entity, std::uint32_t parent, bool listItem,
              std::uint32_t itemIndex, std::uint32_t listSize)
    {
        const auto type = lf_recordType(node.name);
        if (!type)
            return;
        const std::uint32_t unique = nextUnique++;
        const std::uint32_t ordinal = seenOfType[*type]++;
        if (!dropped(*type, ordinal)) {
            std::vector<std::uint8_t> bytes(SIMCONNECT_DATA_HEADER_SIZE, 0);
            for (const std::string& f : node.fields)
                lf_appendField(bytes, node.name, f, entity);
            SIMCONNECT_RECV_FACILITY_DATA head{};
            head.dwSize = static_cast<std::uint32_t>(bytes.size());
            head.dwVersion = kVersion;
            head.dwID = SIMCONNECT_RECV_ID_FACILITY_DATA;
            head.UserRequestId = requestId;
            head.UniqueRequestId = unique;
            head.ParentUniqueRequestId = parent;
            head.Type = static_cast<SIMCONNECT_FACILITY_DATA_TYPE>(*type);
            head.IsListItem = listItem ? 1 : 0;
            head.ItemIndex = itemIndex;
            head.ListSize = listSize;
            std::memcpy(bytes.data(), &head, SIMCONNECT_DATA_HEADER_SIZE);
            Packet p;
            p.size = head.dwSize;
            if (const auto it = faults.find("truncate"); it != faults.end())
                for (const auto& t : *it)
                    if (t.value("type", -1) == int(*type) && t.value("size", 0u) < p.size) {
                        p.size = t.value("size", 0u);
                        if (p.size >= 4)
                            std::memcpy(bytes.data(), &p.size, 4);
                    }
            p.bytes = std::move(bytes);
            packets.push_back(std::move(p));
        }
        // Children follow their parent, each list in definition order.
        for (const FacilityNode& child : node.children) {
            const auto it = entity.find(child.name);
            if (it == entity.end())
                continue;
            if (it->is_array()) {
                const auto n = static_cast<std::uint32_t>(it->size());
                for (std::uint32_t i = 0; i < n; ++i)
                    emit(child, (*it)[i], unique, true, i, n);
            } else if (it->is_object()) {
                emit(child, *it, unique, false, 0, 0);
            }
        }
    }
};

} // namespace

ScHresult Sim::addToFacilityDefinition(ScHandle h, std::uint32_t defineId, const char* field)
{
    Lock lock;
    Connection* c;
    ScHresult hr;
    if (!begin(lock, h, Fn::AddToFacilityDefinition, c, hr))
        return hr;
    const std::string name = field ? field : "";
    c->facilityDefinitions[defineId].push_back(name);
    return finish(c, Fn::AddToFacilityDefinition, SC_S_OK, {defineId}, name, true);
}

ScHresult Sim::requestFacilityData(ScHandle h, std::uint32_t defineId, std::uint32_t requestId, const char* icao,
                                   const char* region)
{
    Lock lock;
    Connection* c;
    ScHresult hr;
    if (!begin(lock, h, Fn::RequestFacilityData, c, hr))
        return hr;
    const std::string code = icao ? icao : "";
    finish(c, Fn::RequestFacilityData, SC_S_OK, {defineId, requestId}, code + "|" + (region ? region : ""), true);
    const auto def = c->facilityDefinitions.find(defineId);
    if (def == c->facilityDefinitions.end()) {
        queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, c->lastPacketId, 1);
        return SC_S_OK;
    }
    FacilityNode root;
    std::size_t i = 0;
    if (!lf_parseNode(def->second, i, root) || root.children.size() != 1 || root.children[0].name != "AIRPORT") {
        queueException(*c, SIMCONNECT_EXCEPTION_DATA_ERROR, c->lastPacketId, 1);
        return SC_S_OK;
    }
    const nlohmann::json* airport = airportByIcao(code);
    if (!airport) {
        queueException(*c, SIMCONNECT_EXCEPTION_ERROR, c->lastPacketId, 3);
        return SC_S_OK;
    }
    // The airport record: the scenario's values, counts from the lists unless given.
    nlohmann::json entity = airport->value("facility", nlohmann::json::object());
    auto fill = [&](const char* key, const nlohmann::json& value) {
        if (!entity.contains(key))
            entity[key] = value;
    };
    fill("LATITUDE", airport->value("lat", 0.0));
    fill("LONGITUDE", airport->value("lon", 0.0));
    fill("ALTITUDE", airport->value("elevation_ft", 0.0) * 0.3048);
    fill("NAME", airport->value("name", std::string{}));
    for (const auto& [count, list] : {std::pair{"N_TAXI_PARKINGS", "TAXI_PARKING"}, std::pair{"N_HELIPADS", "HELIPAD"},
                                      std::pair{"N_RUNWAYS", "RUNWAY"}, std::pair{"N_STARTS", "START"}})
        fill(count, entity.contains(list) ? entity[list].size() : 0);
    const nlohmann::json faults = airport->value("faults", nlohmann::json::object());
    PendingFacility stream;
    stream.releaseAtDispatch = c->dispatchCalls + faults.value("delay_dispatches", 0u);
    if (const auto code22 = faults.find("exception"); code22 != faults.end()) {
        SIMCONNECT_RECV_EXCEPTION e{sizeof(SIMCONNECT_RECV_EXCEPTION), kVersion, SIMCONNECT_RECV_ID_EXCEPTION,
                                    code22->get<std::uint32_t>(), c->lastPacketId, 1};
        Packet p;
        p.bytes.resize(sizeof(e));
        std::memcpy(p.bytes.data(), &e, sizeof(e));
        p.size = sizeof(e);
        stream.packets.push_back(std::move(p));
    } else {
        StreamBuilder b{requestId, 1, faults, {}, {}};
        b.emit(root.children[0], entity, 0, false, 0, 0);
        stream.packets = std::move(b.packets);
        if (!faults.value("omit_end", false)) {
            SIMCONNECT_RECV_FACILITY_DATA_END end{sizeof(SIMCONNECT_RECV_FACILITY_DATA_END), kVersion,
                                                  SIMCONNECT_RECV_ID_FACILITY_DATA_END, requestId};
            Packet p;
            p.bytes.resize(sizeof(end));
            std::memcpy(p.bytes.data(), &end, sizeof(end));
            p.size = sizeof(end);
            stream.packets.push_back(std::move(p));
        }
    }
    c->facilityStreams.push_back(std::move(stream));
    return SC_S_OK;
}

// A flight plan loads when the file (".pln" may be left off) is an AceXML
// flight plan; anything else is exception 23.
ScHresult Sim::setFlightPlan(ScHandle h, std::uint32_t objectId, const char* path, std::uint32_t requestId)
{
    Lock lock;
    Connection* c;
    ScHresult hr;
    if (!begin(lock, h, Fn::AISetAircraftFlightPlan, c, hr))
        return hr;
    const std::string text = path ? path : "";
    finish(c, Fn::AISetAircraftFlightPlan, SC_S_OK, {objectId, requestId}, text, true);
    const auto it = m_objects.find(objectId);
    if (it == m_objects.end()) {
        queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, c->lastPacketId, 1);
        return SC_S_OK;
    }
    std::filesystem::path file = std::filesystem::u8path(text);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec) && file.extension().empty())
        file += ".pln";
    pugi::xml_document doc;
    const bool loaded = doc.load_file(file.c_str()) &&
                        doc.child("SimBase.Document").child("FlightPlan.FlightPlan");
    if (!loaded) {
        queueException(*c, SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED, c->lastPacketId, 2);
        return SC_S_OK;
    }
    const auto plan = doc.child("SimBase.Document").child("FlightPlan.FlightPlan");
    it->second.flightPlan = std::string(plan.child_value("DepartureID")) + "-" + plan.child_value("DestinationID");
    if (m_options.keepHistory)
        m_events.push_back(ObjectEvent{m_frame, objectId, "AISetAircraftFlightPlan", requestId, 0, 0});
    return SC_S_OK;
}

} // namespace kvr::standin
