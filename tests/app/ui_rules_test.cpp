// The desktop program's texts and placement rules that do not need Windows.

#include <gtest/gtest.h>

#include <string>

#include "ui/centering.h"
#include "ui/resource_ids.h"
#include "ui/ui_texts.h"
#include "ui/web_pages.h"

namespace pavix {
namespace {

TEST(LinkDisplay, StatesShowTheirTextsAndIcons) {
    const LinkDisplayLook& startup = LookOf(LinkDisplay::Startup);
    const LinkDisplayLook& waiting = LookOf(LinkDisplay::Waiting);
    const LinkDisplayLook& disconnected = LookOf(LinkDisplay::Disconnected);
    const LinkDisplayLook& connected = LookOf(LinkDisplay::Connected);

    // The start-up text has no trailing space; the later states' texts have one.
    EXPECT_EQ(std::wstring(startup.statusText), L"没有连上手机");
    EXPECT_EQ(std::wstring(waiting.statusText), L"没有连上手机 ");
    EXPECT_EQ(std::wstring(disconnected.statusText), L"没有连上手机 ");
    EXPECT_EQ(std::wstring(connected.statusText), L"连接手机成功 ");

    for (const LinkDisplayLook* look : {&startup, &waiting, &disconnected}) {
        EXPECT_EQ(std::wstring(look->tooltip), L"Rovo - 没有连上手机");
    }
    EXPECT_EQ(std::wstring(connected.tooltip), L"Rovo - 连接手机成功");

    EXPECT_EQ(startup.trayIcon, IDI_DISCONNECTED);
    EXPECT_EQ(waiting.trayIcon, IDI_WAITING);
    EXPECT_EQ(disconnected.trayIcon, IDI_DISCONNECTED);
    EXPECT_EQ(connected.trayIcon, IDI_CONNECTED);
}

TEST(LinkDisplay, OnlyTheLostStatesClearTheRateAndRepaint) {
    EXPECT_TRUE(LookOf(LinkDisplay::Waiting).clearsRate);
    EXPECT_TRUE(LookOf(LinkDisplay::Disconnected).clearsRate);
    EXPECT_FALSE(LookOf(LinkDisplay::Connected).clearsRate);
    EXPECT_TRUE(LookOf(LinkDisplay::Waiting).repaintsIdle);
    EXPECT_TRUE(LookOf(LinkDisplay::Disconnected).repaintsIdle);
    EXPECT_FALSE(LookOf(LinkDisplay::Connected).repaintsIdle);
    EXPECT_TRUE(LookOf(LinkDisplay::Connected).disconnectEnabled);
    EXPECT_FALSE(LookOf(LinkDisplay::Waiting).disconnectEnabled);
}

TEST(RateText, TwoDecimals) {
    wchar_t text[kRateTextSize];
    FormatRateText(14.2f, text, kRateTextSize);
    EXPECT_EQ(std::wstring(text), L"帧数: 14.20");
    FormatRateText(0.0f, text, kRateTextSize);
    EXPECT_EQ(std::wstring(text), L"帧数: 0.00");
    FormatRateText(9.996f, text, kRateTextSize);
    EXPECT_EQ(std::wstring(text), L"帧数: 10.00");
}

TEST(RateText, CutToTheBuffer) {
    wchar_t text[8];
    FormatRateText(12345.678f, text, 8);
    EXPECT_EQ(std::wstring(text), L"帧数: 123");
    wchar_t tiny[1] = {L'x'};
    FormatRateText(1.0f, tiny, 1);
    EXPECT_EQ(tiny[0], L'\0');
    // Absurd rates still fit the normal buffer.
    wchar_t normal[kRateTextSize];
    FormatRateText(3.0e38f, normal, kRateTextSize);
    EXPECT_EQ(std::wstring(normal).size(), kRateTextSize - 1);
}

TEST(WebPages, LieOnTheWebHostWithTheVersion) {
    EXPECT_EQ(HelpPageUrl(), L"http://pavix.example/pavix/faq.html");
    EXPECT_EQ(DownloadPageUrl(), L"http://pavix.example/pavix/ckvr.php?os=win&ver=500");
    // Reserved names only: nobody's real server.
    EXPECT_NE(std::string(kUpdateServerName).find(".example"), std::string::npos);
}

TEST(Centering, CentresOnTheReference) {
    const ScreenBox work = {0, 0, 1280, 1000};
    const ScreenPoint at = CenteredPosition(200, 100, {100, 100, 595, 545}, work);
    EXPECT_EQ(at.x, 100 + (495 - 200) / 2);
    EXPECT_EQ(at.y, 100 + (445 - 100) / 2);
}

TEST(Centering, StaysInsideTheWorkArea) {
    const ScreenBox work = {0, 0, 1280, 1000};
    // Reference near the left and top: pushed right and down.
    ScreenPoint at = CenteredPosition(400, 300, {-300, -200, 0, 0}, work);
    EXPECT_EQ(at.x, 0);
    EXPECT_EQ(at.y, 0);
    // Near the right and bottom: pushed back in.
    at = CenteredPosition(400, 300, {1200, 950, 1400, 1100}, work);
    EXPECT_EQ(at.x, 1280 - 400);
    EXPECT_EQ(at.y, 1000 - 300);
    // Larger than the work area: the left and top edges win.
    at = CenteredPosition(2000, 1200, {0, 0, 100, 100}, work);
    EXPECT_EQ(at.x, 0);
    EXPECT_EQ(at.y, 0);
}

TEST(Centering, TruncatesTowardZero) {
    // (100 - 103) / 2 is -1, not -2.
    const ScreenPoint at = CenteredPosition(103, 103, {500, 500, 600, 600}, {0, 0, 2000, 2000});
    EXPECT_EQ(at.x, 499);
    EXPECT_EQ(at.y, 499);
}

}  // namespace
}  // namespace pavix
