#include "ui/ui_texts.h"

#include <cstdio>

#include "ui/resource_ids.h"

namespace pavix {
namespace {

constexpr wchar_t kTipNotConnected[] = L"Rovo - 没有连上手机";
constexpr wchar_t kTipConnected[] = L"Rovo - 连接手机成功";

// The state texts after start-up end with one space.
constexpr LinkDisplayLook kLooks[] = {
    {IDI_DISCONNECTED, kTipNotConnected, kStartupStatusText, false, false, false},
    {IDI_WAITING, kTipNotConnected, L"没有连上手机 ", true, true, false},
    {IDI_DISCONNECTED, kTipNotConnected, L"没有连上手机 ", true, true, false},
    {IDI_CONNECTED, kTipConnected, L"连接手机成功 ", false, false, true},
};

}  // namespace

const LinkDisplayLook& LookOf(LinkDisplay display) {
    return kLooks[static_cast<int>(display)];
}

void FormatRateText(float rate, wchar_t* out, std::size_t outCount) {
    if (out == nullptr || outCount == 0) return;
    constexpr wchar_t kPrefix[] = L"帧数: ";
    // The number is plain ASCII: format it narrow, then widen it.
    char number[48] = {};
    std::snprintf(number, sizeof number, "%.2f", static_cast<double>(rate));
    std::size_t n = 0;
    for (const wchar_t* p = kPrefix; *p != L'\0' && n + 1 < outCount; ++p) out[n++] = *p;
    for (const char* p = number; *p != '\0' && n + 1 < outCount; ++p) {
        out[n++] = static_cast<wchar_t>(static_cast<unsigned char>(*p));
    }
    out[n] = L'\0';
}

}  // namespace pavix
