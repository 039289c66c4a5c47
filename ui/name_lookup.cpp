#include "ui/name_lookup.h"

#include <ws2tcpip.h>

#include <cstring>
#include <new>

namespace pavix {
namespace {

// Shared by the caller and the helper thread; whoever finishes last frees it.
struct Lookup {
    volatile LONG owners = 2;
    HANDLE done = nullptr;
    char host[256] = {};
    bool found = false;
    in_addr address = {};

    void Release() {
        if (InterlockedDecrement(&owners) == 0) {
            CloseHandle(done);
            delete this;
        }
    }
};

DWORD WINAPI LookupThread(LPVOID argument) {
    auto* lookup = static_cast<Lookup*>(argument);
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* results = nullptr;
    if (getaddrinfo(lookup->host, nullptr, &hints, &results) == 0) {
        for (const addrinfo* r = results; r != nullptr; r = r->ai_next) {
            if (r->ai_family == AF_INET && r->ai_addrlen >= sizeof(sockaddr_in)) {
                lookup->address = reinterpret_cast<const sockaddr_in*>(r->ai_addr)->sin_addr;
                lookup->found = true;
                break;
            }
        }
        freeaddrinfo(results);
    }
    SetEvent(lookup->done);
    lookup->Release();
    return 0;
}

}  // namespace

bool LookUpIPv4(const char* host, DWORD timeoutMs, in_addr* out) {
    const std::size_t length = std::strlen(host);
    auto* lookup = new (std::nothrow) Lookup;
    if (lookup == nullptr) return false;
    if (length >= sizeof lookup->host ||
        (lookup->done = CreateEventW(nullptr, TRUE, FALSE, nullptr)) == nullptr) {
        delete lookup;
        return false;
    }
    std::memcpy(lookup->host, host, length);
    HANDLE thread = CreateThread(nullptr, 0, LookupThread, lookup, 0, nullptr);
    if (thread == nullptr) {
        CloseHandle(lookup->done);
        delete lookup;
        return false;
    }
    CloseHandle(thread);
    const bool answered = WaitForSingleObject(lookup->done, timeoutMs) == WAIT_OBJECT_0;
    const bool found = answered && lookup->found;
    if (found) *out = lookup->address;
    lookup->Release();
    return found;
}

}  // namespace pavix
