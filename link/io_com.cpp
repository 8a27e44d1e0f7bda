// COM links over the serial layer: bytes one by one from its buffer, waits
// bounded by the port's own byte time-out.
#include "link/io_private.h"

#include "platform/rs232.h"
#include "util/timer.h"

#include <algorithm>
#include <cstdio>
#include <poll.h>

namespace io_detail {

namespace {

constexpr int COM_LINE_END_MS = 100; // a byte time-out ends a COM line after this
constexpr int COM_DRAIN_MS = 100;
constexpr int COM_QUEUE = 512;
// The serial layer cannot sleep until input comes without taking it: without
// an idle hook a wait for it sleeps this long between looks.
constexpr int32_t COM_LOOK_MS = 1;

// Runs the idle hook, or else sleeps a moment of at most ms.
void pause(int32_t ms)
{
    if (const io_idle_fn idle = idle_hook())
        idle();
    else
        poll(nullptr, 0, std::min(ms, COM_LOOK_MS));
}

bool com_open(LinkOpen& o)
{
    if (o.number == nullptr || *o.number < 1) {
        dbg(1, "\n\nInput the COM port number which connect to VTX (1..255):");
        return false;
    }
    const int port = *o.number;
    char name[32];
    std::snprintf(name, sizeof name, "COM%u", static_cast<unsigned>(port));
    const int err = OpenComConfig(port, name, o.baud, 0, 8, 1, COM_QUEUE, COM_QUEUE);
    if (err != 0) {
        dbg(1, "%s open error err=%d\n", name, err);
        return false;
    }
    SetXMode(port, 0);
    SetCTSMode(port, 0);
    SetComTime(port, 1.0);
    o.link.dev = port;
    return true;
}

// The bytes, then a short wait for the port to send them.
int com_write(io_link& link, const char* data, int len)
{
    ComWrt(link.dev, data, len);
    const int err = ReturnRS232Err();
    if (err != 0) {
        dbg(1, "COM command send fail=%d", err);
        return err;
    }
    const int32_t deadline = timer_deadline(COM_DRAIN_MS);
    while (GetOutQLen(link.dev) > 0 && !timer_timeout(deadline))
        pause(ms_left(deadline));
    return 0;
}

// One byte: at once, or within the port's byte time-out.
int com_read(io_link& link, char* buf, int, int32_t, Wait how, int* got)
{
    if (how == Wait::no && GetInQLen(link.dev) <= 0)
        return SRC_NONE;
    const int c = ComRdByte(link.dev);
    if (c >= 0) {
        buf[0] = static_cast<char>(c);
        *got = 1;
        return SRC_BYTE;
    }
    const int err = ReturnRS232Err();
    if (err == RS232_ERR_TIMEOUT)
        return SRC_NONE;
    return err < 0 ? err : IO_ERR;
}

bool com_waiting(const io_link& link)
{
    return GetInQLen(link.dev) > 0;
}

void com_wait_input(const io_link&, int32_t ms)
{
    pause(ms);
}

void com_flush_in(io_link& link)
{
    FlushInQ(link.dev);
}

void com_flush_out(io_link& link)
{
    FlushOutQ(link.dev);
}

void com_close(io_link& link)
{
    CloseCom(link.dev);
}

void com_set_timeout(io_link& link, int milliseconds)
{
    SetComTime(link.dev, static_cast<double>(static_cast<uint32_t>(milliseconds)) / 1000.0);
}

} // namespace

const LinkOps COM_OPS{Framing::lines, COM_LINE_END_MS, false, com_open, com_write, com_read, com_waiting,
    com_wait_input, com_flush_in, com_flush_out, com_close, com_set_timeout};

} // namespace io_detail
