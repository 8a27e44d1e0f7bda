// imbench-sim: the simulated instrument as a program.  Prints where it
// listens, then runs until SIGINT or SIGTERM.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

#include "sim/calibration.h"
#include "sim/load_model.h"
#include "sim/model.h"
#include "sim/sim.h"
#include "sim/supply_model.h"

namespace {

void usage(FILE* to) {
    std::fprintf(to,
        "usage: imbench-sim [options]\n"
        "  --address A        loopback address to bind (default 127.0.0.1; 127.0.0.0/8 only)\n"
        "  --foreign-address A  source of the foreign-sender UDP fault (default 127.0.0.2)\n"
        "  --tcp-port N       TCP line port (default 3000, 0 = any)\n"
        "  --udp-port N       UDP packet port (default 3000, 0 = any)\n"
        "  --gpib-port N      Prologix-style GPIB adapter port (default 1234, 0 = any)\n"
        "  --gpib-address N   GPIB primary address of the instrument (default 5)\n"
        "  --no-tcp --no-udp --no-pty --no-gpib   leave a link out\n"
        "  --pty-link PATH    symbolic link to the serial pty (removed on exit)\n"
        "  --kind KIND        im (the IM module, the default), load (an electronic load)\n"
        "                     or supply (a DC supply)\n"
        "  --family           a load of the family that carries the IM module (kinds im\n"
        "                     and load): both answer; *IDN? %s\n"
        "  --idn TEXT         reply to *IDN? (default: the kind's own: %s,\n"
        "                     %s, %s)\n"
        "  --version TEXT     reply to SYST:VERS?\n"
        "  --serial TEXT      reply to SYST:SER?\n"
        "  --seed N           seed of faults, noise and initial calibration values (default 1)\n"
        "  --fault NAME=VALUE inject a fault (repeatable; see below)\n"
        "  --log              print every command received\n"
        "  --help\n"
        "IM module:\n"
        "  --dut SPEC         device under test: resistor:R | rc:R,C (parallel) |\n"
        "                     randles:Rs,Rct,Cdl,W[,L] | battery (the default)\n"
        "  --noise REL        relative noise of the readings (default 0.001, 0 = ideal)\n"
        "  --time-scale X     factor on every measurement time (default 1, 0 = ready at once)\n"
        "  --cal-freq-markers N  frequency markers of the calibration tables (default 8)\n"
        "  --cal-gain-markers N  gain markers of the calibration tables (default 4)\n"
        "  --cal-state FILE   calibration kept by IM:CAL:SAVE, read at start when it exists\n"
        "load and supply:\n"
        "  --source-volts V   EMF of the source on the load's input (default 12)\n"
        "  --source-ohms R    its internal resistance (default 0.05)\n"
        "  --load-ohms R      resistance on the supply's output (default 10)\n"
        "  --ambient C        ambient temperature, degrees C (default 25)\n",
        sim::kFamilyIdn, sim::kDefaultIdn, sim::kLoadIdn, sim::kSupplyIdn);
    auto bits = [to](const char* title, const std::vector<sim::StatusBit>& map) {
        std::fprintf(to, "%s\n", title);
        for (const sim::StatusBit& b : map) std::fprintf(to, "  %2d  %s\n", b.bit, b.meaning);
    };
    bits("load STAT:QUES? bits (other bits reserved):", sim::kLoadQuestionableBits);
    bits("load STAT:OPER? bits (other bits reserved):", sim::kLoadOperationBits);
    bits("supply STAT:QUES? bits (other bits reserved):", sim::kSupplyQuestionableBits);
    bits("supply STAT:QUES:EXT? bits (other bits reserved):", sim::kSupplyExtendedBits);
    std::fprintf(to, "faults:\n");
    for (const auto& [name, help] : sim::faultHelp()) std::fprintf(to, "  %-18s %s\n", name.c_str(), help.c_str());
}

[[noreturn]] void die(const std::string& message) {
    std::fprintf(stderr, "imbench-sim: %s\n", message.c_str());
    std::exit(2);
}

double numberArg(const char* text, const char* flag, double lo, double hi) {
    auto v = sim::parseDouble(text);
    if (!v || *v < lo || *v > hi)
        die(std::string(flag) + ": a number " + sim::formatGeneral(lo, 6) + ".." + sim::formatGeneral(hi, 6) +
            " expected");
    return *v;
}

int countArg(const char* text, const char* flag, int hi) {
    auto v = sim::parseInteger(text);
    if (!v || *v < 0 || *v > hi) die(std::string(flag) + ": 0.." + std::to_string(hi) + " expected");
    return static_cast<int>(*v);
}

int portArg(const char* text, const char* flag) {
    auto v = sim::parseInteger(text);
    if (!v || *v < 0 || *v > 65535) die(std::string(flag) + ": a port 0..65535 expected");
    return static_cast<int>(*v);
}

} // namespace

int main(int argc, char** argv) {
    // A host that goes away while its answer is written is no reason to stop.
    std::signal(SIGPIPE, SIG_IGN);
    sim::Options o;
    bool log = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) die(std::string(a) + " needs a value");
            return argv[++i];
        };
        if (a == "--address")
            o.address = value();
        else if (a == "--foreign-address")
            o.foreignAddress = value();
        else if (a == "--tcp-port")
            o.tcpPort = portArg(value(), "--tcp-port");
        else if (a == "--udp-port")
            o.udpPort = portArg(value(), "--udp-port");
        else if (a == "--gpib-port")
            o.gpibPort = portArg(value(), "--gpib-port");
        else if (a == "--gpib-address") {
            auto v = sim::parseInteger(value());
            if (!v || *v < 0 || *v > 30) die("--gpib-address: 0..30 expected");
            o.gpibAddress = static_cast<int>(*v);
        } else if (a == "--no-tcp")
            o.tcp = false;
        else if (a == "--no-udp")
            o.udp = false;
        else if (a == "--no-pty")
            o.pty = false;
        else if (a == "--no-gpib")
            o.gpib = false;
        else if (a == "--pty-link")
            o.ptyLink = value();
        else if (a == "--idn")
            o.idn = value();
        else if (a == "--version")
            o.version = value();
        else if (a == "--serial")
            o.serial = value();
        else if (a == "--family")
            o.family = true;
        else if (a == "--kind") {
            const std::string_view kind = value();
            if (kind == "im")
                o.kind = sim::Kind::Im;
            else if (kind == "load")
                o.kind = sim::Kind::Load;
            else if (kind == "supply")
                o.kind = sim::Kind::Supply;
            else
                die("--kind: im, load or supply expected");
        } else if (a == "--source-volts")
            o.sourceVolts = numberArg(value(), "--source-volts", 0.0, 1000.0);
        else if (a == "--source-ohms")
            o.sourceOhms = numberArg(value(), "--source-ohms", 1e-4, 1e6);
        else if (a == "--load-ohms")
            o.loadOhms = numberArg(value(), "--load-ohms", 1e-3, 1e9);
        else if (a == "--ambient")
            o.ambientCelsius = numberArg(value(), "--ambient", -40.0, 80.0);
        else if (a == "--dut") {
            std::string error;
            if (!sim::parseDut(value(), o.dut, &error)) die(error);
        } else if (a == "--noise")
            o.noise = numberArg(value(), "--noise", 0.0, 1.0);
        else if (a == "--time-scale")
            o.timeScale = numberArg(value(), "--time-scale", 0.0, 1000.0);
        else if (a == "--cal-freq-markers")
            o.calFreqMarkers = countArg(value(), "--cal-freq-markers", sim::kCalMaxFreqMarkers);
        else if (a == "--cal-gain-markers")
            o.calGainMarkers = countArg(value(), "--cal-gain-markers", sim::kCalMaxGainMarkers);
        else if (a == "--cal-state")
            o.calStateFile = value();
        else if (a == "--seed") {
            auto v = sim::parseInteger(value());
            if (!v || *v < 0 || *v > 0xFFFFFFFFLL) die("--seed: 0..4294967295 expected");
            o.seed = static_cast<uint32_t>(*v);
        } else if (a == "--fault") {
            std::string error;
            if (!sim::parseFault(o.faults, value(), &error)) die(error);
        } else if (a == "--log")
            log = true;
        else if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        } else {
            usage(stderr);
            die("unknown option " + std::string(a));
        }
    }
    if (o.family && o.kind == sim::Kind::Supply) die("--family: the family instrument is a load, not a supply");
    if (!sim::isLoopbackAddress(o.address))
        die("refusing to bind " + o.address + ": only loopback addresses (127.0.0.0/8) are allowed");

    // The signals are taken by sigwait below; blocked before the simulator's
    // thread starts so it inherits the mask and never sees them.
    // a shell starts background jobs with SIGINT ignored; take it back
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    sim::Simulator simulator(o);
    static std::mutex printMutex;
    if (log) {
        simulator.instrument().setLogObserver([](const sim::LogEntry& e) {
            std::lock_guard lock(printMutex);
            if (e.udpCode == 5)
                std::printf("%s: CLOSE id=%d\n", sim::linkName(e.link), e.udpId);
            else
                std::printf("%s: %s%s\n", sim::linkName(e.link), e.text.c_str(),
                    e.refused ? "   (refused)" : e.valid ? ""
                                                         : "   (not understood)");
            std::fflush(stdout);
        });
    }
    if (!simulator.start()) {
        std::fprintf(stderr, "imbench-sim: %s\n", simulator.error().c_str());
        return 1;
    }
    {
        std::lock_guard lock(printMutex);
        std::printf("idn %s\n", sim::identity(o).c_str());
        std::printf("kind %s%s\n", sim::kindName(o.kind), o.family && o.kind != sim::Kind::Supply ? " family" : "");
        if (o.kind == sim::Kind::Im || o.family) std::printf("dut %s\n", sim::dutText(o.dut).c_str());
        if (o.tcp) std::printf("tcp %s:%d\n", o.address.c_str(), simulator.tcpPort());
        if (o.udp) std::printf("udp %s:%d\n", o.address.c_str(), simulator.udpPort());
        if (o.gpib) std::printf("gpib %s:%d address %d\n", o.address.c_str(), simulator.gpibPort(), o.gpibAddress);
        if (o.pty) {
            std::printf("pty %s\n", simulator.ptyPath().c_str());
            if (!o.ptyLink.empty()) std::printf("pty-link %s\n", o.ptyLink.c_str());
        }
        std::fflush(stdout);
    }
    int sig = 0;
    sigwait(&stopSignals, &sig);
    simulator.stop();
    return 0;
}
