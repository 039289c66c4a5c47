#include "ui/update_reply.h"

#include <gtest/gtest.h>

#include <string>

namespace pavix {
namespace {

bool Judge(const std::string& received) {
    return ReplySaysNewVersion(reinterpret_cast<const std::uint8_t*>(received.data()),
                               received.size());
}

const std::string kHeaders = "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n";

TEST(UpdateReply, RequestIsSentByteForByte) {
    EXPECT_EQ(BuildUpdateRequest("update.example"),
              "GET /ckvr.php?os=win&ver=500 HTTP/1.1\nAccept: \r\nConnection: Close\r\n"
              "Host: update.example\r\n\r\n");
}

TEST(UpdateReply, OnlyABodyOfExactlyOneByteOneMeansNewVersion) {
    EXPECT_TRUE(Judge(kHeaders + "1"));
    EXPECT_TRUE(Judge("\r\n\r\n1"));
    EXPECT_FALSE(Judge(kHeaders + "0"));
    EXPECT_FALSE(Judge(kHeaders + "10"));
    EXPECT_FALSE(Judge(kHeaders + "1\r\n"));
    EXPECT_FALSE(Judge(kHeaders));
    EXPECT_FALSE(Judge("HTTP/1.1 200 OK\r\n1"));
    EXPECT_FALSE(Judge(""));
    // The first empty line ends the headers, even when the body holds another.
    EXPECT_FALSE(Judge(kHeaders + "\r\n\r\n1"));
}

TEST(UpdateReply, SearchStopsAtAZeroByte) {
    EXPECT_FALSE(Judge(std::string("HTTP/1.1 200 OK\0\r\n\r\n1", 22)));
    // A zero after the empty line is part of the body and counts as a byte.
    EXPECT_FALSE(Judge(kHeaders + std::string("1\0", 2)));
}

TEST(UpdateReply, OnlyTheFirst1024BytesAreJudged) {
    std::string headers = "HTTP/1.1 200 OK\r\nX-Pad: ";
    headers.resize(kUpdateReplyMax - 5, 'p');
    headers += "\r\n\r\n";  // the body starts at byte 1023
    EXPECT_TRUE(Judge(headers + "1"));
    EXPECT_TRUE(Judge(headers + "1" + "and more that did not fit"));
    headers.insert(0, "x");
    EXPECT_FALSE(Judge(headers + "1")) << "the body falls outside the buffer";
}

}  // namespace
}  // namespace pavix
