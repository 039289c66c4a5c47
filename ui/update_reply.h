#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pavix {

// This program's version as the update server knows it (5.0).
constexpr char kVersionText[] = "500";

// How much of the server's reply is looked at: the first receive, cut to
// this many bytes.
constexpr std::size_t kUpdateReplyMax = 1024;

// The update request for the server `host`, byte for byte as sent: the
// request line ends with a bare line feed, the other lines with CR LF.
std::string BuildUpdateRequest(std::string_view host);

// Whether the first `count` bytes received from the server announce a newer
// version: the reply's body, everything after its first empty line, must be
// exactly the one byte "1". The search for the empty line stops at a zero
// byte; only the first kUpdateReplyMax bytes count.
bool ReplySaysNewVersion(const std::uint8_t* received, std::size_t count);

}  // namespace pavix
