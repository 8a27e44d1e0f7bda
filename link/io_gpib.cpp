// GPIB links: the bus ends every message itself, so a write is one ibwrt and
// a read one ibrd.
#include "link/io_private.h"

#include "platform/gpib.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace io_detail {

namespace {

constexpr int GPIB_OPEN_TMO = T1s;

bool gpib_open(LinkOpen& o)
{
    if (o.number == nullptr || *o.number < 0) {
        dbg(1, "\n\nInput the GPIB address number of VTX (1..31):");
        return false;
    }
    const int ud = ibdev(0, *o.number, 0, GPIB_OPEN_TMO, 1, 0);
    if ((ibsta & GPIB_ERR) != 0 || ud < 0)
        return false;
    o.link.dev = ud;
    return true;
}

int gpib_write(io_link& link, const char* data, int len)
{
    const int status = ibwrt(link.dev, data, len);
    if ((status & GPIB_ERR) != 0) {
        dbg(1, "GPIB err=%x", static_cast<unsigned>(status));
        return IO_ERR;
    }
    return 0;
}

// One message of at most size bytes; the bus time-out bounds the wait.
int gpib_read(io_link& link, char* buf, int size, int32_t, Wait, int* got)
{
    const int status = ibrd(link.dev, buf, size);
    *got = static_cast<int>(std::clamp<long>(ibcntl, 0, size));
    if ((status & GPIB_ERR) != 0)
        return IO_ERR;
    // Without END the message did not fit: a cut reply is no reply.
    if ((status & GPIB_END) == 0) {
        dbg(1, "GPIB reply longer than %d characters", size);
        return IO_ERR_LINE_TOO_LONG;
    }
    return SRC_BYTE;
}

void gpib_close(io_link& link)
{
    ibloc(link.dev);
    ibonl(link.dev, 0);
}

// The bus knows a few fixed time-outs: the one nearest the milliseconds,
// 1 ms to 30 s.
void gpib_set_timeout(io_link& link, int milliseconds)
{
    const uint32_t ms = static_cast<uint32_t>(milliseconds);
    long code = ms == 0 ? 0 : std::lround(2.0 * std::log10(static_cast<double>(ms)));
    code = std::clamp<long>(code, 0, LONG_MAX) + T1ms;
    code = std::min<long>(code, T30s);
    ibtmo(link.dev, static_cast<int>(code));
}

} // namespace

const LinkOps GPIB_OPS{
    Framing::message, 0, false, gpib_open, gpib_write, gpib_read, nullptr, nullptr, nullptr, nullptr, gpib_close,
    gpib_set_timeout};

} // namespace io_detail
