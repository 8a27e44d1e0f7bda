// RS-232 ports over termios, with the calls the transport expects of a serial
// library.  A port number maps to a device path (/dev/ttyS*, /dev/ttyUSB*,
// /dev/ttyACM*, a pty) through the user-editable port map (platform/portmap.h).
// All calls come from one thread.
#pragma once

#include <string>

enum {
    RS232_NO_ERROR = 0,
    RS232_ERR_UNKNOWN_PORT = -2, // no path for this port number
    RS232_ERR_PORT_NOT_OPEN = -3,
    RS232_ERR_OPEN_FAILED = -4, // see rs232_last_error_text()
    RS232_ERR_PERMISSION = -5, // open refused: see rs232_last_error_text() for the group
    RS232_ERR_BUSY = -6, // another program holds the port
    RS232_ERR_BAD_PARAMETER = -7,
    RS232_ERR_WRITE = -8,
    RS232_ERR_READ = -9,
    RS232_ERR_TIMEOUT = -99, // no byte within the port time-out
};

// parity argument of OpenComConfig
enum { RS232_PARITY_NONE = 0,
    RS232_PARITY_ODD = 1,
    RS232_PARITY_EVEN = 2,
    RS232_PARITY_MARK = 3,
    RS232_PARITY_SPACE = 4 };

// Opens port (1..255) at the device path the port map gives, exclusively.
// deviceName is informational ("COM3").  0 or a negative RS232_ERR_*.
int OpenComConfig(int port, const char* deviceName, long baud, int parity, int dataBits, int stopBits,
    int inputQueueSize, int outputQueueSize);
int CloseCom(int port);
// Writes count bytes; the number written or a negative error.
int ComWrt(int port, const char* buffer, int count);
// One byte (0..255), waiting up to the port time-out; negative on error or time-out.
int ComRdByte(int port);
int SetComTime(int port, double seconds);
int SetXMode(int port, int mode);
int SetCTSMode(int port, int mode);
int GetOutQLen(int port);
// Bytes received and not read yet (buffered here or waiting in the tty).
int GetInQLen(int port);
int FlushInQ(int port);
int FlushOutQ(int port);
// The error of the last call (0 when it succeeded).
int ReturnRS232Err();
const char* GetRS232ErrorString(int code);
// A sentence for the user about the last open failure, naming the device path
// and, for a permission error, the group to join.
const char* rs232_last_error_text();
// The sentence for a permission error on path: names the group owning the
// device node and the command that adds the user to it.
std::string rs232_permission_hint(const std::string& path);
// read() calls made on ports so far, so tests can see that reads are buffered.
long rs232_read_calls();
