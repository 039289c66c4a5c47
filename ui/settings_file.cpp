#include "ui/settings_file.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "link/endpoint_rules.h"
#include "link/text_fields.h"

namespace pavix {
namespace {

// The line buffer; a line of up to kLineBuffer - 2 characters is read.
constexpr int kLineBuffer = 130;

}  // namespace

bool WriteSettings(const char* path, const char* address, std::int32_t port, std::int32_t port2) {
    std::FILE* file = std::fopen(path, "w");
    if (file == nullptr) return false;
    char line[kLineBuffer] = {};
    std::snprintf(line, kLineBuffer - 1, "%s:%d:%d", address, static_cast<int>(port),
                  static_cast<int>(port2));
    const bool written = std::fprintf(file, "%s", line) >= 0 && std::fflush(file) == 0;
    return std::fclose(file) == 0 && written;
}

bool ReadSettings(const char* path, PhoneEndpoint* out) {
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) return false;
    char line[kLineBuffer] = {};
    const bool read = std::fgets(line, kLineBuffer - 1, file) != nullptr;
    std::fclose(file);
    if (!read) return false;

    CFieldReader reader(std::string_view(line, std::strlen(line)), ':');
    std::string_view address;
    std::string_view port;
    std::string_view port2;
    if (!reader.Next(&address) || !reader.Next(&port) || !reader.Next(&port2)) return false;
    if (address.size() >= PhoneEndpoint::kAddressSize) return false;

    PhoneEndpoint endpoint;
    std::memcpy(endpoint.address, address.data(), address.size());
    endpoint.port = LeadingDecimal(port);
    endpoint.port2 = LeadingDecimal(port2);
    if (!IsUsableEndpoint(endpoint)) return false;
    *out = endpoint;
    return true;
}

}  // namespace pavix
