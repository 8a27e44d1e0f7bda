#include "platform/gpib.h"

#include "platform/portmap.h"
#include "platform/posix_io.h"

#include <array>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

int ibsta = 0;
int iberr = 0;
long ibcntl = 0;

namespace {

using posix_io::UniqueFd;

constexpr int kMaxDescriptors = 32;
constexpr int kMaxBoard = 15;
constexpr int kMaxTimeoutCode = T1000s;
constexpr int kPrologixDefaultPort = 1234;
constexpr int kConnectTimeoutMs = 2000;
constexpr long kPrologixSerialBaud = 115200; // USB adapters ignore it; the line needs one
// The adapter accepts read time-outs of 1 to 3000 ms.
constexpr int kPrologixMaxReadTmoMs = 3000;
// Once the adapter has given up on a silent device it sends nothing, so a
// longer time-out (or none) would only wait in vain; this covers the trip.
constexpr int kPrologixGiveUpMarginMs = 500;
// The adapter sends nothing to mark the end of a reply (EOI is not passed on),
// so the end is a pause: short after a line end, where replies nearly always
// end (it is paid on every query), longer after other bytes.  Anything that
// trickles in after the pause is dropped before the next command.
constexpr int kLineEndQuietMs = 2;
constexpr int kDataEndQuietMs = 100;
constexpr size_t kChunk = 4096;
constexpr const char* kDefaultLibgpib = "libgpib.so.0";

constexpr unsigned char kEsc = 27;

// Time-out codes in microseconds; TNONE waits for ever.
constexpr long long kTimeoutMicros[kMaxTimeoutCode + 1] = {
    0, 10, 30, 100, 300, 1000, 3000, 10000, 30000,
    100000, 300000, 1000000, 3000000, 10000000, 30000000, 100000000, 300000000, 1000000000};

std::string lastText;

int64_t timeoutMs(int code) {
    if (code <= TNONE || code > kMaxTimeoutCode) return -1;
    return (kTimeoutMicros[code] + 999) / 1000;
}

int64_t deadlineFor(int code) {
    int64_t ms = timeoutMs(code);
    return ms < 0 ? posix_io::kNoDeadline : posix_io::nowMs() + ms;
}

int fail(int err, std::string text, int extra = 0) {
    ibsta = GPIB_ERR | extra;
    iberr = err;
    lastText = std::move(text);
    return ibsta;
}

int succeed(int status) {
    ibsta = status;
    lastText.clear();
    return ibsta;
}

// ---------------------------------------------------------------- Prologix

struct Prologix {
    UniqueFd fd;
    bool isSerial = false;
    std::string entry; // the port map entry it was opened for
    std::string where; // "127.0.0.1:1234" or the device path, for messages
    int users = 0;
    // What the adapter was last told; -1 = unknown, so it is told again.
    int addr = -1;
    int eoi = -1;
    int readTmoMs = -1;
};

std::map<int, std::unique_ptr<Prologix>> prologixBoards;

bool parseIPv4Endpoint(std::string_view text, sockaddr_in& sa, std::string& why) {
    std::string host(text);
    int port = kPrologixDefaultPort;
    if (size_t colon = host.rfind(':'); colon != std::string::npos) {
        std::string p = host.substr(colon + 1);
        host.resize(colon);
        char* end = nullptr;
        errno = 0;
        long v = std::strtol(p.c_str(), &end, 10);
        if (p.empty() || *end != '\0' || errno != 0 || v < 1 || v > 65535 || p[0] == '+' || p[0] == '-') {
            why = "\"" + p + "\" is not a TCP port number";
            return false;
        }
        port = static_cast<int>(v);
    }
    sa = {};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, host.c_str(), &sa.sin_addr) != 1) {
        why = "\"" + host + "\" is not a numeric IPv4 address";
        return false;
    }
    return true;
}

bool connectTcp(Prologix& b, const sockaddr_in& sa, std::string& why) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.valid()) {
        why = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    int one = 1;
    // Command lines are tiny; do not let them wait for one another.
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        if (errno != EINPROGRESS && errno != EINTR) {
            why = std::strerror(errno);
            return false;
        }
        int r = posix_io::pollUntil(fd.get(), POLLOUT, posix_io::nowMs() + kConnectTimeoutMs);
        if (r == 0) {
            why = "no answer within " + std::to_string(kConnectTimeoutMs) + " ms";
            return false;
        }
        int err = 0;
        socklen_t len = sizeof err;
        if (r < 0 || ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
        if (err != 0) {
            why = std::strerror(err);
            return false;
        }
    }
    b.fd = std::move(fd);
    return true;
}

bool openSerialAdapter(Prologix& b, const std::string& path, std::string& why) {
    UniqueFd fd;
    posix_io::OpenResult r = posix_io::openSerial(path, fd);
    if (r.code != 0) {
        why = r.text;
        return false;
    }
    if (posix_io::configureSerial(fd.get(), kPrologixSerialBaud, 0, 8, 1, why) != 0) return false;
    ::tcflush(fd.get(), TCIOFLUSH);
    b.fd = std::move(fd);
    return true;
}

// Discards what the adapter sent after the end of an earlier reply, so it is
// not taken for the start of the next one.  False when the connection is gone.
bool drainStale(Prologix& b) {
    char scratch[kChunk];
    for (;;) {
        ssize_t n = ::read(b.fd.get(), scratch, sizeof scratch);
        if (n > 0) continue;
        if (n < 0 && errno == EINTR) continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

void dropConnection(Prologix& b) {
    b.fd.reset();
    b.addr = b.eoi = b.readTmoMs = -1;
}

// The configuration every session starts with: controller, no automatic
// read-after-write, EOI with the last byte, and no terminator added to our data.
constexpr std::string_view kPrologixSetup = "++mode 1\n++auto 0\n++eoi 1\n++eos 3\n";

bool sendToAdapter(Prologix& b, const std::string& bytes, int64_t deadline) {
    int r = b.isSerial ? posix_io::writeAll(b.fd.get(), bytes.data(), bytes.size(), deadline)
                       : posix_io::sendAll(b.fd.get(), bytes.data(), bytes.size(), deadline);
    if (r == 0) return true;
    int e = errno;
    dropConnection(b);
    if (e == ETIMEDOUT) {
        fail(GPIB_EABO, "The GPIB adapter at " + b.where + " did not take the data in time.", GPIB_TIMO);
    } else {
        fail(GPIB_EDVR, "Lost the GPIB adapter at " + b.where + ": " + std::strerror(e) + ".");
    }
    return false;
}

// Connects when needed (first use, or after the connection was lost) and sends the setup.
bool ensureConnected(int board, Prologix& b, const std::string& entry) {
    if (b.fd.valid()) return true;
    std::string_view s = entry;
    size_t sp = s.find(' ');
    std::string_view kind = s.substr(0, sp);
    std::string arg(sp == std::string_view::npos ? std::string_view() : s.substr(sp + 1));
    while (!arg.empty() && arg.front() == ' ') arg.erase(0, 1);
    std::string why;
    bool ok;
    if (kind == "prologix-tcp") {
        sockaddr_in sa;
        ok = parseIPv4Endpoint(arg, sa, why);
        b.isSerial = false;
        b.where = ok ? arg + (arg.find(':') == std::string::npos ? ":" + std::to_string(kPrologixDefaultPort) : "")
                     : arg;
        if (ok) ok = connectTcp(b, sa, why);
    } else {
        b.isSerial = true;
        b.where = arg;
        ok = !arg.empty() && arg[0] == '/';
        if (!ok) why = "\"" + arg + "\" is not a device path";
        if (ok) ok = openSerialAdapter(b, arg, why);
    }
    if (!ok) {
        fail(GPIB_EDVR, "GPIB" + std::to_string(board) + " (" + entry + "): cannot reach the adapter: " + why + ".");
        return false;
    }
    b.addr = b.eoi = b.readTmoMs = -1;
    if (!sendToAdapter(b, std::string(kPrologixSetup), posix_io::nowMs() + kConnectTimeoutMs)) return false;
    b.eoi = 1;
    return true;
}

// ---------------------------------------------------------------- linux-gpib

struct Libgpib {
    void* handle = nullptr;
    std::string name;
    int users = 0;
    int (*dev)(int, int, int, int, int, int) = nullptr;
    int (*wrt)(int, const void*, long) = nullptr;
    int (*rd)(int, void*, long) = nullptr;
    int (*tmo)(int, int) = nullptr;
    int (*loc)(int) = nullptr;
    int (*onl)(int, int) = nullptr;
    int (*threadIbsta)() = nullptr;
    int (*threadIberr)() = nullptr;
    long (*threadIbcntl)() = nullptr;
    int (*threadIbcnt)() = nullptr;
    volatile int* varIbsta = nullptr;
    volatile int* varIberr = nullptr;
    volatile long* varIbcntl = nullptr;
    volatile int* varIbcnt = nullptr;
};

Libgpib lib;

template <typename T>
void bind(T& target, const char* symbol) {
    target = reinterpret_cast<T>(::dlsym(lib.handle, symbol));
}

bool loadLibgpib(std::string& why) {
    const char* env = std::getenv("IMBENCH_LIBGPIB");
    std::string name = env && *env ? env : kDefaultLibgpib;
    if (lib.handle && lib.name == name) return true;
    if (lib.handle) {
        if (lib.users > 0) {
            why = "another libgpib (" + lib.name + ") is in use";
            return false;
        }
        ::dlclose(lib.handle);
        lib = Libgpib{};
    }
    lib.handle = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib.handle) {
        const char* err = ::dlerror();
        why = "cannot load " + name + " (" + (err ? err : "not found") +
            "); install linux-gpib, or use a Prologix adapter for this board";
        return false;
    }
    lib.name = name;
    bind(lib.dev, "ibdev");
    bind(lib.wrt, "ibwrt");
    bind(lib.rd, "ibrd");
    bind(lib.tmo, "ibtmo");
    bind(lib.loc, "ibloc");
    bind(lib.onl, "ibonl");
    bind(lib.threadIbsta, "ThreadIbsta");
    bind(lib.threadIberr, "ThreadIberr");
    bind(lib.threadIbcntl, "ThreadIbcntl");
    bind(lib.threadIbcnt, "ThreadIbcnt");
    bind(lib.varIbsta, "ibsta");
    bind(lib.varIberr, "iberr");
    bind(lib.varIbcntl, "ibcntl");
    bind(lib.varIbcnt, "ibcnt");
    const char* missing = !lib.dev ? "ibdev" : !lib.wrt ? "ibwrt"
        : !lib.rd                                       ? "ibrd"
        : !lib.tmo                                      ? "ibtmo"
        : !lib.loc                                      ? "ibloc"
        : !lib.onl                                      ? "ibonl"
        : !lib.threadIbsta && !lib.varIbsta             ? "ibsta"
                                                        : nullptr;
    if (missing) {
        why = name + " has no " + missing + "; it is not linux-gpib's libgpib";
        ::dlclose(lib.handle);
        lib = Libgpib{};
        return false;
    }
    return true;
}

// Copies the library's status after one of its calls into ours.
int copyLibStatus(const char* call) {
    ibsta = lib.threadIbsta ? lib.threadIbsta() : *lib.varIbsta;
    iberr = lib.threadIberr ? lib.threadIberr() : lib.varIberr ? *lib.varIberr
                                                               : 0;
    if (lib.threadIbcntl) {
        ibcntl = lib.threadIbcntl();
    } else if (lib.varIbcntl) {
        ibcntl = *lib.varIbcntl;
    } else if (lib.threadIbcnt) {
        ibcntl = lib.threadIbcnt();
    } else if (lib.varIbcnt) {
        ibcntl = *lib.varIbcnt;
    }
    if (ibsta & GPIB_ERR) {
        char status[16];
        std::snprintf(status, sizeof status, "%x", static_cast<unsigned>(ibsta));
        lastText = std::string("linux-gpib ") + call + " failed: status 0x" + status + ", error " +
            std::to_string(iberr) + ".";
    } else {
        lastText.clear();
    }
    return ibsta;
}

// ---------------------------------------------------------------- descriptors

enum class Backend { None,
    Prologix,
    Libgpib };

struct Device {
    Backend backend = Backend::None;
    int board = 0;
    int pad = 0;
    int sad = 0;
    int tmo = T1s;
    int eot = 1;
    int libUd = -1;
    std::string entry;
};

std::array<Device, kMaxDescriptors> devices;

Device* device(int ud) {
    if (ud < 0 || ud >= kMaxDescriptors || devices[static_cast<size_t>(ud)].backend == Backend::None) {
        fail(GPIB_EARG, "GPIB descriptor " + std::to_string(ud) + " is not open.");
        return nullptr;
    }
    return &devices[static_cast<size_t>(ud)];
}

Prologix& adapterOf(const Device& d) { return *prologixBoards.at(d.board); }

// Commands that bring the adapter to this device's address and end-of-write setting.
bool prologixPrepare(Device& d, std::string& out) {
    Prologix& b = adapterOf(d);
    if (!ensureConnected(d.board, b, d.entry)) return false;
    if (!drainStale(b)) {
        // The adapter went away since the last call (switched off, restarted):
        // a new session is started at once rather than failing this call.
        dropConnection(b);
        if (!ensureConnected(d.board, b, d.entry)) return false;
    }
    int addr = d.pad | (d.sad << 8);
    if (b.addr != addr) {
        out += "++addr " + std::to_string(d.pad);
        if (d.sad != 0) out += " " + std::to_string(d.sad);
        out += "\n";
        b.addr = addr;
    }
    int eoi = d.eot ? 1 : 0;
    if (b.eoi != eoi) {
        out += "++eoi " + std::to_string(eoi) + "\n";
        b.eoi = eoi;
    }
    return true;
}

int prologixReadTmo(int code) {
    int64_t ms = timeoutMs(code);
    if (ms < 0 || ms > kPrologixMaxReadTmoMs) return kPrologixMaxReadTmoMs;
    return ms < 1 ? 1 : static_cast<int>(ms);
}

int prologixWrite(Device& d, const unsigned char* data, long count) {
    std::string out;
    if (!prologixPrepare(d, out)) return ibsta;
    out.reserve(out.size() + static_cast<size_t>(count) * 2 + 1);
    for (long i = 0; i < count; ++i) {
        unsigned char c = data[i];
        // Unescaped, these would end or alter the adapter command line.
        if (c == '\r' || c == '\n' || c == kEsc || c == '+') out += static_cast<char>(kEsc);
        out += static_cast<char>(c);
    }
    out += '\n';
    if (!sendToAdapter(adapterOf(d), out, deadlineFor(d.tmo))) return ibsta;
    ibcntl = count;
    return succeed(GPIB_CMPL);
}

int prologixRead(Device& d, unsigned char* buffer, long count) {
    ibcntl = 0;
    std::string out;
    if (!prologixPrepare(d, out)) return ibsta;
    Prologix& b = adapterOf(d);
    int readTmo = prologixReadTmo(d.tmo);
    if (b.readTmoMs != readTmo) {
        out += "++read_tmo_ms " + std::to_string(readTmo) + "\n";
        b.readTmoMs = readTmo;
    }
    out += "++read eoi\n";
    int64_t waitMs = timeoutMs(d.tmo);
    if (waitMs < 0 || waitMs > readTmo + kPrologixGiveUpMarginMs) waitMs = readTmo + kPrologixGiveUpMarginMs;
    const int64_t deadline = posix_io::nowMs() + waitMs;
    if (!sendToAdapter(b, out, deadline)) return ibsta;

    // Once data flows the reply is taken to its end even past the time-out,
    // within a bound, so that a reply arriving at the limit is not cut.
    const int64_t hardLimit = deadline + kDataEndQuietMs;
    long stored = 0;
    bool any = false;
    bool overflow = false;
    unsigned char last = 0;
    unsigned char chunk[kChunk];
    for (;;) {
        int64_t wait = deadline;
        if (any) {
            wait = posix_io::nowMs() + (last == '\n' ? kLineEndQuietMs : kDataEndQuietMs);
            if (wait > hardLimit) wait = hardLimit;
        }
        int r = posix_io::pollUntil(b.fd.get(), POLLIN, wait);
        if (r < 0) {
            int e = errno;
            dropConnection(b);
            ibcntl = stored;
            return fail(GPIB_EDVR, "Lost the GPIB adapter at " + b.where + ": " + std::strerror(e) + ".");
        }
        if (r == 0) {
            if (any && posix_io::nowMs() < hardLimit) break; // the pause after the reply
            ibcntl = stored;
            return fail(GPIB_EABO,
                any ? "The reply from GPIB address " + std::to_string(d.pad) + " did not end in time."
                    : "No reply from GPIB address " + std::to_string(d.pad) + " within the time-out.",
                GPIB_TIMO);
        }
        ssize_t n = ::read(b.fd.get(), chunk, sizeof chunk);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
        if (n <= 0) {
            int e = n == 0 ? ECONNRESET : errno;
            dropConnection(b);
            ibcntl = stored;
            return fail(GPIB_EDVR, "Lost the GPIB adapter at " + b.where + ": " + std::strerror(e) + ".");
        }
        any = true;
        last = chunk[n - 1];
        long take = std::min<long>(n, count - stored);
        if (take > 0) {
            std::memcpy(buffer + stored, chunk, static_cast<size_t>(take));
            stored += take;
        }
        // The rest of a reply too long for the buffer is read and dropped: each
        // read asks the adapter afresh, so leftovers would only confuse the next.
        if (take < n) overflow = true;
    }
    ibcntl = stored;
    return succeed(overflow ? GPIB_CMPL : GPIB_END | GPIB_CMPL);
}

void releaseDevice(Device& d) {
    if (d.backend == Backend::Prologix) {
        auto it = prologixBoards.find(d.board);
        if (it != prologixBoards.end() && --it->second->users <= 0) prologixBoards.erase(it);
    } else if (d.backend == Backend::Libgpib) {
        --lib.users;
    }
    d = Device{};
}

} // namespace

int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) {
    // eos goes to linux-gpib only: over the adapter a reply ends with EOI.
    ibcntl = 0;
    if (board < 0 || board > kMaxBoard || pad < 0 || pad > 30 || (sad != 0 && (sad < 0x60 || sad > 0x7e)) ||
        tmo < TNONE || tmo > kMaxTimeoutCode) {
        // clang-format off
        fail(GPIB_EARG, "Invalid GPIB device: board " + std::to_string(board) + ", address " +
                            std::to_string(pad) + ", secondary " + std::to_string(sad) + ", time-out code " +
                            std::to_string(tmo) + ".");
        // clang-format on
        return -1;
    }
    const std::string entry = portmap::gpibBoard(board);
    if (entry.empty()) {
        // clang-format off
        fail(GPIB_ENEB, "No GPIB board " + std::to_string(board) + " is set up: add a line such as \"GPIB" +
                            std::to_string(board) + " = prologix-tcp <adapter address>:1234\", \"GPIB" +
                            std::to_string(board) + " = prologix-serial /dev/ttyUSB0\" or \"GPIB" +
                            std::to_string(board) + " = linux-gpib 0\" to " + portmap::filePath() + ".");
        // clang-format on
        return -1;
    }
    int ud = -1;
    for (int i = 0; i < kMaxDescriptors; ++i) {
        if (devices[static_cast<size_t>(i)].backend == Backend::None) {
            ud = i;
            break;
        }
    }
    if (ud < 0) {
        fail(GPIB_EDVR, "Too many GPIB devices open (" + std::to_string(kMaxDescriptors) + ").");
        return -1;
    }
    Device& d = devices[static_cast<size_t>(ud)];
    // The descriptor is taken only once its back end has the device.
    auto take = [&](Backend backend) {
        d.backend = backend;
        d.board = board;
        d.pad = pad;
        d.sad = sad;
        d.tmo = tmo;
        d.eot = eot;
        d.entry = entry;
    };
    std::string_view s = entry;
    std::string_view kind = s.substr(0, s.find(' '));

    if (kind == "prologix-tcp" || kind == "prologix-serial") {
        std::unique_ptr<Prologix>& slot = prologixBoards[board];
        if (!slot) {
            slot = std::make_unique<Prologix>();
            slot->entry = entry;
        } else if (slot->entry != entry) {
            fail(GPIB_EDVR, "GPIB" + std::to_string(board) + " is still open on " + slot->entry + "; close its devices before using " + entry + ".");
            return -1;
        }
        if (!ensureConnected(board, *slot, entry)) {
            if (slot->users == 0) prologixBoards.erase(board);
            return -1;
        }
        ++slot->users;
        take(Backend::Prologix);
        succeed(GPIB_CMPL);
        return ud;
    }
    if (kind == "linux-gpib") {
        std::string arg(s.size() > kind.size() ? s.substr(kind.size() + 1) : std::string_view());
        char* end = nullptr;
        long minor = std::strtol(arg.c_str(), &end, 10);
        if (arg.empty() || *end != '\0' || minor < 0 || minor > kMaxBoard) {
            fail(GPIB_EDVR, "GPIB" + std::to_string(board) + " (" + entry + "): \"" + arg + "\" is not a linux-gpib board number.");
            return -1;
        }
        std::string why;
        if (!loadLibgpib(why)) {
            fail(GPIB_EDVR, "GPIB" + std::to_string(board) + " (" + entry + "): " + why + ".");
            return -1;
        }
        int libUd = lib.dev(static_cast<int>(minor), pad, sad, tmo, eot, eos);
        copyLibStatus("ibdev");
        if (libUd < 0 || (ibsta & GPIB_ERR)) {
            if (!(ibsta & GPIB_ERR)) ibsta |= GPIB_ERR;
            lastText = "GPIB" + std::to_string(board) + " (" + entry + "): linux-gpib could not open address " +
                std::to_string(pad) + " (error " + std::to_string(iberr) + ").";
            return -1;
        }
        ++lib.users;
        take(Backend::Libgpib);
        d.libUd = libUd;
        return ud;
    }
    fail(GPIB_EDVR, "GPIB" + std::to_string(board) + " (" + entry + "): unknown kind; use prologix-tcp, prologix-serial or linux-gpib.");
    return -1;
}

int ibwrt(int ud, const void* buffer, long count) {
    Device* d = device(ud);
    if (!d) return ibsta;
    if (count < 0 || (count > 0 && !buffer)) return fail(GPIB_EARG, "Invalid buffer for ibwrt.");
    if (d->backend == Backend::Libgpib) {
        lib.wrt(d->libUd, buffer, count);
        return copyLibStatus("ibwrt");
    }
    ibcntl = 0;
    return prologixWrite(*d, static_cast<const unsigned char*>(buffer), count);
}

int ibrd(int ud, void* buffer, long count) {
    Device* d = device(ud);
    if (!d) return ibsta;
    if (count < 0 || (count > 0 && !buffer)) return fail(GPIB_EARG, "Invalid buffer for ibrd.");
    if (d->backend == Backend::Libgpib) {
        lib.rd(d->libUd, buffer, count);
        return copyLibStatus("ibrd");
    }
    return prologixRead(*d, static_cast<unsigned char*>(buffer), count);
}

int ibtmo(int ud, int tmo) {
    Device* d = device(ud);
    if (!d) return ibsta;
    if (tmo < TNONE || tmo > kMaxTimeoutCode) {
        return fail(GPIB_EARG, "Invalid GPIB time-out code " + std::to_string(tmo) + ".");
    }
    if (d->backend == Backend::Libgpib) {
        lib.tmo(d->libUd, tmo);
        copyLibStatus("ibtmo");
        if (!(ibsta & GPIB_ERR)) d->tmo = tmo;
        return ibsta;
    }
    d->tmo = tmo; // the adapter hears of it with the next read
    return succeed(GPIB_CMPL);
}

int ibloc(int ud) {
    Device* d = device(ud);
    if (!d) return ibsta;
    if (d->backend == Backend::Libgpib) {
        lib.loc(d->libUd);
        return copyLibStatus("ibloc");
    }
    std::string out;
    if (!prologixPrepare(*d, out)) return ibsta;
    out += "++loc\n";
    if (!sendToAdapter(adapterOf(*d), out, deadlineFor(d->tmo))) return ibsta;
    return succeed(GPIB_CMPL);
}

int ibonl(int ud, int online) {
    Device* d = device(ud);
    if (!d) return ibsta;
    int status = GPIB_CMPL;
    if (d->backend == Backend::Libgpib) {
        lib.onl(d->libUd, online);
        status = copyLibStatus("ibonl");
    }
    if (status & GPIB_ERR) {
        if (online == 0) {
            // The descriptor is gone even when the library complained.
            std::string text = lastText;
            releaseDevice(*d);
            lastText = text;
        }
        return ibsta;
    }
    if (online == 0) releaseDevice(*d);
    return succeed(status);
}

const char* gpib_last_error_text() { return lastText.c_str(); }

int gpib_timeout_code(int ud) {
    if (ud < 0 || ud >= kMaxDescriptors || devices[static_cast<size_t>(ud)].backend == Backend::None) return -1;
    return devices[static_cast<size_t>(ud)].tmo;
}
