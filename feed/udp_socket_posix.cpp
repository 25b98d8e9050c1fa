#include "feed/udp_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

int lf_fd(SocketHandle socket)
{
    return static_cast<int>(socket);
}

} // namespace

SocketHandle lf_udpOpen(std::string& error)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) {
        error = std::strerror(errno);
        return kInvalidSocket;
    }
    return static_cast<SocketHandle>(fd);
}

void lf_udpClose(SocketHandle socket)
{
    ::close(lf_fd(socket));
}

bool lf_udpBind(SocketHandle socket, uint16_t port, std::string& error)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    if (::bind(lf_fd(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

bool lf_udpSetReceiveTimeout(SocketHandle socket, uint32_t milliseconds, std::string& error)
{
    timeval timeout{};
    timeout.tv_sec = static_cast<time_t>(milliseconds / 1000);
    timeout.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
    if (::setsockopt(lf_fd(socket), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

int lf_udpSetReceiveBuffer(SocketHandle socket, int bytes)
{
    ::setsockopt(lf_fd(socket), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    int granted = 0;
    socklen_t length = sizeof granted;
    if (::getsockopt(lf_fd(socket), SOL_SOCKET, SO_RCVBUF, &granted, &length) != 0)
        return 0;
    // Linux reports the doubled size it keeps for its own bookkeeping.
    return granted / 2;
}

UdpReceive lf_udpReceive(SocketHandle socket, char* buffer, std::size_t capacity, std::size_t& size,
                         std::string& error)
{
    // MSG_TRUNC gives a longer datagram's whole length, as Windows reports it.
    const ssize_t n = ::recv(lf_fd(socket), buffer, capacity, MSG_TRUNC);
    if (n < 0) {
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
            return UdpReceive::again;
        error = std::strerror(errno);
        return UdpReceive::failed;
    }
    if (static_cast<std::size_t>(n) > capacity)
        return UdpReceive::tooLarge;
    size = static_cast<std::size_t>(n);
    return UdpReceive::datagram;
}
