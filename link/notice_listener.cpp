#include "link/notice_listener.h"

#include <ws2tcpip.h>

#include <cstring>

#include "link/endpoint_rules.h"
#include "link/notice_datagram.h"
#include "shared/debug_text.h"

namespace pavix {
namespace {

constexpr int kMulticastTimeToLive = 16;

// Where the multipoint control is missing, the socket option that does the
// same.
bool SetScope(SOCKET socket) {
    int ttl = kMulticastTimeToLive;
    DWORD returned = 0;
    if (WSAIoctl(socket, SIO_MULTICAST_SCOPE, &ttl, sizeof ttl, nullptr, 0, &returned, nullptr,
                 nullptr) == 0) {
        return true;
    }
    DWORD optionTtl = kMulticastTimeToLive;
    return setsockopt(socket, IPPROTO_IP, IP_MULTICAST_TTL,
                      reinterpret_cast<const char*>(&optionTtl), sizeof optionTtl) == 0;
}

bool SetLoopback(SOCKET socket) {
    BOOL on = TRUE;
    DWORD returned = 0;
    if (WSAIoctl(socket, SIO_MULTIPOINT_LOOPBACK, &on, sizeof on, nullptr, 0, &returned, nullptr,
                 nullptr) == 0) {
        return true;
    }
    DWORD optionOn = 1;
    return setsockopt(socket, IPPROTO_IP, IP_MULTICAST_LOOP,
                      reinterpret_cast<const char*>(&optionOn), sizeof optionOn) == 0;
}

}  // namespace

CNoticeListener::CNoticeListener(std::uint16_t port, unsigned notifyMessage)
    : port_(port), notifyMessage_(notifyMessage) {
    SetGroupAddress("233.0.0.1");
}

CNoticeListener::~CNoticeListener() { Close(); }

void CNoticeListener::SetGroupAddress(const char* text) {
    std::memset(groupText_, 0, sizeof groupText_);
    std::strncpy(groupText_, text, sizeof groupText_ - 1);
}

bool CNoticeListener::Open() {
    Close();
    baseSocket_ = WSASocketA(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0,
                             WSA_FLAG_OVERLAPPED | WSA_FLAG_MULTIPOINT_C_LEAF |
                                 WSA_FLAG_MULTIPOINT_D_LEAF);
    if (baseSocket_ == INVALID_SOCKET) return false;

    const BOOL reuse = TRUE;
    localAddress_ = sockaddr_in{};
    localAddress_.sin_family = AF_INET;
    localAddress_.sin_port = htons(port_);
    localAddress_.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool ready =
        setsockopt(baseSocket_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse),
                   sizeof reuse) == 0 &&
        bind(baseSocket_, reinterpret_cast<const sockaddr*>(&localAddress_),
             sizeof localAddress_) == 0 &&
        SetScope(baseSocket_) && SetLoopback(baseSocket_);
    if (!ready) {
        DebugText("pavix: notice listener: cannot open the port\n");
        closesocket(baseSocket_);
        baseSocket_ = INVALID_SOCKET;
        return false;
    }
    return true;
}

bool CNoticeListener::JoinGroup(HWND window) {
    if (baseSocket_ == INVALID_SOCKET) return false;
    groupAddress_ = sockaddr_in{};
    groupAddress_.sin_family = AF_INET;
    groupAddress_.sin_port = htons(port_);
    groupAddress_.sin_addr.s_addr = inet_addr(groupText_);

    leafSocket_ = WSAJoinLeaf(baseSocket_, reinterpret_cast<const sockaddr*>(&groupAddress_),
                              sizeof groupAddress_, nullptr, nullptr, nullptr, nullptr, JL_BOTH);
    if (leafSocket_ == INVALID_SOCKET) {
        // No multipoint support: the membership as a socket option, on the
        // interface the system chooses for the group.
        ip_mreq membership{};
        membership.imr_multiaddr = groupAddress_.sin_addr;
        membership.imr_interface.s_addr = htonl(INADDR_ANY);
        if (setsockopt(baseSocket_, IPPROTO_IP, IP_ADD_MEMBERSHIP,
                       reinterpret_cast<const char*>(&membership), sizeof membership) != 0) {
            DebugText("pavix: notice listener: cannot join the group\n");
            Close();
            return false;
        }
    }
    return WSAAsyncSelect(ReceivingSocket(), window, notifyMessage_, FD_READ) == 0;
}

void CNoticeListener::Close() {
    if (leafSocket_ != INVALID_SOCKET && leafSocket_ != baseSocket_) closesocket(leafSocket_);
    leafSocket_ = INVALID_SOCKET;
    if (baseSocket_ != INVALID_SOCKET) closesocket(baseSocket_);
    baseSocket_ = INVALID_SOCKET;
}

bool CNoticeListener::ReadNotice(PhoneEndpoint* out) {
    if (baseSocket_ == INVALID_SOCKET) return false;
    // One byte more than a notice may have: a datagram that fills it is too
    // long, whether or not the system reports the cut.
    char datagram[kNoticeDatagramMax + 2] = {};
    sockaddr_in sender{};
    int senderSize = sizeof sender;
    const int received = recvfrom(baseSocket_, datagram, kNoticeDatagramMax + 1, 0,
                                  reinterpret_cast<sockaddr*>(&sender), &senderSize);
    if (received < 1 || received > static_cast<int>(kNoticeDatagramMax)) return false;
    if (senderSize < static_cast<int>(sizeof sender) || sender.sin_family != AF_INET) return false;
    PhoneEndpoint announced;
    if (!DecodeNoticeDatagram(reinterpret_cast<const std::uint8_t*>(datagram),
                              static_cast<std::size_t>(received), &announced) ||
        !IsAnnouncedBySender(announced, ntohl(sender.sin_addr.s_addr))) {
        return false;
    }
    *out = announced;
    return true;
}

}  // namespace pavix
