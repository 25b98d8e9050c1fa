// 64-bit FNV-1a, the hash of every text- or id-keyed table of the aircraft
// models and liveries: over a text's bytes, over a 16-bit id's two bytes and a
// 32-bit id's four bytes (lowest byte first).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

constexpr uint64_t gf_fnv1a(const void* data, size_t size) noexcept
{
    uint64_t hash = 0xcbf29ce484222325ull;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= 0x100000001b3ull;
    }
    return hash;
}

// Transparent: a table keyed by std::string is searched with a string_view.
struct Fnv1aHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const noexcept
    {
        uint64_t hash = 0xcbf29ce484222325ull;
        for (unsigned char c : text) {
            hash ^= c;
            hash *= 0x100000001b3ull;
        }
        return static_cast<size_t>(hash);
    }
    size_t operator()(const std::string& text) const noexcept { return (*this)(std::string_view(text)); }
    size_t operator()(const char* text) const noexcept { return (*this)(std::string_view(text)); }
    size_t operator()(uint16_t id) const noexcept
    {
        const unsigned char bytes[2] = {static_cast<unsigned char>(id), static_cast<unsigned char>(id >> 8)};
        return static_cast<size_t>(gf_fnv1a(bytes, 2));
    }
    size_t operator()(uint32_t id) const noexcept
    {
        const unsigned char bytes[4] = {static_cast<unsigned char>(id), static_cast<unsigned char>(id >> 8),
                                        static_cast<unsigned char>(id >> 16), static_cast<unsigned char>(id >> 24)};
        return static_cast<size_t>(gf_fnv1a(bytes, 4));
    }
};
