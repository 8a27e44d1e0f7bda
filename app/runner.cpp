#include "app/runner.h"

#include "app/fra.h"
#include "app/fra_private.h"
#include "app/ifc.h"
#include "app/profile.h"
#include "app/trace_export.h"
#include "displays/bode.h"
#include "displays/nyqust.h"
#include "displays/traces.h"
#include "displays/vc.h"
#include "link/ifp.h"
#include "link/io.h"
#include "platform/portmap.h"
#include "platform/safe_file.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/resources/ifcPanel.h"
#include "ui/resources/ifcPanel_main.h"
#include "ui/toolkit.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdarg>
#include <charconv>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

namespace {

namespace hl = ui::headless;
using Clock = std::chrono::steady_clock;

// A sweep whose linear step is this small against its range is not counted
// point by point: its length stays unknown.
constexpr long kMaxCountedPoints = 10'000'000;

bool parse_int(std::string_view text, int min, int max, int* value)
{
    int v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc{} || end != text.data() + text.size() || v < min || v > max)
        return false;
    *value = v;
    return true;
}

// Pop-ups of the run, as lines on the message stream, each once.
class PopupEcho {
public:
    explicit PopupEcho(std::FILE* to) : to_(to), seen_(hl::popups().size()) { }
    void flush()
    {
        const auto& all = hl::popups();
        for (; seen_ < all.size(); ++seen_) {
            const hl::PopupRecord& p = all[seen_];
            if (p.kind != hl::PopupRecord::Message && p.kind != hl::PopupRecord::Confirm)
                continue;
            std::string text = p.text;
            for (char& c : text)
                if (c == '\n')
                    c = ' ';
            std::fprintf(to_, "imbench run: %s%s%s\n", p.title.c_str(), p.title.empty() ? "" : ": ",
                text.c_str());
        }
    }

private:
    std::FILE* to_;
    std::size_t seen_;
};

std::string link_name(const RunnerOptions& o)
{
    switch (o.linkKind) {
    case IO_TCP:
        return "tcp:" + o.address;
    case IO_UDP:
        return "udp:" + o.address;
    case IO_COM:
        return "com:" + std::to_string(o.port);
    case IO_GPIB:
        return "gpib:" + std::to_string(o.board) + ":" + std::to_string(o.port);
    default:
        return "?";
    }
}

// The interface panel's message log, one line each.
std::string message_log()
{
    std::string text;
    if (const ui::Panel* p = ui::panel(ifp_panel()))
        if (const ui::Control* c = p->control(IFP_PANEL_MSG))
            for (const std::string& line : c->lines)
                text += line + "\n";
    return text;
}

// Readings one sweep takes, from START to STOP as the stepper goes; 0 when
// that cannot be told (a linear step that never reaches STOP).
int sweep_points()
{
    const IfcSweepRange range = {ifc_main_double(MAIN_PANEL_FREQ_START),
        ifc_main_double(MAIN_PANEL_FREQ_STOP), ifc_main_double(MAIN_PANEL_FREQ_STEP),
        ifc_main_int(MAIN_PANEL_XAXIS_DB)};
    if (!range.decades && !(range.step > 0.0))
        return 0;
    long n = 1;
    for (double f = range.start;; ++n) {
        const IfcSweepNext next = ifc_sweep_next(range, f);
        if (next.done)
            break;
        if (n >= kMaxCountedPoints)
            return 0;
        f = next.freq;
    }
    return static_cast<int>(n);
}

// Sweeps of the run: one, or with REPEAT one per DC step before the first at 0.
int sweep_count()
{
    if (!ifc_main_int(MAIN_PANEL_REPEAT))
        return 1;
    int n = 0;
    while (n < DCSW_STEPS && dcsw_get_dc(n) != 0.0)
        ++n;
    return n;
}

std::size_t points_so_far()
{
    std::size_t n = 0;
    for (const Trace& t : traces_all())
        n += t.points.size();
    return n;
}

std::string clock_text(double seconds)
{
    if (seconds < 0.0)
        return "unknown";
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

class Run {
public:
    Run(const RunnerOptions& o, std::FILE* messages, const std::function<void(const RunnerProgress&)>& onPoint)
        : o_(o), out_(messages), onPoint_(onPoint), popups_(messages)
    {
    }
    ~Run()
    {
        ifc_measurement_end(false);
        ifp_quit();
        popups_.flush();
    }

    int go()
    {
        if (int r = prepare_folder(); r != RUNNER_OK)
            return r;
        if (!o_.profile.empty() && !std::ifstream(o_.profile)) {
            say("cannot read the profile %s: %s", o_.profile.c_str(), std::strerror(errno));
            return RUNNER_USAGE;
        }
        const int result = measure();
        popups_.flush();
        // The log tells what happened whatever the result; a run that failed
        // keeps the code of its first failure.
        const int logged = write(RUNNER_LOG, message_log());
        return result != RUNNER_OK ? result : logged;
    }

private:
    void say(const char* format, ...) __attribute__((format(printf, 2, 3)))
    {
        std::fputs("imbench run: ", out_);
        va_list args;
        va_start(args, format);
        std::vfprintf(out_, format, args);
        va_end(args);
        std::fputc('\n', out_);
        std::fflush(out_);
    }

    std::string path(const char* name) const { return o_.out + "/" + name; }

    int prepare_folder()
    {
        struct stat st { };
        if (mkdir(o_.out.c_str(), 0777) != 0 && errno != EEXIST) {
            say("cannot create the folder %s: %s", o_.out.c_str(), std::strerror(errno));
            return RUNNER_FILE;
        }
        if (stat(o_.out.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            say("%s is not a folder", o_.out.c_str());
            return RUNNER_FILE;
        }
        return RUNNER_OK;
    }

    int write(const char* name, const std::string& text)
    {
        const safe_file::Result r = safe_file::save(path(name), text);
        if (r.ok())
            return RUNNER_OK;
        say("cannot write %s: %s", path(name).c_str(), safe_file::describe(r).c_str());
        return RUNNER_FILE;
    }

    int open_link()
    {
        ifp_active(1);
        if (ifp_panel() < 0) {
            say("the interface panel could not be loaded");
            return RUNNER_NOT_RUN;
        }
        ifp_set_monitor_view(1); // transport errors go to the message log
        ifp_select_link(o_.linkKind, o_.address.c_str());
        const int panel = ifp_panel();
        if (o_.linkKind == IO_COM)
            SetCtrlVal(panel, IFP_PANEL_COMPORT, o_.port);
        if (o_.linkKind == IO_GPIB) {
            SetCtrlVal(panel, IFP_PANEL_GPIBADDR, o_.port);
            // The link speaks to board 0: it is given the adapter of the board asked for.
            if (o_.board != 0) {
                const std::string entry = portmap::gpibBoard(o_.board);
                if (entry.empty()) {
                    say("no GPIB board %d is set up in %s", o_.board, portmap::filePath().c_str());
                    return RUNNER_LINK;
                }
                portmap::overrideGpib(0, entry);
            }
        }
        SetCtrlVal(panel, IFP_PANEL_OPEN, 1);
        ifpopenCB(panel, IFP_PANEL_OPEN, EVENT_COMMIT, nullptr, 0, 0);
        if (!ifp_get_ifready()) {
            say("cannot open the link %s", link_name(o_).c_str());
            std::fputs(message_log().c_str(), out_);
            return RUNNER_LINK;
        }
        return RUNNER_OK;
    }

    int measure()
    {
        if (int r = open_link(); r != RUNNER_OK)
            return r;
        ifc_measurement_start();
        if (!ifp_get_ifready() || ifcP < 0) {
            say("no instrument answered on %s", link_name(o_).c_str());
            return RUNNER_LINK;
        }
        if (o_.prepare)
            o_.prepare();
        const IfcInstrument& found = ifc_get_instrument();
        say("instrument %s, module version %s", found.idn.empty() ? "(no identity)" : found.idn.c_str(),
            found.version.c_str());

        if (!o_.profile.empty() && !profile_load_file(o_.profile.c_str())) {
            say("cannot load the profile %s", o_.profile.c_str());
            return RUNNER_USAGE;
        }
        if (!o_.saveProfile.empty() && !profile_save_file(o_.saveProfile.c_str())) {
            say("cannot write the profile %s", o_.saveProfile.c_str());
            return RUNNER_FILE;
        }
        // The runner writes the data file itself: no save dialog at the sweep's end.
        SetCtrlVal(ifcP, MAIN_PANEL_DATA_LOG, 0);
        if (int r = sweep(); r != RUNNER_OK)
            return r;
        if (int r = write_files(); r != RUNNER_OK)
            return r;
        return o_.pictures ? write_pictures() : RUNNER_OK;
    }

    int write_pictures()
    {
        const std::pair<int, const char*> graphs[] = {{zP, "bode"}, {nyP, "nyquist"}, {vcP, "vc"}};
        for (const auto& [panel, name] : graphs)
            for (const char* ext : {".png", ".svg"}) {
                const std::string file = path(name) + ext;
                const int r = SavePanelPicture(panel, file.c_str());
                if (r == UIE_NOT_SUPPORTED) {
                    say("pictures cannot be drawn in this program");
                    return RUNNER_FILE;
                }
                if (r < 0) {
                    say("cannot write %s", file.c_str());
                    return RUNNER_FILE;
                }
            }
        say("pictures: %s.png and .svg, %s.png and .svg, %s.png and .svg", path("bode").c_str(),
            path("nyquist").c_str(), path("vc").c_str());
        return RUNNER_OK;
    }

    int sweep()
    {
        const int steps = sweep_count();
        const int points = sweep_points();
        SetCtrlVal(ifcP, MAIN_PANEL_SWEEP, 1);
        sweep_hotCB(ifcP, MAIN_PANEL_SWEEP, EVENT_COMMIT, nullptr, 0, 0);
        popups_.flush();
        if (!ifc_sweep_on()) {
            say("the sweep did not start");
            return RUNNER_NOT_RUN;
        }
        const auto stall = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(o_.stallSeconds));
        const Clock::time_point start = Clock::now();
        Clock::time_point lastPoint = start;
        std::size_t seen = 0;
        for (;;) {
            if (!ifp_in_operation())
                ProcessSystemEvents();
            if (!ifp_get_ifready()) {
                say("the link closed during the sweep");
                return RUNNER_SILENT;
            }
            readBack();
            popups_.flush();
            if (const std::size_t now = points_so_far(); now != seen) {
                seen = now;
                lastPoint = Clock::now();
                progress(steps, points, start);
            }
            if (!ifc_sweep_on() && !ifc_get_dcsw_active())
                return RUNNER_OK;
            if (Clock::now() - lastPoint > stall) {
                say("no reading for %g s: the instrument stopped answering", o_.stallSeconds);
                return RUNNER_SILENT;
            }
        }
    }

    void progress(int steps, int points, Clock::time_point start)
    {
        RunnerProgress p{};
        p.steps = steps;
        p.step = ifc_main_int(MAIN_PANEL_REPEAT) ? ifc_get_dcsw_index() + 1 : 1;
        p.points = points;
        p.point = static_cast<int>(ifc_log_count());
        p.secondsLeft = -1.0;
        const double done = static_cast<double>((p.step - 1) * points + p.point);
        if (points > 0 && done > 0.0) {
            const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            const double total = static_cast<double>(steps) * points;
            p.secondsLeft = total > done ? elapsed / done * (total - done) : 0.0;
        }
        std::fprintf(out_, "step %d/%d  point %d/%s  time left %s\n", p.step, p.steps, p.point,
            points > 0 ? std::to_string(points).c_str() : "?", clock_text(p.secondsLeft).c_str());
        std::fflush(out_);
        if (onPoint_)
            onPoint_(p);
    }

    int write_files()
    {
        const uint32_t logged = ifc_log_count();
        const int n = static_cast<int>(logged > IFC_LOG_SIZE ? IFC_LOG_SIZE : logged);
        if (logged > IFC_LOG_SIZE)
            say("the last sweep has %u points; %s keeps the first %d, %s every one",
                static_cast<unsigned>(logged), RUNNER_DAT, IFC_LOG_SIZE, RUNNER_CSV);
        if (const std::string why = ifc_write_log_file(path(RUNNER_DAT).c_str(), ifc_log_data(), n);
            !why.empty()) {
            say("cannot write %s: %s", path(RUNNER_DAT).c_str(), why.c_str());
            return RUNNER_FILE;
        }
        if (const std::string why = trace_export_write(path(RUNNER_CSV), ifc_trace_header(), traces_all());
            !why.empty()) {
            say("cannot write %s", why.c_str());
            return RUNNER_FILE;
        }
        say("%zu traces, %zu points: %s, %s", traces_all().size(), points_so_far(),
            path(RUNNER_DAT).c_str(), path(RUNNER_CSV).c_str());
        return RUNNER_OK;
    }

    const RunnerOptions& o_;
    std::FILE* out_;
    const std::function<void(const RunnerProgress&)>& onPoint_;
    PopupEcho popups_;
};

} // namespace

const char* runner_usage()
{
    return "usage: imbench run --link LINK [--profile FILE] --out DIR [--save-profile FILE]\n"
           "                   [--pictures] [--stall SECONDS]\n"
           "       imbench run --demo --out DIR [--profile FILE] [--save-profile FILE]\n"
           "Runs one sweep (with REPEAT, one per step of the DC sweep list) without windows.\n"
           "  --link LINK          tcp:ADDR, udp:ADDR (dotted IPv4), com:N, gpib:BOARD:ADDR\n"
           "  --demo               against the simulated instrument, started in this process\n"
           "  --profile FILE       settings loaded as File > Load Profile loads them\n"
           "  --save-profile FILE  the settings in force after the profile, as a profile\n"
           "  --out DIR            where sweep.dat (the last sweep), traces.csv (every\n"
           "                       trace; traces-traceK.csv per trace) and messages.log go\n"
           "  --pictures           also bode, nyquist and vc as .png and .svg in DIR\n"
           "  --stall SECONDS      no reading for this long ends the run (default 120)\n"
           "Progress goes to stderr.  Exit codes: 0 done, 1 the sweep could not start,\n"
           "2 usage (or a profile that cannot be read), 3 link failure, 4 the instrument\n"
           "stopped answering, 5 a file that cannot be written.\n";
}

bool runner_parse_link(const std::string& text, RunnerOptions* o, std::string* error)
{
    const std::size_t colon = text.find(':');
    const std::string kind = text.substr(0, colon);
    const std::string rest = colon == std::string::npos ? "" : text.substr(colon + 1);
    in_addr ip{};
    if ((kind == "tcp" || kind == "udp") && inet_pton(AF_INET, rest.c_str(), &ip) == 1) {
        o->linkKind = kind == "tcp" ? IO_TCP : IO_UDP;
        o->address = rest;
        return true;
    }
    if (kind == "com" && parse_int(rest, 1, 255, &o->port)) {
        o->linkKind = IO_COM;
        return true;
    }
    const std::size_t second = rest.find(':');
    if (kind == "gpib" && second != std::string::npos &&
        parse_int(std::string_view(rest).substr(0, second), 0, 15, &o->board) &&
        parse_int(std::string_view(rest).substr(second + 1), 0, 30, &o->port)) {
        o->linkKind = IO_GPIB;
        return true;
    }
    *error = "--link " + text + ": expected tcp:ADDR, udp:ADDR (dotted IPv4), com:N (1 to 255) " +
        "or gpib:BOARD:ADDR (board 0 to 15, address 0 to 30)";
    return false;
}

bool runner_parse(const std::vector<std::string>& args, RunnerOptions* o, std::string* error)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            o->help = true;
            return true;
        }
        if (a == "--demo" || a == "--pictures") {
            (a == "--demo" ? o->demo : o->pictures) = true;
            continue;
        }
        const bool takesValue = a == "--link" || a == "--profile" || a == "--out" ||
            a == "--save-profile" || a == "--stall";
        if (!takesValue) {
            *error = "unknown option " + a;
            return false;
        }
        if (i + 1 >= args.size() || args[i + 1].empty()) {
            *error = a + " needs a value";
            return false;
        }
        const std::string& v = args[++i];
        if (a == "--link" && !runner_parse_link(v, o, error))
            return false;
        if (a == "--profile")
            o->profile = v;
        if (a == "--out")
            o->out = v;
        if (a == "--save-profile")
            o->saveProfile = v;
        if (a == "--stall") {
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), o->stallSeconds);
            if (ec != std::errc{} || end != v.data() + v.size() || !(o->stallSeconds > 0.0)) {
                *error = "--stall " + v + ": expected a number of seconds above 0";
                return false;
            }
        }
    }
    if (o->demo == (o->linkKind >= 0)) {
        *error = o->demo ? "--demo and --link exclude each other" : "--link or --demo is needed";
        return false;
    }
    if (o->out.empty()) {
        *error = "--out is needed";
        return false;
    }
    return true;
}

int runner_run(const RunnerOptions& options, std::FILE* messages,
    const std::function<void(const RunnerProgress&)>& onPoint)
{
    Run run(options, messages, onPoint);
    return run.go();
}
