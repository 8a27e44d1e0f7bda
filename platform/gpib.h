// GPIB device calls with the shape of the usual GPIB library.  Board 0 is
// served by the back end the port map names: a Prologix-protocol adapter over
// TCP or a serial line, or linux-gpib's libgpib loaded at run time.
#pragma once

// status word bits
enum : int {
    GPIB_ERR = 0x8000,
    GPIB_TIMO = 0x4000,
    GPIB_END = 0x2000,
    GPIB_CMPL = 0x0100,
};
// iberr values
enum : int {
    GPIB_EDVR = 0, // system error: connection, library or device file (see gpib_last_error_text)
    GPIB_EARG = 4, // invalid argument or descriptor
    GPIB_EABO = 6, // I/O aborted by the time-out
    GPIB_ENEB = 7, // no such board: nothing configured for it
};
// time-out codes
enum { TNONE = 0,
    T10us = 1,
    T30us = 2,
    T100us = 3,
    T300us = 4,
    T1ms = 5,
    T3ms = 6,
    T10ms = 7,
    T30ms = 8,
    T100ms = 9,
    T300ms = 10,
    T1s = 11,
    T3s = 12,
    T10s = 13,
    T30s = 14,
    T100s = 15,
    T300s = 16,
    T1000s = 17 };

extern int ibsta; // status of the last call
extern int iberr; // error detail of the last failed call
extern long ibcntl; // bytes moved by the last read or write

// Opens device pad (0..30) on board; a descriptor >= 0, or -1 with GPIB_ERR in ibsta.
int ibdev(int board, int pad, int sad, int tmo, int eot, int eos);
int ibwrt(int ud, const void* buffer, long count); // returns ibsta
int ibrd(int ud, void* buffer, long count); // returns ibsta
int ibtmo(int ud, int tmo);
int ibloc(int ud);
int ibonl(int ud, int online); // 0 takes the device offline and frees ud
// A sentence about the last failure (which back end, what went wrong), "" after success.
const char* gpib_last_error_text();
// The time-out code last set on ud (for tests), -1 for an unknown descriptor.
int gpib_timeout_code(int ud);
