#include "rig/unit_link.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>

namespace rig {

namespace {

class WinsockLink final : public UnitLink {
public:
    explicit WinsockLink(SOCKET s) : m_socket(s) {}
    ~WinsockLink() override {
        ::closesocket(m_socket);
        ::WSACleanup();
    }
    WinsockLink(const WinsockLink&) = delete;
    WinsockLink& operator=(const WinsockLink&) = delete;

protected:
    long sendSome(const char* data, std::size_t size) override {
        return ::send(m_socket, data, static_cast<int>(size), 0);
    }
    long receiveSome(char* data, std::size_t size) override {
        return ::recv(m_socket, data, static_cast<int>(size), 0);
    }

private:
    SOCKET m_socket;
};

}  // namespace

// Only HOST:PORT over TCP: the units run beside the Windows layer, not in it.
std::unique_ptr<UnitLink> connectUnitLink(const std::string& address, std::string& error) {
    const auto colon = address.rfind(':');
    if (colon == std::string::npos) {
        error = "the virtual units need HOST:PORT here, not " + address;
        return nullptr;
    }
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        error = "Winsock does not start";
        return nullptr;
    }
    sockaddr_in tcp{};
    tcp.sin_family = AF_INET;
    tcp.sin_port = ::htons(static_cast<u_short>(std::atoi(address.c_str() + colon + 1)));
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET || ::inet_pton(AF_INET, address.substr(0, colon).c_str(), &tcp.sin_addr) != 1 ||
        ::connect(s, reinterpret_cast<const sockaddr*>(&tcp), sizeof tcp) != 0) {
        error = "cannot reach the virtual units at " + address;
        if (s != INVALID_SOCKET) ::closesocket(s);
        ::WSACleanup();
        return nullptr;
    }
    return std::make_unique<WinsockLink>(s);
}

// A process's handles on HID devices are not told apart from its other
// handles here; the runner counts what it opened through the seam instead.
std::optional<std::size_t> systemDeviceHandles() { return std::nullopt; }

}  // namespace rig
