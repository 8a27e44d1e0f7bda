// What the file-reading fuzz targets share: a failed property ends the run,
// and each input is written to a scratch file of the process's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace fuzz_files {

inline void check(bool condition) {
    if (!condition)
        std::abort();
}

// A scratch file named after the target and this process, in a memory-backed
// folder where there is one: every save syncs its file.
inline std::string scratch(const char* stem, const char* suffix) {
    const char* folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(folder) + "/" + stem + "_" + std::to_string(::getpid()) + suffix;
}

// The input as the whole file; false when it could not be written.
inline bool write(const std::string& path, const uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

} // namespace fuzz_files
