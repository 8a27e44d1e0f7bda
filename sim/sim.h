// The simulated instrument.  `sim::Instrument` is the instrument itself, free
// of any transport: one command line in, the reply text (or none) out, plus a
// log of every command it was sent.  `sim::Simulator` frames it the way the
// real instrument does on each of its links (TCP and UDP on port 3000, a
// pseudo-terminal as serial port, a Prologix-style GPIB adapter on TCP 1234),
// injects faults on request and runs one thread with one poll() loop.  It
// binds loopback addresses (127.0.0.0/8) only.
//
// On the wire:
// - TCP and pty: a command line ends at CR, LF or NUL (empty lines are
//   ignored).  Every command is answered "OK\r\n"; a query "OK\r\n", the
//   reply, "\r\n", "OK\r\n".  Commands outside the vocabulary, or with
//   arguments that do not fit it, are acknowledged all the same (as the
//   IM module does) and marked invalid in the log; such a query is
//   answered with the reply "ERR".  A command the IM module refuses (a
//   calibration value it cannot take, see im_model.h) is answered "ERR\r\n"
//   instead of "OK\r\n"; so is, on an instrument with a load or a supply
//   (load_model.h, supply_model.h), a command outside the vocabulary or with
//   arguments or values that do not fit, and such a query's reply is "ERR".
// - UDP: a REQUEST is answered with a CONFIRM of the same id (empty text) and,
//   for a query, a REPLY of the same id; CLOSE is logged, not answered.  A
//   refused command gets no CONFIRM.
//   Datagrams under 6 bytes, without marker 1 or of other codes are ignored.
// - GPIB (Prologix-style, TCP): "++" lines drive the adapter (addr, mode,
//   auto, eoi, eos, eot_enable, eot_char, read_tmo_ms, read, ver, clr, spoll;
//   answers end in CR LF); other lines, ESC-escaped, go to the instrument when
//   ++addr is its address.  "++read" returns the pending reply and "\n" (no
//   OK lines), or nothing once read_tmo_ms passes; a new command discards an
//   unread reply; "++auto 1" reads by itself after a query.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/dut.h"

namespace sim {

enum class Link { Direct,
    Tcp,
    Udp,
    Pty,
    Gpib };
const char* linkName(Link link); // "direct", "tcp", "udp", "pty", "gpib"

// One entry of the command log.
struct LogEntry {
    Link link = Link::Direct;
    std::string text; // the command as received, without its line end
    bool valid = true; // false: outside the vocabulary, arguments that do not fit it, or refused
    int udpId = -1; // request id of the UDP packet, -1 on the other links
    int udpCode = 0; // UDP packet code (1 request, 5 close), 0 on the other links
    bool refused = false; // understood but refused by the module (the host is told)
};

// Deterministic fault injection.  Each kind has a counter ("the next N") and a
// probability drawn per response from a std::mt19937 seeded with Options::seed;
// a counter that is above zero wins and is used up first.  Counters count only
// the responses the fault can apply to (a reply fault waits for a query).
struct Faults {
    // TCP and pty: the "OK" lines.
    int dropOk = 0; // the acknowledging "OK" of the next N commands is left out
    int garbleOk = 0; // ... reads "0K" instead
    int dropReplyOk = 0; // the "OK" after the reply of the next N queries is left out
    int garbleReplyOk = 0; // ... reads "0K" instead
    int duplicate = 0; // the next N responses are written twice in one segment
    // TCP, pty and GPIB.
    int delay = 0; // the next N replies are held back delayMs (see below)
    int delayMs = 0;
    int late = 0; // the next N answers, acknowledgement and all, come lateMs
    int lateMs = 5000; //   later (after the host has given up on them)
    int split = 0; // the next N responses are written in two parts, the first
    int splitAt = 1; //   splitAt bytes long, the second splitGapMs later
    int splitGapMs = 50;
    int closeMidReply = 0; // the next N responses: closeAfter bytes, then the TCP
    int closeAfter = 0; //   connection closes (pty: the rest is lost)
    int overlong = 0; // the next N query replies are a line of overlongBytes 'X's
    int overlongBytes = 300;
    bool silent = false; // commands are executed and logged but never answered
    // UDP.
    int udpLoseRequest = 0; // the next N requests are lost (not executed, not answered)
    int udpLose = 0; // the next N datagrams the instrument sends are lost
    int udpDuplicate = 0; // every datagram of the next N answers is sent twice
    int udpReorder = 0; // the next N query answers: REPLY before CONFIRM
    int udpStaleId = 0; // the next N answers carry a stale datagram (below)
    int udpWrongId = 0; // the next N answers carry the request id + 1
    int udpShort = 0; // the next N answers are preceded by a datagram of
    int udpShortBytes = 5; //   udpShortBytes bytes (under the 6-byte header)
    int udpTruncate = 0; // the REPLY of the next N queries loses its last
    int udpTruncateBytes = 3; //   udpTruncateBytes of text; its header still counts them
    int udpForeign = 0; // the next N answers are first sent from the foreign address
    bool udpForeignOnly = false; // ... and only from there
    // Probabilities, 0..1, of the same kinds.
    double pDropOk = 0, pGarbleOk = 0, pDropReplyOk = 0, pGarbleReplyOk = 0, pDuplicate = 0;
    double pDelay = 0, pLate = 0, pSplit = 0, pClose = 0, pOverlong = 0; // split and close at a random byte
    double pUdpLoseRequest = 0, pUdpLose = 0, pUdpDuplicate = 0, pUdpReorder = 0;
    double pUdpStaleId = 0, pUdpWrongId = 0, pUdpShort = 0, pUdpForeign = 0, pUdpTruncate = 0;
    // The load and supply models; these hold until replaced (no counters).
    int quesOn = 0; // bits forced on in "STAT:QUES?" (load and supply)
    int operOn = 0; // bits forced on in "STAT:OPER?" (load)
    int extOn = 0; // bits forced on in "STAT:QUES:EXT?" (supply; its summary, bit 15 of
        //   "STAT:QUES?", follows)
    int stepCapacity = 0; // entries of the load's step lists, 0: its own (1000 at most)
    int listCapacity = 0; // entries of the supply's lists, 0: its own, -1: none
    std::string failMax; // header whose "? MAX" query is refused ("MLEV", "STEP:CURR", "LIST:VOLT")
    std::string failMin; // ... whose "? MIN" query is refused
    std::string minAboveMax; // ... whose "? MIN" answers one above its maximum
    std::string refuse; // first word of the commands refused ("MODE" refuses "MODE x"; "MODE?" the query)
};
// A delayed reply: on TCP and pty the acknowledging "OK" of a query goes out at
// once and the reply line with its "OK" delayMs later; a command's "OK" is
// delayed.  On GPIB the reply becomes readable delayMs later; on UDP the REPLY
// (or a command's CONFIRM) is sent delayMs later.
// A stale datagram is the last datagram of the previous answer, sent again with
// its old id (an empty REPLY with id - 1 when there was none): between CONFIRM
// and REPLY of a query, before the CONFIRM of a command.

// Sets one fault by its flag name ("drop-ok", "delay-ms", "p-split", "silent",
// "fail-max", ...); false with a message for an unknown name or a bad value.
// Whole numbers may also be written in hexadecimal ("0x2000").
bool setFault(Faults& faults, std::string_view name, std::string_view value, std::string* error);
// The same for "name=value" ("silent" alone means silent=1).
bool parseFault(Faults& faults, std::string_view assignment, std::string* error);
// Every fault name with a one-line description, for --help.
std::vector<std::pair<std::string, std::string>> faultHelp();

// True for dotted IPv4 text inside 127.0.0.0/8.
bool isLoopbackAddress(std::string_view address);

// What the instrument is: the impedance measurement module alone, an
// electronic load or a DC supply.  A family instrument is a load that carries
// the IM module (kind Im or Load with Options::family).
enum class Kind { Im,
    Load,
    Supply };
const char* kindName(Kind kind); // "im", "load", "supply"

constexpr const char* kDefaultIdn = "IMBENCH,IM3590-SIM,000123,1.20";
// The family instrument, with the family marker in its model field.
constexpr const char* kFamilyIdn = "IMBENCH,KZR3590-SIM,000123,1.20";
constexpr const char* kLoadIdn = "IMBENCH,EL3000-SIM,000456,2.05";
constexpr const char* kSupplyIdn = "IMBENCH,PS6000-SIM,000789,1.30";
// The host shows this text from its fourth character on ("1.20").
constexpr const char* kDefaultVersion = "VER1.20";
constexpr const char* kDefaultSerial = "SER:0000-ABCDEF";

// The DDS generator's frequency step (50 MHz clock, 32-bit phase accumulator).
constexpr double kDdsStepHz = 50.0e6 / 4294967296.0;
// The frequency the generator really makes for a requested one.
double ddsFrequency(double hz);

// The load and supply models' time: microseconds from any start, never going back.
using ModelClock = std::function<std::chrono::microseconds()>;

struct Options;
// The reply to "*IDN?": Options::idn, or the kind's own identity when that is empty.
std::string identity(const Options& options);

// What one command line gives: the reply of a query (nullopt for a command)
// and whether the module refused it.
struct Response {
    std::optional<std::string> reply;
    bool refused = false;
};

// The instrument without its transport.  Thread-safe.  Constructed without
// options it is the ideal module (no noise) reading a 100 ohm resistor at
// the real pace (time scale 1).  An instrument with a load or a supply
// refuses (Outcome::Refused) commands outside its vocabulary, as their SCPI
// parsers do; the IM module alone acknowledges them.
class Instrument {
public:
    Instrument();
    Instrument(std::string idn, std::string version, std::string serial);
    explicit Instrument(const Options& options);
    ~Instrument();
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    // Runs one command line (no line end) and logs it.  The reply text of a
    // query (no line end; "ERR" for an unknown query), nullopt for a command.
    std::optional<std::string> execute(std::string_view line, Link link = Link::Direct, int udpId = -1);
    // The same, telling a refused command from an accepted one.
    Response respond(std::string_view line, Link link = Link::Direct, int udpId = -1);
    // Logs a packet that carries no command (a UDP CLOSE).
    void record(const LogEntry& entry);
    // A command is a query when its first word ends in '?'.
    static bool isQuery(std::string_view line);

    std::vector<std::string> commandLog() const; // texts of the log, UDP CLOSE left out
    std::vector<LogEntry> commandRecords() const;
    void clearLog();
    // Called for every new log entry, on the thread that runs the command.
    void setLogObserver(std::function<void(const LogEntry&)> observer);

    // Runs the load's or the supply's physics up to the present; the simulator
    // does so at least once a second.
    void tick();
    // Takes the model faults of faults (forced status bits, list capacities,
    // failing limit queries); the transport faults are the simulator's.
    void setFaults(const Faults& faults);
    void setIdn(std::string idn);
    void setVersion(std::string version);
    void setSerial(std::string serial);

    // The last argument text kept for a setting ("IM:OUTP:SINE:FREQ"), nullopt if never sent.
    std::optional<std::string> setting(std::string_view header) const;
    // Readings for "IM:MEAS:READY?" (then "1") and "IM:MEAS:VAL?" until cleared;
    // without them the module is not ready and reads a plain resistor.
    void setReadings(const std::array<double, 6>& values);
    void clearReadings();
    void setResistance(double ohms);
    void setDut(const DutSpec& dut);
    // Length of the measurement in progress, seconds, time scale applied.
    double measurementSeconds() const;
    // Takes the calibration state file's tables when the file exists (the
    // simulator does this when it starts); false with a message when the file
    // exists but cannot be read.
    bool loadCalibrationState(std::string* error);
    uint8_t registerByte(uint16_t address) const;
    void setRegisterByte(uint16_t address, uint8_t value);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

struct Options {
    std::string address = "127.0.0.1"; // every socket binds here (loopback only)
    std::string foreignAddress = "127.0.0.2"; // source of the "foreign sender" UDP fault
    int tcpPort = 3000, udpPort = 3000, gpibPort = 1234, gpibAddress = 5; // 0: any free port
    bool tcp = true, udp = true, pty = true, gpib = true;
    std::string ptyLink; // symlink to the pty slave, made and removed by the simulator
    Kind kind = Kind::Im;
    bool family = false; // a load that carries the IM module (kinds Im and Load)
    std::string idn; // empty: the kind's own (see identity())
    std::string version = kDefaultVersion;
    std::string serial = kDefaultSerial;
    uint32_t seed = 1; // faults, noise and initial calibration values
    Faults faults;
    // The IM module.
    DutSpec dut = dutBattery(); // the device under test
    double noise = 0.001; // relative noise of the readings, 0 = ideal
    double timeScale = 1.0; // measurement time factor, 0 = ready at once
    int calFreqMarkers = 8; // frequency markers of the calibration tables
    int calGainMarkers = 4; // gain markers
    std::string calStateFile; // kept by "IM:CAL:SAVE", read at start; empty: none
    // The load and the supply.
    double sourceVolts = 12.0; // EMF of the source on the load's input
    double sourceOhms = 0.05; // its internal resistance (above 0)
    double loadOhms = 10.0; // the resistance on the supply's output (above 0)
    double ambientCelsius = 25.0; // where their temperatures settle without power
    ModelClock clock; // their time; empty: the steady clock.  A running
        //   simulator reads it from its own thread
};

class Simulator {
public:
    explicit Simulator(Options options = {});
    ~Simulator(); // stops
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Binds everything and starts the thread; false with error() when a bind fails,
    // the address is not loopback, the calibration state file cannot be read,
    // or it is already running.
    bool start();
    void stop();
    bool running() const;
    const std::string& error() const;
    const Options& options() const;

    // Valid after start(); the actual ports when 0 was asked for.
    std::string ptyPath() const;
    int tcpPort() const;
    int udpPort() const;
    int gpibPort() const;

    // Open client connections of the TCP line link (Link::Tcp) or the GPIB
    // adapter (Link::Gpib): shows whether a host closed, or was cut off.
    int connectionCount(Link link) const;

    std::vector<std::string> commandLog() const;
    std::vector<LogEntry> commandRecords() const;
    void clearLog();
    // Replaces the faults (counters included); takes effect with the next command.
    void setFaults(const Faults& faults);
    Faults faults() const; // with the counters as far as they are used up
    Instrument& instrument();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace sim
