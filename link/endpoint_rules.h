#pragma once

#include <cstdint>

#include "link/phone_endpoint.h"

namespace pavix {

// The rules every phone endpoint passes before the link is aimed at it,
// wherever it comes from (a notice, a typed code, the settings file, the
// debug bridge). Platform-neutral, so that they are tested natively too.

// A TCP port: 1 to 65535. Anything else would be cut to 16 bits by htons
// and aim somewhere nobody asked for (66770 is port 1234).
bool IsPortInRange(std::int64_t port);
// Both ports in range, and an address text that ends within its buffer.
bool IsUsableEndpoint(const PhoneEndpoint& endpoint);

bool SameEndpoint(const PhoneEndpoint& a, const PhoneEndpoint& b);

// Reads `text` as exactly four decimal numbers 0-255 joined by dots, with no
// leading zeros (inet_addr would read "010" as octal 8) and nothing around
// them. True and *hostOrder set (most significant byte first) when it is one.
bool ParseDottedIpv4(const char* text, std::uint32_t* hostOrder);

// A phone announces itself: a notice counts only when the address it names
// is the very address it came from (`senderHostOrder`). Nobody may aim the
// link at a third machine.
bool IsAnnouncedBySender(const PhoneEndpoint& announced, std::uint32_t senderHostOrder);

// How often notices may move the link to another endpoint: a sender that
// keeps announcing something else (or two that take turns) must not keep
// the camera switching. The first move is taken at once; after any change
// of endpoint (whatever made it) a notice must wait kIntervalMs before it
// may move the link again.
class CNoticeSwitchLimit {
public:
    static constexpr std::uint64_t kIntervalMs = 3000;

    // Whether a notice may move the link at `nowMs` (a monotonic clock).
    bool MayMove(std::uint64_t nowMs) const {
        return !changed_ || nowMs - lastChangeMs_ >= kIntervalMs;
    }
    // The endpoint changed at `nowMs`.
    void NoteChange(std::uint64_t nowMs) {
        changed_ = true;
        lastChangeMs_ = nowMs;
    }

private:
    bool changed_ = false;
    std::uint64_t lastChangeMs_ = 0;
};

// What asking for `asked` does, given the stored endpoint and whether the
// link to it is wanted (false after the disconnect command, or while none
// was ever set).
enum class EndpointStep {
    Refuse,  // unusable ports or address: nothing changes
    Keep,    // the endpoint of the wanted link: nothing to do (a phone repeats its notice)
    Resume,  // the stored endpoint after a disconnect: connect to it again
    Switch,  // another endpoint: drop the link and go there
};
EndpointStep JudgeEndpointRequest(const PhoneEndpoint& stored, bool linkWanted,
                                  const PhoneEndpoint& asked);

}  // namespace pavix
