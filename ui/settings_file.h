#pragma once

#include <cstdint>

#include "link/phone_endpoint.h"

namespace pavix {

// The settings file: the current directory's pavix_cfg.ini, holding the
// last phone endpoint reached through the connect dialog as one line
// "<address>:<port>:<port2>" without a line end, e.g. 192.168.1.2:1234:1235.
constexpr char kSettingsFile[] = "./pavix_cfg.ini";

// Replaces the file at `path` with the endpoint. False when it could not be
// written; nobody is told, the next start just finds the old file or none.
bool WriteSettings(const char* path, const char* address, std::int32_t port, std::int32_t port2);

// Reads the endpoint back from the file at `path`. Takes the first line (up
// to 128 characters) split at colons (runs of colons count as one): the
// address, then the port and the second port read like atoi. True and
// *out filled when all three are there, the address has at most 39
// characters and both ports are within 1-65535 (a port cut to 16 bits
// would aim elsewhere); false otherwise, with *out untouched.
bool ReadSettings(const char* path, PhoneEndpoint* out);

}  // namespace pavix
