// Size checks of received SimConnect packets (see the header).
#include "simlink/simconnect_packets.h"

#include <fmt/format.h>

#include "core/log.h"
#include "simlink/simconnect_ids.h"

bool lf_checkPayloadSize(std::uint32_t cbData, std::uint32_t required, std::string_view name)
{
    if (cbData >= required)
        return true;
    gf_logError(fmt::format("SimConnect {} payload too small: {} < {} bytes", name, cbData, required));
    return false;
}

std::uint32_t gf_packetSize(const SIMCONNECT_RECV* packet, std::uint32_t cbData)
{
    if (!packet || cbData < sizeof(SIMCONNECT_RECV))
        return cbData;
    return packet->dwSize < cbData ? packet->dwSize : cbData;
}

std::optional<PacketMinimum> gf_packetMinimum(std::uint32_t recvId)
{
    switch (recvId) {
    case SIMCONNECT_RECV_ID_EXCEPTION: return PacketMinimum{24, "EXCEPTION"};
    case SIMCONNECT_RECV_ID_OPEN: return PacketMinimum{308, "OPEN"};
    case SIMCONNECT_RECV_ID_EVENT: return PacketMinimum{24, "EVENT"};
    case SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE: return PacketMinimum{28, "EVENT_OBJECT_ADDREMOVE"};
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA: return PacketMinimum{40, "SIMOBJECT_DATA"};
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE: return PacketMinimum{40, "SIMOBJECT_DATA_BYTYPE"};
    case SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID: return PacketMinimum{20, "ASSIGNED_OBJECT_ID"};
    case SIMCONNECT_RECV_ID_FACILITY_DATA: return PacketMinimum{40, "FACILITY_DATA"};
    case SIMCONNECT_RECV_ID_FACILITY_DATA_END: return PacketMinimum{16, "FACILITY_DATA_END"};
    default: return std::nullopt;
    }
}

std::optional<PacketMinimum> gf_simObjectDataMinimum(std::uint32_t requestId)
{
    switch (requestId) {
    case AI_POSITION: return PacketMinimum{96, "AI_POSITION"};
    case AI_STATIC_CG_AND_PITCH: return PacketMinimum{56, "AI_STATIC_CG_AND_PITCH"};
    case USER_AC_TITLE: return PacketMinimum{41, "USER_AC_TITLE"};
    case USER_AC_MODEL: return PacketMinimum{72, "USER_AC_MODEL"};
    case USER_AC_ON_GROUND: return PacketMinimum{48, "USER_AC_ON_GROUND"};
    case USER_AC_POSITION: return PacketMinimum{160, "USER_AC_POSITION"};
    default: return std::nullopt;
    }
}

std::optional<PacketMinimum> gf_facilityRecordMinimum(std::uint32_t requestId, std::uint32_t recordType)
{
    if (requestId == REQUEST_FACILITY_PARKING) {
        switch (recordType) {
        case SIMCONNECT_FACILITY_DATA_AIRPORT: return PacketMinimum{104, "FACILITY_DATA AIRPORT"};
        case SIMCONNECT_FACILITY_DATA_TAXI_PARKING: return PacketMinimum{80, "FACILITY_DATA TAXI_PARKING"};
        case SIMCONNECT_FACILITY_DATA_HELIPAD: return PacketMinimum{84, "FACILITY_DATA HELIPAD"};
        default: return std::nullopt;
        }
    }
    if (requestId == REQUEST_FACILITY_RUNWAYS) {
        switch (recordType) {
        case SIMCONNECT_FACILITY_DATA_AIRPORT: return PacketMinimum{56, "FACILITY_DATA AIRPORT"};
        case SIMCONNECT_FACILITY_DATA_RUNWAY: return PacketMinimum{92, "FACILITY_DATA RUNWAY"};
        case SIMCONNECT_FACILITY_DATA_PAVEMENT: return PacketMinimum{52, "FACILITY_DATA PAVEMENT"};
        case SIMCONNECT_FACILITY_DATA_START: return PacketMinimum{80, "FACILITY_DATA START"};
        default: return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<std::uint32_t> gf_checkReceivedPacket(const SIMCONNECT_RECV* packet, std::uint32_t cbData)
{
    if (!packet)
        return std::nullopt;
    const std::uint32_t size = gf_packetSize(packet, cbData);
    if (!lf_checkPayloadSize(size, sizeof(SIMCONNECT_RECV), "RECV"))
        return std::nullopt;
    if (const auto minimum = gf_packetMinimum(packet->dwID)) {
        if (!lf_checkPayloadSize(size, minimum->bytes, minimum->name))
            return std::nullopt;
    }
    return size;
}

bool gf_checkPacketKind(std::uint32_t recvId, std::uint32_t size)
{
    const auto minimum = gf_packetMinimum(recvId);
    return !minimum || lf_checkPayloadSize(size, minimum->bytes, minimum->name);
}

bool gf_checkSimObjectData(std::uint32_t requestId, std::uint32_t size)
{
    const auto minimum = gf_simObjectDataMinimum(requestId);
    return !minimum || lf_checkPayloadSize(size, minimum->bytes, minimum->name);
}

bool gf_checkFacilityRecord(std::uint32_t requestId, std::uint32_t recordType, std::uint32_t size)
{
    const auto minimum = gf_facilityRecordMinimum(requestId, recordType);
    return !minimum || lf_checkPayloadSize(size, minimum->bytes, minimum->name);
}
