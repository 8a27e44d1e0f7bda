#include "platform/posix_io.h"

#include "platform/rs232.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace posix_io {

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int pollUntil(int fd, short events, int64_t deadlineMs) {
    for (;;) {
        int waitMs = -1;
        if (deadlineMs != kNoDeadline) {
            int64_t left = deadlineMs - nowMs();
            if (left < 0) left = 0;
            waitMs = left > INT_MAX ? INT_MAX : static_cast<int>(left);
        }
        pollfd p{fd, events, 0};
        int r = ::poll(&p, 1, waitMs);
        if (r > 0) return p.revents;
        if (r == 0) {
            if (deadlineMs == kNoDeadline || nowMs() >= deadlineMs) return 0;
            continue; // woke a little early: wait the rest
        }
        if (errno != EINTR) return -1;
    }
}

namespace {

int putAll(int fd, const void* data, size_t size, int64_t deadlineMs, bool socket) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = socket ? ::send(fd, p, size, MSG_NOSIGNAL) : ::write(fd, p, size);
        if (n > 0) {
            p += n;
            size -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        int r = pollUntil(fd, POLLOUT, deadlineMs);
        if (r == 0) {
            errno = ETIMEDOUT;
            return -1;
        }
        if (r < 0) return -1;
        if ((r & (POLLERR | POLLHUP)) && !(r & POLLOUT)) {
            errno = EIO;
            return -1;
        }
    }
    return 0;
}

} // namespace

int writeAll(int fd, const void* data, size_t size, int64_t deadlineMs) {
    return putAll(fd, data, size, deadlineMs, false);
}

int sendAll(int fd, const void* data, size_t size, int64_t deadlineMs) {
    return putAll(fd, data, size, deadlineMs, true);
}

namespace {

struct BaudEntry {
    long baud;
    speed_t code;
};

constexpr BaudEntry kBauds[] = {
    {50, B50},
    {75, B75},
    {110, B110},
    {134, B134},
    {150, B150},
    {200, B200},
    {300, B300},
    {600, B600},
    {1200, B1200},
    {1800, B1800},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
    {460800, B460800},
    {500000, B500000},
    {576000, B576000},
    {921600, B921600},
    {1000000, B1000000},
    {1152000, B1152000},
    {1500000, B1500000},
    {2000000, B2000000},
    {2500000, B2500000},
    {3000000, B3000000},
    {3500000, B3500000},
    {4000000, B4000000},
};

bool speedCode(long baud, speed_t& code) {
    for (const BaudEntry& e : kBauds) {
        if (e.baud == baud) {
            code = e.code;
            return true;
        }
    }
    return false;
}

std::string groupName(gid_t gid) {
    if (const group* g = ::getgrgid(gid)) return g->gr_name;
    return std::to_string(gid); // usermod takes the number too
}

bool inGroup(gid_t gid) {
    if (::getegid() == gid) return true;
    gid_t groups[NGROUPS_MAX];
    int n = ::getgroups(NGROUPS_MAX, groups);
    for (int i = 0; i < n; ++i) {
        if (groups[i] == gid) return true;
    }
    return false;
}

} // namespace

bool isStandardBaud(long baud) {
    speed_t code;
    return speedCode(baud, code);
}

std::string permissionHint(const std::string& path) {
    std::string text = "Permission denied opening " + path + ".";
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0) {
        return text + " Its folder cannot be searched (" + std::strerror(errno) +
            "); check the permissions of the folders above it.";
    }
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    const std::string group = groupName(st.st_gid);
    if (st.st_gid == 0) {
        return text + " The device belongs to group root (mode " + mode +
            "); have a udev rule give it to group dialout, then join that group with "
            "`sudo usermod -aG dialout $USER` and log in again.";
    }
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) {
        return text + " The device belongs to group \"" + group + "\" but its mode " + mode +
            " does not let that group read and write it; have a udev rule set mode 0660.";
    }
    if (inGroup(st.st_gid)) {
        return text + " The device belongs to group \"" + group +
            "\", which this program already has; check for an access control list "
            "or a security module refusing it.";
    }
    return text + " The device belongs to group \"" + group + "\". Join it with `sudo usermod -aG " +
        group + " $USER`, then log out and back in.";
}

OpenResult openSerial(const std::string& path, UniqueFd& out) {
    OpenResult res;
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        int e = errno;
        if (e == EACCES || e == EPERM) {
            res.code = RS232_ERR_PERMISSION;
            res.text = permissionHint(path);
        } else if (e == EBUSY) {
            res.code = RS232_ERR_BUSY;
            res.text = path + " is in use by another program.";
        } else if (e == ENOENT || e == ENXIO || e == ENODEV) {
            res.code = RS232_ERR_OPEN_FAILED;
            res.text = path + " does not exist; is the adapter plugged in, and is the path right in the port map?";
        } else {
            res.code = RS232_ERR_OPEN_FAILED;
            res.text = "Cannot open " + path + ": " + std::strerror(e) + ".";
        }
        return res;
    }
    if (!::isatty(fd.get())) {
        res.code = RS232_ERR_OPEN_FAILED;
        res.text = path + " is not a serial port.";
        return res;
    }
    // flock holds even against root, for whom TIOCEXCL is no barrier.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        res.code = errno == EWOULDBLOCK ? RS232_ERR_BUSY : RS232_ERR_OPEN_FAILED;
        res.text = errno == EWOULDBLOCK ? path + " is in use by another program."
                                        : "Cannot lock " + path + ": " + std::strerror(errno) + ".";
        return res;
    }
    ::ioctl(fd.get(), TIOCEXCL); // best effort: some ttys refuse it
    out = std::move(fd);
    return res;
}

int makeRawTermios(termios& t, long baud, int parity, int dataBits, int stopBits, std::string& errorText) {
    speed_t speed;
    if (!speedCode(baud, speed)) {
        errorText = "Unsupported baud rate " + std::to_string(baud) + ".";
        return RS232_ERR_BAD_PARAMETER;
    }
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    switch (dataBits) {
    case 5:
        t.c_cflag |= CS5;
        break;
    case 6:
        t.c_cflag |= CS6;
        break;
    case 7:
        t.c_cflag |= CS7;
        break;
    case 8:
        t.c_cflag |= CS8;
        break;
    default:
        errorText = "Unsupported number of data bits " + std::to_string(dataBits) + ".";
        return RS232_ERR_BAD_PARAMETER;
    }
    switch (parity) {
    case RS232_PARITY_NONE:
        break;
    case RS232_PARITY_ODD:
        t.c_cflag |= PARENB | PARODD;
        break;
    case RS232_PARITY_EVEN:
        t.c_cflag |= PARENB;
        break;
    case RS232_PARITY_MARK:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case RS232_PARITY_SPACE:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        errorText = "Unsupported parity " + std::to_string(parity) + ".";
        return RS232_ERR_BAD_PARAMETER;
    }
    if (parity != RS232_PARITY_NONE) t.c_iflag |= INPCK;
    if (stopBits == 2) {
        t.c_cflag |= CSTOPB;
    } else if (stopBits != 1) {
        errorText = "Unsupported number of stop bits " + std::to_string(stopBits) + ".";
        return RS232_ERR_BAD_PARAMETER;
    }
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    return 0;
}

int configureSerial(int fd, long baud, int parity, int dataBits, int stopBits, std::string& errorText) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        errorText = std::string("Cannot read the line settings: ") + std::strerror(errno) + ".";
        return RS232_ERR_OPEN_FAILED;
    }
    if (int code = makeRawTermios(t, baud, parity, dataBits, stopBits, errorText)) return code;
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        int e = errno;
        errorText = std::string("Cannot apply the line settings: ") + std::strerror(e) + ".";
        return e == EINVAL ? RS232_ERR_BAD_PARAMETER : RS232_ERR_OPEN_FAILED;
    }
    return 0;
}

} // namespace posix_io
