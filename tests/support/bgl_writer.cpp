#include "tests/support/bgl_writer.h"

#include <cmath>
#include <cstring>

namespace kvr::test {

uint32_t bglIdentWord(std::string_view ident)
{
    uint32_t value = 0;
    for (const char c : ident) {
        const uint32_t digit = c == ' ' ? 0 : c == '?' ? 1 : (c >= '0' && c <= '9') ? 2 + (c - '0') : 12 + (c - 'A');
        value = value * 38 + digit;
    }
    return value << 5;
}

uint32_t bglLongitude(double degrees)
{
    return static_cast<uint32_t>(std::llround((degrees + 180.0) / 4.470348358154297e-07));
}

uint32_t bglLatitude(double degrees)
{
    return static_cast<uint32_t>(std::llround((90.0 - degrees) / 3.3527612686157227e-07));
}

void putU16(std::string& bytes, std::size_t offset, uint16_t value)
{
    bytes[offset] = char(value & 0xFF);
    bytes[offset + 1] = char(value >> 8);
}

void putU32(std::string& bytes, std::size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = char((value >> (8 * i)) & 0xFF);
}

void putF32(std::string& bytes, std::size_t offset, float value)
{
    uint32_t raw;
    std::memcpy(&raw, &value, sizeof raw);
    putU32(bytes, offset, raw);
}

std::string bglRecord(uint16_t id, std::string_view body)
{
    std::string record(6, '\0');
    putU16(record, 0, id);
    putU32(record, 2, static_cast<uint32_t>(6 + body.size()));
    record += body;
    return record;
}

namespace {

std::string helipadRecord(const BglHelipad& h)
{
    std::string r(36, '\0');
    putU16(r, 0, 0x26);
    putU32(r, 2, 36);
    putU32(r, 12, bglLongitude(h.lon));
    putU32(r, 16, bglLatitude(h.lat));
    putF32(r, 28, h.sizeMetres);
    return r;
}

std::string parkingListRecord(const std::vector<BglParking>& parkings)
{
    std::string r(8, '\0');
    putU16(r, 0, 0xE7);
    putU16(r, 6, static_cast<uint16_t>(parkings.size()));
    for (const BglParking& p : parkings) {
        std::string e(56 + 4 * p.airlines, '\0');
        putU32(e, 0, (p.nameIndex & 0x3F) | (p.type & 0xF) << 8 | (p.number & 0xFFF) << 12 | p.airlines << 24);
        putF32(e, 4, p.radiusMetres);
        putF32(e, 8, p.headingDegrees);
        putU32(e, 28, bglLongitude(p.lon));
        putU32(e, 32, bglLatitude(p.lat));
        r += e;
    }
    putU32(r, 2, static_cast<uint32_t>(r.size()));
    return r;
}

} // namespace

std::string bglAirportRecord(const BglAirport& airport)
{
    std::string r(68, '\0');
    putU16(r, 0, 0x56);
    putU32(r, 20, static_cast<uint32_t>(airport.altitudeMillimetres));
    putU32(r, 40, bglIdentWord(airport.ident));
    for (const std::string& extra : airport.extraSubrecords)
        r += extra;
    for (const BglHelipad& h : airport.helipads)
        r += helipadRecord(h);
    if (!airport.parkings.empty())
        r += parkingListRecord(airport.parkings);
    while (r.size() % 4 != 0)
        r += '\0';
    putU32(r, 2, static_cast<uint32_t>(r.size()));
    return r;
}

BglFile bglFile(const std::vector<BglSection>& sections)
{
    BglFile file;
    std::string& b = file.bytes;
    b.assign(56 + 20 * sections.size(), '\0');
    putU32(b, 4, 56);
    putU32(b, 20, static_cast<uint32_t>(sections.size()));
    for (std::size_t s = 0; s < sections.size(); ++s) {
        const BglSection& section = sections[s];
        const std::size_t descriptorSize = section.wideDescriptors ? 20 : 16;
        const std::size_t entry = 56 + 20 * s;
        const std::size_t table = b.size();
        file.tables.push_back(table);
        putU32(b, entry, section.type);
        putU32(b, entry + 4, section.wideDescriptors ? 0x10000u : 0u);
        putU32(b, entry + 8, static_cast<uint32_t>(section.subsections.size()));
        putU32(b, entry + 12, static_cast<uint32_t>(table));
        b.append(descriptorSize * section.subsections.size(), '\0');
        for (std::size_t d = 0; d < section.subsections.size(); ++d) {
            const std::size_t descriptor = table + d * descriptorSize;
            std::string block;
            for (const std::string& record : section.subsections[d].records)
                block += record;
            file.descriptors.push_back(descriptor);
            file.blocks.push_back(b.size());
            putU32(b, descriptor + 4, static_cast<uint32_t>(section.subsections[d].records.size()));
            putU32(b, descriptor + 8, static_cast<uint32_t>(b.size()));
            putU32(b, descriptor + 12, static_cast<uint32_t>(block.size()));
            b += block;
        }
    }
    return file;
}

BglFile bglAirportFile(const std::vector<BglAirport>& airports)
{
    BglSubsection subsection;
    for (const BglAirport& airport : airports)
        subsection.records.push_back(bglAirportRecord(airport));
    return bglFile({BglSection{3, false, {subsection}}});
}

} // namespace kvr::test
