// Any file content: the reader must stay inside its buffers, and what it
// accepts must be a terminated address of at most 39 characters.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "ui/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path =
        "/tmp/pavix_settings_fuzz_" + std::to_string(static_cast<long>(getpid())) + ".ini";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);

    pavix::PhoneEndpoint endpoint;
    std::memset(endpoint.address, 'x', sizeof endpoint.address);
    if (pavix::ReadSettings(path.c_str(), &endpoint)) {
        const void* end = std::memchr(endpoint.address, '\0', sizeof endpoint.address);
        if (end == nullptr || end == endpoint.address) std::abort();
    } else if (endpoint.address[0] != 'x') {
        std::abort();
    }
    std::remove(path.c_str());
    return 0;
}
