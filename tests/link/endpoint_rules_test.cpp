// The rules a phone endpoint passes before the link is aimed at it: port
// range, a notice naming its own sender, the notices' rate limit, and what
// a request does to the stored endpoint.
#include "link/endpoint_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace pavix {
namespace {

PhoneEndpoint Make(const char* address, std::int32_t port, std::int32_t port2) {
    PhoneEndpoint endpoint;
    std::strncpy(endpoint.address, address, sizeof endpoint.address - 1);
    endpoint.port = port;
    endpoint.port2 = port2;
    return endpoint;
}

TEST(EndpointRules, PortsAreTcpPorts) {
    const struct {
        std::int64_t port;
        bool inRange;
    } cases[] = {{1, true},      {1234, true},  {65535, true},       {0, false},
                 {-1, false},    {65536, false}, {66770, false},     {-65535, false},
                 {0x80000000LL, false}, {0x100000000LL + 1234, false}};
    for (const auto& c : cases) EXPECT_EQ(IsPortInRange(c.port), c.inRange) << c.port;

    EXPECT_TRUE(IsUsableEndpoint(Make("10.0.0.1", 1234, 1235)));
    EXPECT_FALSE(IsUsableEndpoint(Make("10.0.0.1", 66770, 1235)));
    EXPECT_FALSE(IsUsableEndpoint(Make("10.0.0.1", 1234, 0)));
    PhoneEndpoint unterminated = Make("10.0.0.1", 1234, 1235);
    std::memset(unterminated.address, '1', sizeof unterminated.address);
    EXPECT_FALSE(IsUsableEndpoint(unterminated));
}

// Only the forms inet_addr reads the same way as we do: four plain decimal
// numbers. Octal ("010"), hexadecimal and short forms would let a notice
// name one address and aim the link at another.
TEST(EndpointRules, DottedAddressIsReadStrictly) {
    const struct {
        const char* text;
        bool taken;
        std::uint32_t value;
    } cases[] = {
        {"127.0.0.1", true, 0x7F000001u},     {"192.168.1.5", true, 0xC0A80105u},
        {"0.0.0.0", true, 0u},                {"255.255.255.255", true, 0xFFFFFFFFu},
        {"10.0.0.100", true, 0x0A000064u},    {"", false, 0},
        {"256.0.0.1", false, 0},              {"10.0.0", false, 0},
        {"10.0.0.1.", false, 0},              {"10.0.0.1.5", false, 0},
        {"010.0.0.1", false, 0},              {"10.00.0.1", false, 0},
        {"0x7F.0.0.1", false, 0},             {"127.1", false, 0},
        {" 127.0.0.1", false, 0},             {"127.0.0.1 ", false, 0},
        {"127..0.1", false, 0},               {"127.0.0.-1", false, 0},
        {"1000.0.0.1", false, 0},             {"localhost", false, 0},
    };
    for (const auto& c : cases) {
        std::uint32_t value = 0xDEADBEEFu;
        EXPECT_EQ(ParseDottedIpv4(c.text, &value), c.taken) << "'" << c.text << "'";
        EXPECT_EQ(value, c.taken ? c.value : 0xDEADBEEFu) << "'" << c.text << "'";
    }
}

TEST(EndpointRules, ANoticeMustNameItsSender) {
    const struct {
        const char* announced;
        std::uint32_t sender;
        bool taken;
    } cases[] = {
        {"127.0.0.1", 0x7F000001u, true},   {"192.168.1.5", 0xC0A80105u, true},
        {"127.0.0.2", 0x7F000001u, false},  {"127.0.0.1", 0x7F000002u, false},
        {"192.168.1.5", 0xC0A80106u, false}, {"192.168.001.005", 0xC0A80105u, false},
        {"", 0u, false},                    {"0.0.0.0", 0u, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsAnnouncedBySender(Make(c.announced, 1234, 1235), c.sender), c.taken)
            << c.announced << " from " << std::hex << c.sender;
    }
}

// A sender that keeps announcing another endpoint moves the link once,
// then once per interval at most; the first move is taken at once.
TEST(EndpointRules, NoticesMoveTheLinkAtMostOncePerInterval) {
    constexpr std::uint64_t kGap = CNoticeSwitchLimit::kIntervalMs;
    const struct {
        std::uint64_t nowMs;
        bool mayMove;
    } steps[] = {
        {100000, true},  // the first: at once
        {100001, false},
        {100000 + kGap - 1, false},
        {100000 + kGap, true},
        {100000 + kGap + 50, false},
        {100000 + 5 * kGap, true},  // after a long quiet, again at once
    };
    CNoticeSwitchLimit limit;
    EXPECT_TRUE(limit.MayMove(0)) << "a fresh limit at clock 0";
    for (const auto& step : steps) {
        EXPECT_EQ(limit.MayMove(step.nowMs), step.mayMove) << step.nowMs;
        if (limit.MayMove(step.nowMs)) limit.NoteChange(step.nowMs);
    }

    // Two senders taking turns many times a second: one move per interval.
    CNoticeSwitchLimit turns;
    int moves = 0;
    for (std::uint64_t now = 0; now < 6 * kGap; now += 25) {
        if (turns.MayMove(now)) {
            turns.NoteChange(now);
            ++moves;
        }
    }
    EXPECT_EQ(moves, 6);
}

TEST(EndpointRules, WhatARequestDoesToTheStoredEndpoint) {
    const PhoneEndpoint phone = Make("192.168.1.5", 1234, 1235);
    const PhoneEndpoint none;
    const struct {
        const char* name;
        PhoneEndpoint stored;
        bool linkWanted;
        PhoneEndpoint asked;
        EndpointStep step;
    } cases[] = {
        {"first endpoint", none, false, phone, EndpointStep::Switch},
        {"repeated notice", phone, true, phone, EndpointStep::Keep},
        {"same phone after disconnect", phone, false, phone, EndpointStep::Resume},
        {"another address", phone, true, Make("192.168.1.6", 1234, 1235), EndpointStep::Switch},
        {"another port", phone, true, Make("192.168.1.5", 1240, 1235), EndpointStep::Switch},
        {"another second port", phone, false, Make("192.168.1.5", 1234, 1236),
         EndpointStep::Switch},
        {"port cut by htons", phone, true, Make("192.168.1.5", 66770, 1235), EndpointStep::Refuse},
        {"no second port", none, false, Make("192.168.1.5", 1234, 0), EndpointStep::Refuse},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JudgeEndpointRequest(c.stored, c.linkWanted, c.asked), c.step) << c.name;
    }
}

}  // namespace
}  // namespace pavix
