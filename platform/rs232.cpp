#include "platform/rs232.h"

#include "platform/portmap.h"
#include "platform/posix_io.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using posix_io::UniqueFd;

namespace {

constexpr int kPortCount = 255;
// One read() takes up to this many bytes; ComRdByte serves them one by one.
constexpr size_t kReadBufferSize = 4096;
constexpr int kDefaultTimeoutMs = 10000;
// Bounds the non-blocking drain of FlushInQ on a port that never stops talking.
constexpr int kMaxDrainReads = 64;

struct Port {
    UniqueFd fd;
    std::string path;
    int timeoutMs = kDefaultTimeoutMs;
    std::unique_ptr<unsigned char[]> rx;
    size_t rxPos = 0;
    size_t rxLen = 0;
};

std::array<Port, kPortCount> ports;
int lastError = 0;
std::string lastErrorText;
long readCalls = 0;

int setError(int code) {
    lastError = code;
    return code;
}

// The open port for a number, or nullptr with the error recorded.
Port* openPort(int port) {
    if (port < 1 || port > kPortCount) {
        setError(RS232_ERR_BAD_PARAMETER);
        return nullptr;
    }
    Port& p = ports[static_cast<size_t>(port - 1)];
    if (!p.fd.valid()) {
        setError(RS232_ERR_PORT_NOT_OPEN);
        return nullptr;
    }
    return &p;
}

void closePort(Port& p) {
    if (p.fd.valid()) ::ioctl(p.fd.get(), TIOCNXCL);
    p.fd.reset();
    p.rx.reset();
    p.rxPos = p.rxLen = 0;
    p.path.clear();
}

int updateFlags(Port& p, tcflag_t iflagBits, tcflag_t cflagBits, bool on) {
    termios t{};
    if (::tcgetattr(p.fd.get(), &t) != 0) return setError(RS232_ERR_BAD_PARAMETER);
    if (on) {
        t.c_iflag |= iflagBits;
        t.c_cflag |= cflagBits;
    } else {
        t.c_iflag &= ~iflagBits;
        t.c_cflag &= ~cflagBits;
    }
    if (::tcsetattr(p.fd.get(), TCSANOW, &t) != 0) return setError(RS232_ERR_BAD_PARAMETER);
    return setError(RS232_NO_ERROR);
}

} // namespace

int OpenComConfig(int port, const char* deviceName, long baud, int parity, int dataBits, int stopBits,
    int /*inputQueueSize*/, int /*outputQueueSize*/) {
    const std::string name = deviceName && *deviceName ? deviceName : "COM" + std::to_string(port);
    if (port < 1 || port > kPortCount) {
        lastErrorText = name + ": port number " + std::to_string(port) + " is outside 1..255.";
        return setError(RS232_ERR_BAD_PARAMETER);
    }
    if (!posix_io::isStandardBaud(baud)) {
        lastErrorText = name + ": unsupported baud rate " + std::to_string(baud) + ".";
        return setError(RS232_ERR_BAD_PARAMETER);
    }
    Port& p = ports[static_cast<size_t>(port - 1)];
    closePort(p); // a second open reconfigures, as with the serial library

    const std::string path = portmap::comPath(port);
    if (path.empty()) {
        lastErrorText = name + " has no device path in " + portmap::filePath() + ".";
        return setError(RS232_ERR_UNKNOWN_PORT);
    }
    UniqueFd fd;
    posix_io::OpenResult r = posix_io::openSerial(path, fd);
    if (r.code != 0) {
        lastErrorText = name + ": " + r.text;
        return setError(r.code);
    }
    std::string why;
    int code = posix_io::configureSerial(fd.get(), baud, parity, dataBits, stopBits, why);
    if (code != 0) {
        lastErrorText = name + " (" + path + "): " + why;
        return setError(code);
    }
    // Bytes that came before the open belong to nobody's question.
    ::tcflush(fd.get(), TCIOFLUSH);

    p.fd = std::move(fd);
    p.path = path;
    p.timeoutMs = kDefaultTimeoutMs;
    p.rx = std::make_unique<unsigned char[]>(kReadBufferSize);
    p.rxPos = p.rxLen = 0;
    lastErrorText.clear();
    return setError(RS232_NO_ERROR);
}

int CloseCom(int port) {
    Port* p = openPort(port);
    if (!p) return lastError;
    closePort(*p);
    return setError(RS232_NO_ERROR);
}

int ComWrt(int port, const char* buffer, int count) {
    Port* p = openPort(port);
    if (!p) return lastError;
    if (count < 0 || (count > 0 && !buffer)) return setError(RS232_ERR_BAD_PARAMETER);
    int64_t deadline = posix_io::nowMs() + p->timeoutMs;
    if (posix_io::writeAll(p->fd.get(), buffer, static_cast<size_t>(count), deadline) != 0) {
        return setError(errno == ETIMEDOUT ? RS232_ERR_TIMEOUT : RS232_ERR_WRITE);
    }
    setError(RS232_NO_ERROR);
    return count;
}

int ComRdByte(int port) {
    Port* p = openPort(port);
    if (!p) return lastError;
    if (p->rxPos < p->rxLen) {
        setError(RS232_NO_ERROR);
        return p->rx[p->rxPos++];
    }
    p->rxPos = p->rxLen = 0;
    int64_t deadline = posix_io::nowMs() + p->timeoutMs;
    for (;;) {
        int r = posix_io::pollUntil(p->fd.get(), POLLIN, deadline);
        if (r == 0) return setError(RS232_ERR_TIMEOUT);
        if (r < 0) return setError(RS232_ERR_READ);
        ssize_t n = ::read(p->fd.get(), p->rx.get(), kReadBufferSize);
        ++readCalls;
        if (n > 0) {
            p->rxLen = static_cast<size_t>(n);
            p->rxPos = 1;
            setError(RS232_NO_ERROR);
            return p->rx[0];
        }
        // 0 is end of file: the device hung up (a pty whose other side closed).
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            return setError(RS232_ERR_READ);
        }
    }
}

int SetComTime(int port, double seconds) {
    Port* p = openPort(port);
    if (!p) return lastError;
    if (!(seconds >= 0.0)) return setError(RS232_ERR_BAD_PARAMETER);
    double ms = std::round(seconds * 1000.0);
    p->timeoutMs = ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
    return setError(RS232_NO_ERROR);
}

int SetXMode(int port, int mode) {
    Port* p = openPort(port);
    if (!p) return lastError;
    return updateFlags(*p, IXON | IXOFF, 0, mode != 0);
}

int SetCTSMode(int port, int mode) {
    Port* p = openPort(port);
    if (!p) return lastError;
    return updateFlags(*p, 0, CRTSCTS, mode != 0);
}

int GetOutQLen(int port) {
    Port* p = openPort(port);
    if (!p) return lastError;
    int pending = 0;
    // Some ttys (ptys among them) cannot tell: nothing is reported as waiting.
    if (::ioctl(p->fd.get(), TIOCOUTQ, &pending) != 0 || pending < 0) pending = 0;
    setError(RS232_NO_ERROR);
    return pending;
}

int GetInQLen(int port) {
    Port* p = openPort(port);
    if (!p) return lastError;
    int waiting = 0;
    if (::ioctl(p->fd.get(), FIONREAD, &waiting) != 0 || waiting < 0) waiting = 0;
    setError(RS232_NO_ERROR);
    return static_cast<int>(p->rxLen - p->rxPos) + waiting;
}

int FlushInQ(int port) {
    Port* p = openPort(port);
    if (!p) return lastError;
    p->rxPos = p->rxLen = 0;
    ::tcflush(p->fd.get(), TCIFLUSH);
    // Bytes that reached the line discipline after the flush are stale too.
    for (int i = 0; i < kMaxDrainReads; ++i) {
        ssize_t n = ::read(p->fd.get(), p->rx.get(), kReadBufferSize);
        ++readCalls;
        if (n <= 0 && !(n < 0 && errno == EINTR)) break;
    }
    return setError(RS232_NO_ERROR);
}

int FlushOutQ(int port) {
    Port* p = openPort(port);
    if (!p) return lastError;
    ::tcflush(p->fd.get(), TCOFLUSH);
    return setError(RS232_NO_ERROR);
}

int ReturnRS232Err() { return lastError; }

const char* GetRS232ErrorString(int code) {
    switch (code) {
    case RS232_NO_ERROR:
        return "No error";
    case RS232_ERR_UNKNOWN_PORT:
        return "No device path for this port";
    case RS232_ERR_PORT_NOT_OPEN:
        return "Port is not open";
    case RS232_ERR_OPEN_FAILED:
        return "Cannot open the port";
    case RS232_ERR_PERMISSION:
        return "Permission denied";
    case RS232_ERR_BUSY:
        return "Port is in use by another program";
    case RS232_ERR_BAD_PARAMETER:
        return "Invalid parameter";
    case RS232_ERR_WRITE:
        return "Write error";
    case RS232_ERR_READ:
        return "Read error";
    case RS232_ERR_TIMEOUT:
        return "Time-out";
    default:
        return "Unknown error";
    }
}

const char* rs232_last_error_text() { return lastErrorText.c_str(); }

std::string rs232_permission_hint(const std::string& path) { return posix_io::permissionHint(path); }

long rs232_read_calls() { return readCalls; }
