#pragma once
// The data-set key is held as two parts; their byte-wise XOR is the key.
// Combine them only into a buffer that is wiped after use.
#include <array>
#include <cstdint>

namespace kvr {
extern const std::array<std::uint8_t, 32> g_dataKeyPartA;
extern const std::array<std::uint8_t, 32> g_dataKeyPartB;
}
