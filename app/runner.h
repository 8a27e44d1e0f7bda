// imbench run: one measurement run without windows, for scripts and
// production lines.  It goes the way a user at the panels goes: the link
// opened on the interface panel, the instrument identified, a profile loaded
// as Load Profile loads it, SWEEP switched on (a REPEAT run stepping through
// the DC sweep list), and the files written that the panels write.  Pop-ups
// become lines on the message stream and the result is an exit code.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

enum RunnerExit : int {
    RUNNER_OK = 0,
    RUNNER_NOT_RUN = 1, // the sweep could not start (REPEAT without a usable DC step)
    RUNNER_USAGE = 2, // bad arguments, or a profile that cannot be read
    RUNNER_LINK = 3, // the link could not be opened, or no instrument answered on it
    RUNNER_SILENT = 4, // the instrument stopped answering during the run
    RUNNER_FILE = 5, // an output file could not be written
};

struct RunnerOptions {
    int linkKind = -1; // IO_GPIB, IO_COM, IO_TCP or IO_UDP; -1: none given
    std::string address; // TCP and UDP: dotted IPv4 address
    int port = 0; // COM port number, or GPIB primary address
    int board = 0; // GPIB board
    std::string profile; // loaded before the sweep; empty: the panel's settings
    std::string out; // folder of the files written
    std::string saveProfile; // the settings in force after the profile; empty: none
    bool demo = false; // against the in-process simulator (the executable starts it)
    bool pictures = false; // the Bode, Nyquist and V&C graphs as PNG and SVG (needs a picture writer)
    bool help = false;
    double stallSeconds = 120.0; // no reading for this long: the instrument stopped answering
    std::function<void()> prepare; // once the run is up, before the profile (the demo's settings)
};

// Names of the files a run leaves in its folder.
inline constexpr char RUNNER_DAT[] = "sweep.dat"; // the last sweep, as the panel writes it
inline constexpr char RUNNER_CSV[] = "traces.csv"; // every trace, beside it one file per trace
inline constexpr char RUNNER_LOG[] = "messages.log"; // the interface panel's message log

// Where the run stands, after each reading of a sweep.
struct RunnerProgress {
    int step, steps; // sweep of the run, from 1
    int point, points; // reading of the sweep, from 1
    double secondsLeft; // estimate for the whole run; negative before the first reading
};

// Parses the words after "run"; false with *error on a usage error.
bool runner_parse(const std::vector<std::string>& args, RunnerOptions* options, std::string* error);
// tcp:ADDR, udp:ADDR, com:N or gpib:BOARD:ADDR; false with *error.
bool runner_parse_link(const std::string& text, RunnerOptions* options, std::string* error);
const char* runner_usage();

// The run.  Messages, pop-ups and progress lines go to messages; onPoint,
// when given, is called after each reading.  The run time must be started
// and every callback registered (ifc_register_all); no link may be open.
int runner_run(const RunnerOptions& options, std::FILE* messages,
    const std::function<void(const RunnerProgress&)>& onPoint = {});
