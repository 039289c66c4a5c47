#include "ui/update_reply.h"

#include <algorithm>
#include <cstring>

namespace pavix {

std::string BuildUpdateRequest(std::string_view host) {
    std::string request = "GET /ckvr.php?os=win&ver=";
    request += kVersionText;
    request += " HTTP/1.1\nAccept: \r\nConnection: Close\r\nHost: ";
    request += host;
    request += "\r\n\r\n";
    return request;
}

bool ReplySaysNewVersion(const std::uint8_t* received, std::size_t count) {
    count = std::min(count, kUpdateReplyMax);
    const char* text = reinterpret_cast<const char*>(received);
    const void* zero = std::memchr(text, '\0', count);
    const std::size_t textLength =
        zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - text) : count;
    const std::size_t emptyLine = std::string_view(text, textLength).find("\r\n\r\n");
    if (emptyLine == std::string_view::npos) return false;
    const std::size_t body = emptyLine + 4;
    return count - body == 1 && text[body] == '1';
}

}  // namespace pavix
