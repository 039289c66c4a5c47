#include "link/notice_datagram.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "link/endpoint_rules.h"
#include "link/text_fields.h"
#include "rovo_communication.pb.h"

namespace pavix {
namespace {

// The phone's code is exactly this many hexadecimal digits.
constexpr std::size_t kPhoneCodeDigits = 8;

// A second port equal to the first one means "the next one".
std::int64_t SecondPort(std::int64_t port, std::int64_t port2) {
    return port2 == port ? port + 1 : port2;
}

// Both ports in range, or nothing: the values come from the network.
bool TakePorts(std::int64_t port, std::int64_t port2, PhoneEndpoint* decoded) {
    const std::int64_t second = SecondPort(port, port2);
    if (!IsPortInRange(port) || !IsPortInRange(second)) return false;
    decoded->port = static_cast<std::int32_t>(port);
    decoded->port2 = static_cast<std::int32_t>(second);
    return true;
}

bool CopyAddress(std::string_view address, PhoneEndpoint* out) {
    if (address.size() >= PhoneEndpoint::kAddressSize) return false;
    std::memset(out->address, 0, sizeof out->address);
    std::memcpy(out->address, address.data(), address.size());
    return true;
}

bool TakeIpNotice(const rovo_communication::ip_notice& notice, PhoneEndpoint* out) {
    PhoneEndpoint decoded;
    if (!CopyAddress(notice.ip(), &decoded)) return false;
    if (!TakePorts(notice.port(), notice.port2(), &decoded)) return false;
    *out = decoded;
    return true;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The address field of the text form without its line end; false unless
// that leaves exactly the phone's 8 hexadecimal digits.
bool TakePhoneCode(std::string_view field, char (&code)[kPhoneCodeDigits + 1]) {
    const std::size_t end = field.find_last_not_of("\r\n ");
    field = field.substr(0, end == std::string_view::npos ? 0 : end + 1);
    if (field.size() != kPhoneCodeDigits) return false;
    for (char c : field) {
        if (!IsHexDigit(c)) return false;
    }
    std::memcpy(code, field.data(), kPhoneCodeDigits);
    code[kPhoneCodeDigits] = '\0';
    return true;
}

bool DecodeTextNotice(std::string_view text, PhoneEndpoint* out) {
    if (text.find("ppp:") == std::string_view::npos) return false;
    CFieldReader reader(text, ':');
    std::string_view fields[5];
    for (std::string_view& field : fields) {
        if (!reader.Next(&field)) return false;
    }
    // fields[0] is "ppp" or whatever precedes it; fields[1] is the phone's
    // number, which only has to be there.
    const std::int32_t port = LeadingDecimal(fields[2]);
    const std::int32_t port2 = LeadingDecimal(fields[3]);

    char code[kPhoneCodeDigits + 1];
    if (!TakePhoneCode(fields[4], code)) return false;
    PhoneEndpoint decoded;
    if (HexCodeToIp(code, decoded.address, sizeof decoded.address) == nullptr) return false;
    if (!TakePorts(port, port2, &decoded)) return false;
    *out = decoded;
    return true;
}

}  // namespace

bool DecodeNoticeDatagram(const std::uint8_t* bytes, std::size_t count, PhoneEndpoint* out) {
    if (count == 0 || count > kNoticeDatagramMax) return false;
    const char* text = reinterpret_cast<const char*>(bytes);
    const void* zero = std::memchr(text, '\0', count);
    const std::size_t length =
        zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - text) : count;
    // A complete ip_notice is judged as such: one with an unusable address
    // does not get a second chance as text. (ParseFromArray would do the
    // same, but log every text notice as an incomplete message.)
    rovo_communication::ip_notice notice;
    if (notice.ParsePartialFromArray(text, static_cast<int>(length)) && notice.IsInitialized()) {
        return TakeIpNotice(notice, out);
    }
    return DecodeTextNotice(std::string_view(text, length), out);
}

int HexDigitValue(char c) {
    int code = static_cast<unsigned char>(c);
    if (code >= 'A' && code <= 'Z') code += 'a' - 'A';
    return code >= 'a' ? code - 87 : code - 48;
}

char* HexCodeToIp(const char* hex, char* out, std::size_t outSize) {
    if (outSize == 0) return nullptr;
    out[0] = '\0';
    std::size_t used = 0;  // characters in out, without the terminator
    for (std::size_t i = 0; hex[i] != '\0' && hex[i + 1] != '\0'; i += 2) {
        const int value = HexDigitValue(hex[i]) * 16 + HexDigitValue(hex[i + 1]);
        char part[16];
        const int partLength = std::snprintf(part, sizeof part, used == 0 ? "%d" : ".%d", value);
        if (partLength < 0 || used + static_cast<std::size_t>(partLength) >= outSize) {
            out[0] = '\0';
            return nullptr;
        }
        std::memcpy(out + used, part, static_cast<std::size_t>(partLength) + 1);
        used += static_cast<std::size_t>(partLength);
    }
    return out;
}

}  // namespace pavix
