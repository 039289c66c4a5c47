// The compressor probe behind the recording codec: exact, case-sensitive
// display names of the video compressor category.

#include "record/dshow_handler.h"

#include <gtest/gtest.h>

namespace pavix {
namespace {

class CompressorProbe : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override { CoUninitialize(); }
};

// Wine, like Windows, installs the Cinepak codec.
TEST_F(CompressorProbe, FindsAnInstalledCompressorByItsDisplayName) {
    EXPECT_EQ(CDShowHandler::HasCompressor(kCinepakCompressor), 1);
}

TEST_F(CompressorProbe, NeedsTheWholeNameInTheSameCase) {
    EXPECT_EQ(CDShowHandler::HasCompressor(
                  L"@device:cm:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\CVID"),
              0);
    EXPECT_EQ(CDShowHandler::HasCompressor(L"@device:cm:{33D9A760-90C8-11D0-BD43-00A0C911CE86}"),
              0);
    EXPECT_EQ(CDShowHandler::HasCompressor(
                  L"@device:cm:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\no-such-codec"),
              0);
}

TEST(CompressorProbeWithoutCom, AnswersNo) {
    // No apartment on this thread: the device enumerator cannot be created.
    EXPECT_EQ(CDShowHandler::HasCompressor(kCinepakCompressor), 0);
}

}  // namespace
}  // namespace pavix
