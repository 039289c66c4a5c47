// The phone simulator's malformed notices, which the system tests send to
// pavix.exe, are each refused by the decoder: a test that sends them then
// shows the program's handling, not luck. The simulator's good notices for
// the same phone are taken.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "bad_notices.h"
#include "link/notice_datagram.h"
#include "notice_payload.h"

namespace pavix {
namespace {

phonesim::NoticeContent Decoy() {
    phonesim::NoticeContent content;
    content.endpoint = phonesim::Ipv4Endpoint{0x7F000001u, 1303};
    content.port2 = 1304;
    return content;
}

bool Decodes(const std::string& datagram, PhoneEndpoint* out) {
    return DecodeNoticeDatagram(reinterpret_cast<const std::uint8_t*>(datagram.data()),
                                datagram.size(), out);
}

TEST(BadNotices, NoneOfThemIsTaken) {
    // The seeds the system test uses, and more.
    for (std::uint64_t seed = 0; seed < 20; ++seed) {
        std::mt19937_64 rng(seed);
        for (std::uint64_t i = 0; i < 400; ++i) {
            const std::string datagram = phonesim::BuildBadNotice(i, Decoy(), &rng);
            PhoneEndpoint endpoint;
            EXPECT_FALSE(Decodes(datagram, &endpoint))
                << "seed " << seed << ", " << phonesim::BadNoticeKindName(i) << ": taken as "
                << endpoint.address << ":" << endpoint.port;
        }
    }
}

TEST(BadNotices, TheGoodNoticesForTheSamePhoneAreTaken) {
    for (const std::string& good :
         {phonesim::BuildTextNotice(Decoy()), phonesim::BuildEncodedNotice(Decoy())}) {
        PhoneEndpoint endpoint;
        ASSERT_TRUE(Decodes(good, &endpoint));
        EXPECT_STREQ(endpoint.address, "127.0.0.1");
        EXPECT_EQ(endpoint.port, 1303);
        EXPECT_EQ(endpoint.port2, 1304);
    }
}

}  // namespace
}  // namespace pavix
