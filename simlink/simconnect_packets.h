// Size checks of the packets that SimConnect's dispatch hands over. No field
// of a packet is read before its size has been checked here; a short packet
// is logged and dropped.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "simlink/simconnect_api.h"

// The smallest size of one kind of packet, with the name its size message uses.
struct PacketMinimum {
    std::uint32_t bytes = 0;
    std::string_view name;
};

// True when cbData is at least `required`; otherwise logs the error line
// "SimConnect {name} payload too small: {cbData} < {required} bytes" (every
// time) and returns false.
bool lf_checkPayloadSize(std::uint32_t cbData, std::uint32_t required, std::string_view name);

// The number of bytes of a packet that may be read: cbData, or the packet's
// own dwSize when that is smaller. A packet under 12 bytes gives cbData (its
// dwSize cannot be read).
std::uint32_t gf_packetSize(const SIMCONNECT_RECV* packet, std::uint32_t cbData);

// Minimum of a packet kind by its dwID, for the kinds whose fields Kelo reads
// (EXCEPTION 24, OPEN 308, EVENT 24, EVENT_OBJECT_ADDREMOVE 28, SIMOBJECT_DATA
// and SIMOBJECT_DATA_BYTYPE 40, ASSIGNED_OBJECT_ID 20, FACILITY_DATA 40,
// FACILITY_DATA_END 16); no value for the others.
std::optional<PacketMinimum> gf_packetMinimum(std::uint32_t recvId);
// Minimum of a SIMOBJECT_DATA(_BYTYPE) answer by its request id (head and the
// definition's data): AI_POSITION 96, AI_STATIC_CG_AND_PITCH 56,
// USER_AC_TITLE 41, USER_AC_MODEL 72, USER_AC_ON_GROUND 48,
// USER_AC_POSITION 160; no value for other requests.
std::optional<PacketMinimum> gf_simObjectDataMinimum(std::uint32_t requestId);
// Minimum of one facility record by the request it answers (2001 stands,
// 2002 runways) and its record type; no value for records Kelo does not read.
std::optional<PacketMinimum> gf_facilityRecordMinimum(std::uint32_t requestId, std::uint32_t recordType);

// First check of every packet: the 12-byte head ("RECV"), then the minimum of
// its kind. Returns the readable size, or no value when the packet is dropped.
std::optional<std::uint32_t> gf_checkReceivedPacket(const SIMCONNECT_RECV* packet, std::uint32_t cbData);
// The minimum of one packet kind (from the table above) for a handler that
// reads that kind: true when the kind has none or `size` reaches it.
bool gf_checkPacketKind(std::uint32_t recvId, std::uint32_t size);
// Second check of a data answer that passed the first: the minimum of its
// request. Requests without a minimum pass.
bool gf_checkSimObjectData(std::uint32_t requestId, std::uint32_t size);
// Second check of a facility record that passed the first. Records Kelo does
// not read pass.
bool gf_checkFacilityRecord(std::uint32_t requestId, std::uint32_t recordType, std::uint32_t size);
