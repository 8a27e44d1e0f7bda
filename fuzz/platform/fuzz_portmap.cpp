// Fuzzes the port map file as a user or another program may leave it: the
// bytes are the file.  Every COM port must map to an absolute path without
// control bytes and every GPIB board to a short printable text or nothing;
// setting one entry must leave every other entry as it was and read back.
#include "platform/portmap.h"

#include "fuzz/fuzz_files.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace {

using fuzz_files::check;

bool printable(const std::string& s) {
    for (const char c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const std::string path = fuzz_files::scratch("fuzz_portmap", ".cfg");
    static const bool ready = [] { return ::setenv("IMBENCH_PORTS", path.c_str(), 1) == 0; }();
    check(ready);
    if (!fuzz_files::write(path, data, size))
        return 0;

    portmap::reload();
    std::string com[256];
    for (int port = 1; port <= 255; ++port) {
        com[port] = portmap::comPath(port);
        check(!com[port].empty() && com[port][0] == '/' && printable(com[port]));
    }
    const std::string gpib = portmap::gpibBoard(0);
    check(gpib.size() <= 255 && printable(gpib));

    // One entry edited through the map: the others stay, also after a fresh read.
    const int port = size > 0 ? 1 + data[0] % 255 : 1;
    check(portmap::setComPath(port, "/dev/fuzzed"));
    portmap::reload();
    for (int p = 1; p <= 255; ++p)
        check(portmap::comPath(p) == (p == port ? std::string("/dev/fuzzed") : com[p]));
    check(portmap::gpibBoard(0) == gpib);
    ::unlink(path.c_str());
    return 0;
}
