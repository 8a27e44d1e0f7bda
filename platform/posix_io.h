// Small POSIX helpers shared by the RS-232 and GPIB stand-ins: a file
// descriptor owner, the monotonic clock, a poll() that waits up to a deadline,
// and the exclusive open of a serial device.  Internal to platform/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <termios.h>

#include "platform/unique_fd.h"

namespace posix_io {

using UniqueFd = ::UniqueFd;

constexpr int64_t kNoDeadline = INT64_MAX;

// Milliseconds on a monotonic clock.
int64_t nowMs();

// Waits until fd reports one of events or the deadline (nowMs() based) passes.
// The revents (> 0), 0 on time-out, -1 on a poll error (errno set).
int pollUntil(int fd, short events, int64_t deadlineMs);

// Writes all of data, waiting for POLLOUT on a full buffer until the deadline.
// 0 on success; -1 with errno set (ETIMEDOUT when the deadline passed).
int writeAll(int fd, const void* data, size_t size, int64_t deadlineMs);
// The same for a stream socket, without SIGPIPE when the peer has gone.
int sendAll(int fd, const void* data, size_t size, int64_t deadlineMs);

// Result of openSerial: 0 or one of the RS232_ERR_* codes of platform/rs232.h.
struct OpenResult {
    int code = 0;
    std::string text; // a sentence for the user when code != 0
};

// Opens a serial device (or pty) read-write, non-blocking, close-on-exec and
// without becoming its controlling terminal, then takes it exclusively (flock,
// and TIOCEXCL against programs that do not lock).
OpenResult openSerial(const std::string& path, UniqueFd& out);

// Turns t into raw mode with the given line settings (parity as RS232_PARITY_*).
// 0 or RS232_ERR_BAD_PARAMETER; errorText says which setting is unsupported.
int makeRawTermios(termios& t, long baud, int parity, int dataBits, int stopBits, std::string& errorText);

// Applies makeRawTermios to a tty.  baud must be a standard rate.
// 0 or an RS232_ERR_* code; errorText says what failed.
int configureSerial(int fd, long baud, int parity, int dataBits, int stopBits, std::string& errorText);

// True when baud is one of the rates termios can set.
bool isStandardBaud(long baud);

// The user-facing sentence for a permission error on path.
std::string permissionHint(const std::string& path);

} // namespace posix_io
