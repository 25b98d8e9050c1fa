// Reading fields of received SimConnect packets. Packets are byte-packed, so
// every field is copied out of the buffer at its fixed offset; nothing is
// read before the packet's size has been checked against what it must hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// Copies a T from byte `offset` of the packet.
template <typename T>
T lf_readAt(const void* packet, size_t offset) noexcept
{
    T value;
    std::memcpy(&value, static_cast<const unsigned char*>(packet) + offset, sizeof(T));
    return value;
}

// The text of a fixed-size character field up to its first NUL (the whole
// field when it has none).
inline std::string lf_readFixedString(const void* packet, size_t offset, size_t width)
{
    const char* p = static_cast<const char*>(packet) + offset;
    return std::string(p, ::strnlen(p, width));
}

#include "simlink/simconnect_packets.h" // lf_checkPayloadSize

// Offsets shared by the SIMOBJECT_DATA and SIMOBJECT_DATA_BYTYPE packets.
inline constexpr size_t kPacketIdOffset = 8;
inline constexpr size_t kDataRequestIdOffset = 12;
inline constexpr size_t kDataObjectIdOffset = 16;
inline constexpr size_t kDataHeaderSize = 40;
