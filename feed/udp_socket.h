// The system calls of the UDP receivers: Winsock in udp_socket_win32.cpp,
// BSD sockets (the native test build) in udp_socket_posix.cpp. Failures come
// back as the system's error text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "feed/socket_handle.h"

// A new UDP socket; kInvalidSocket with `error` set when none was made.
SocketHandle lf_udpOpen(std::string& error);
void lf_udpClose(SocketHandle socket);
// Binds to any local address.
bool lf_udpBind(SocketHandle socket, uint16_t port, std::string& error);
// A receive waits at most this long.
bool lf_udpSetReceiveTimeout(SocketHandle socket, uint32_t milliseconds, std::string& error);
// Asks for a receive buffer of `bytes`; returns what the system granted (0: unknown).
int lf_udpSetReceiveBuffer(SocketHandle socket, int bytes);

enum class UdpReceive { datagram, again, tooLarge, failed };
// One datagram into `buffer`; `size` gets its length. `again`: nothing within
// the time-out (or an interrupted call); `tooLarge`: a datagram longer than
// the buffer was dropped; `failed`: `error` says why.
UdpReceive lf_udpReceive(SocketHandle socket, char* buffer, std::size_t capacity, std::size_t& size,
                         std::string& error);
