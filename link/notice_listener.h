#pragma once

#include <winsock2.h>

#include <cstdint>

#include "link/phone_endpoint.h"

namespace pavix {

// The phone app announces where it listens with UDP datagrams to the
// multicast group 233.0.0.1 (port 7788, and 7790 as well). A listener binds
// its port on every interface, joins the group, and has Windows Sockets post
// its window message to a window for each datagram that waits; the window's
// thread then reads it with ReadNotice. Because the port is bound on every
// interface, a datagram sent to the machine's own address or as a broadcast
// is taken the same way as one sent to the group.
//
// The multipoint calls (the scope and loopback controls, WSAJoinLeaf) are
// tried first; where the system does not offer them (Wine answers
// WSAEOPNOTSUPP) the ordinary multicast socket options do the same.
class CNoticeListener {
public:
    CNoticeListener(std::uint16_t port, unsigned notifyMessage);
    virtual ~CNoticeListener();
    CNoticeListener(const CNoticeListener&) = delete;
    CNoticeListener& operator=(const CNoticeListener&) = delete;

    // The group to join (dotted-decimal, at most 39 characters; longer texts
    // are cut). "233.0.0.1" unless set.
    void SetGroupAddress(const char* text);

    // Creates and binds the socket, multicast time-to-live 16, loopback on.
    // False (and no socket) when any step fails.
    bool Open();
    // Joins the group and has `window` receive the notify message for each
    // datagram that waits. False when the join fails (the socket is closed
    // then) or the notification cannot be arranged.
    bool JoinGroup(HWND window);
    // Closes the sockets; safe more than once.
    void Close();

    SOCKET Socket() const { return baseSocket_; }
    std::uint16_t Port() const { return port_; }
    unsigned NotifyMessage() const { return notifyMessage_; }

    // Reads one waiting datagram and decodes it as a notice (see
    // DecodeNoticeDatagram). True and *out filled when it announced an
    // endpoint at the very address it was sent from (a phone announces
    // itself; a notice naming another machine is somebody else's doing);
    // false for no datagram, an empty one, one longer than 260 bytes, one
    // that is no notice, or one naming another address than its sender's.
    bool ReadNotice(PhoneEndpoint* out);

private:
    // The socket whose readiness is reported: the leaf the join returned,
    // or the bound socket itself where the group was joined through the
    // socket options. Datagrams are read from the bound socket.
    SOCKET ReceivingSocket() const {
        return leafSocket_ != INVALID_SOCKET ? leafSocket_ : baseSocket_;
    }

    sockaddr_in localAddress_{};
    sockaddr_in groupAddress_{};
    char groupText_[40] = {};
    SOCKET baseSocket_ = INVALID_SOCKET;
    SOCKET leafSocket_ = INVALID_SOCKET;
    std::uint16_t port_;
    unsigned notifyMessage_;
};

}  // namespace pavix
