#include "ui/web_pages.h"

#include "ui/update_reply.h"

namespace pavix {
namespace {

std::wstring Widen(const char* ascii) {
    std::wstring text;
    for (; *ascii != '\0'; ++ascii) text += static_cast<wchar_t>(static_cast<unsigned char>(*ascii));
    return text;
}

std::wstring PageUrl(const char* pathAndQuery) {
    return L"http://" + Widen(kWebHost) + Widen(pathAndQuery);
}

}  // namespace

std::wstring HelpPageUrl() { return PageUrl("/pavix/faq.html"); }

std::wstring DownloadPageUrl() {
    return PageUrl("/pavix/ckvr.php?os=win&ver=") + Widen(kVersionText);
}

}  // namespace pavix
