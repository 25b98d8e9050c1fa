#pragma once
// Received SimConnect packets built byte for byte, for feeding the handlers
// without a simulator.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kvr::test {

class Packet {
public:
    explicit Packet(uint32_t size) : bytes(size, 0) { put<uint32_t>(0, size); }

    template <typename T>
    Packet& put(size_t offset, T value)
    {
        std::memcpy(bytes.data() + offset, &value, sizeof(T));
        return *this;
    }
    Packet& text(size_t offset, const std::string& s)
    {
        std::memcpy(bytes.data() + offset, s.data(), s.size());
        return *this;
    }
    const void* data() const { return bytes.data(); }
    uint32_t size() const { return static_cast<uint32_t>(bytes.size()); }

    std::vector<unsigned char> bytes;
};

// SIMOBJECT_DATA (id 8) for a request, an object and `dataBytes` of payload.
inline Packet simObjectData(uint32_t requestId, uint32_t objectId, uint32_t dataBytes)
{
    Packet p(40 + dataBytes);
    p.put<uint32_t>(8, 8).put<uint32_t>(12, requestId).put<uint32_t>(16, objectId);
    return p;
}

// FACILITY_DATA (id 28) of one record.
inline Packet facilityRecord(uint32_t requestId, uint32_t type, uint32_t size, uint32_t uniqueId = 0,
                             uint32_t parentId = 0)
{
    Packet p(size);
    p.put<uint32_t>(8, 28).put<uint32_t>(12, requestId).put<uint32_t>(16, uniqueId).put<uint32_t>(20, parentId);
    p.put<uint32_t>(24, type);
    return p;
}

} // namespace kvr::test
