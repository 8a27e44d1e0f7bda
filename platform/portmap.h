// The user-editable port map: COM port numbers to device paths, and the GPIB
// board 0 back end.  One file, lines of "key = value", '#' comments:
//
//   COM1 = /dev/ttyUSB0
//   COM7 = /tmp/imbench-sim-tty
//   GPIB0 = prologix-tcp 127.0.0.1:1234
//   GPIB0 = prologix-serial /dev/ttyUSB1
//   GPIB0 = linux-gpib 0
//
// The file is $IMBENCH_PORTS when set, else $XDG_CONFIG_HOME/imbench/ports.cfg
// (~/.config/imbench/ports.cfg).  A COM port without an entry maps to
// /dev/ttyS<n-1>.
#pragma once

#include <map>
#include <string>

namespace portmap {

// Reads the map from its file (again); a missing file is an empty map, and so
// is one that cannot be used (a pipe, a device, too large): loadProblem() then
// says why, until a later load succeeds.
void reload();
std::string loadProblem();
std::string filePath();
// The device path for a COM port number, or empty for a number outside 1..255.
std::string comPath(int port);
// Sets (or, with an empty path, removes) a COM entry in memory and writes the file.
bool setComPath(int port, const std::string& path);
// The GPIB board 0 back end text, e.g. "prologix-tcp 127.0.0.1:1234"; empty if none.
std::string gpibBoard(int board);
bool setGpibBoard(int board, const std::string& spec);
// Overrides for tests: entries set here win over the file and are not written.
void overrideCom(int port, const std::string& path);
void overrideGpib(int board, const std::string& spec);
void clearOverrides();

} // namespace portmap
