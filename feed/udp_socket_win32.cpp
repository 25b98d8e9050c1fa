#include "feed/udp_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "core/text.h"

SocketHandle lf_udpOpen(std::string& error)
{
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        error = gf_wsaErrorText(WSAGetLastError());
        return kInvalidSocket;
    }
    return static_cast<SocketHandle>(s);
}

void lf_udpClose(SocketHandle socket)
{
    closesocket(static_cast<SOCKET>(socket));
}

bool lf_udpBind(SocketHandle socket, uint16_t port, std::string& error)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    if (::bind(static_cast<SOCKET>(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
        SOCKET_ERROR) {
        error = gf_wsaErrorText(WSAGetLastError());
        return false;
    }
    return true;
}

bool lf_udpSetReceiveTimeout(SocketHandle socket, uint32_t milliseconds, std::string& error)
{
    const DWORD timeout = milliseconds;
    if (setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                   sizeof timeout) == SOCKET_ERROR) {
        error = gf_wsaErrorText(WSAGetLastError());
        return false;
    }
    return true;
}

int lf_udpSetReceiveBuffer(SocketHandle socket, int bytes)
{
    const SOCKET s = static_cast<SOCKET>(socket);
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
    int granted = 0;
    int length = sizeof granted;
    if (getsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&granted), &length) == SOCKET_ERROR)
        granted = 0;
    return granted;
}

UdpReceive lf_udpReceive(SocketHandle socket, char* buffer, std::size_t capacity, std::size_t& size,
                         std::string& error)
{
    sockaddr_in from{};
    int fromLength = sizeof from;
    const int n = recvfrom(static_cast<SOCKET>(socket), buffer, static_cast<int>(capacity), 0,
                           reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n == SOCKET_ERROR) {
        const int code = WSAGetLastError();
        if (code == WSAEINTR || code == WSAEWOULDBLOCK || code == WSAETIMEDOUT)
            return UdpReceive::again;
        if (code == WSAEMSGSIZE)
            return UdpReceive::tooLarge;
        error = gf_wsaErrorText(code);
        return UdpReceive::failed;
    }
    size = static_cast<std::size_t>(n);
    return UdpReceive::datagram;
}
