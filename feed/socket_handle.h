// A Winsock SOCKET without <winsock2.h>, shared by the RT App link and its
// UDP readers.
#pragma once

#include <cstdint>

using SocketHandle = uintptr_t;
inline constexpr SocketHandle kInvalidSocket = ~SocketHandle(0);
