#pragma once

#include <winsock2.h>

namespace pavix {

// Looks up the first IPv4 address of `host` (a name or dotted text), giving
// up after `timeoutMs`. The system's resolver cannot be interrupted: it runs
// on a helper thread of its own, which is left to finish by itself when the
// time is up. Windows Sockets must be started.
bool LookUpIPv4(const char* host, DWORD timeoutMs, in_addr* out);

}  // namespace pavix
