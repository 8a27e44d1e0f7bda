// device.cfg as a user or another program may leave it: any bytes.  The
// result must be what a plain "%d" reading of the first line gives whenever
// that reading is defined, and -1 otherwise.
#include "link/ifp.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int value = ifp_parse_device_cfg_text(std::string_view(reinterpret_cast<const char*>(data), size));
    std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "r");
    if (!f)
        return 0;

    // Reference: the same first line through strtol.
    char line[IFP_CFG_LINE_SIZE];
    int expected = -1;
    if (std::fgets(line, sizeof line, f)) {
        char* end = nullptr;
        errno = 0;
        const long v = std::strtol(line, &end, 10);
        const bool digits = end != line && std::strchr("0123456789", end[-1]);
        if (digits && errno == 0 && v >= -2147483647L && v <= 2147483647L)
            expected = static_cast<int>(v);
    }
    std::fclose(f);
    if (value != expected) {
        std::fprintf(stderr, "device.cfg read as %d, expected %d\n", value, expected);
        std::abort();
    }
    return 0;
}
