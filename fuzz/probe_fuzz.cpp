// The header probe on arbitrary bytes, read from an in-memory file.

#include "common/errors.h"
#include "jpeg/jpeg_util.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const int fd = ::memfd_create("probe.jpg", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        std::abort();

    std::uint16_t width = 0xABCD, height = 0xABCD;
    bool three = true;
    const bool found = tamblure::jpeg::ProbeJpegHeader(path, width, height, three);
    if (!found && (width != 0xABCD || height != 0xABCD || !three))
        std::abort(); // a false answer must leave the out-values alone
    if (found) {
        // The answer must be what the file holds: SOI first, and the two
        // sides somewhere in it, height before width.
        if (size < 11 || data[0] != 0xFF || data[1] != 0xD8)
            std::abort();
    }
    return 0;
}
