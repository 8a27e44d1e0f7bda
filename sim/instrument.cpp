#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <mutex>

#include "sim/im_model.h"
#include "sim/load_model.h"
#include "sim/model.h"
#include "sim/sim.h"
#include "sim/supply_model.h"

namespace sim {

std::string_view trim(std::string_view text) {
    auto blank = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view nextWord(std::string_view& text) {
    text = trim(text);
    std::size_t end = 0;
    while (end < text.size() && text[end] != ' ' && text[end] != '\t') ++end;
    std::string_view word = text.substr(0, end);
    text = trim(text.substr(end));
    return word;
}

Command parseCommand(std::string_view line) {
    Command c;
    c.text = trim(line);
    std::string_view rest = c.text;
    const std::string_view head = nextWord(rest);
    c.header.reserve(head.size());
    for (char ch : head) c.header.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(ch))));
    c.args = rest;
    c.query = !c.header.empty() && c.header.back() == '?';
    return c;
}

std::string formatFixed(double value, int decimals) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) return "0";
    return std::string(buf, r.ptr);
}

std::string formatGeneral(double value, int digits) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits);
    if (r.ec != std::errc()) return "0";
    return std::string(buf, r.ptr);
}

std::optional<double> parseDouble(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+') return std::nullopt;
    double v = 0.0;
    auto r = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<long long> parseInteger(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+') return std::nullopt;
    long long v = 0;
    auto r = std::from_chars(text.data(), text.data() + text.size(), v, 10);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
    return v;
}

std::optional<unsigned> parseHex(std::string_view text, std::size_t digits) {
    if (text.size() != digits) return std::nullopt;
    unsigned v = 0;
    for (char ch : text) {
        const int d = std::isdigit(static_cast<unsigned char>(ch)) ? ch - '0'
            : (ch >= 'A' && ch <= 'F')                             ? ch - 'A' + 10
            : (ch >= 'a' && ch <= 'f')                             ? ch - 'a' + 10
                                                                   : -1;
        if (d < 0) return std::nullopt;
        v = v * 16 + static_cast<unsigned>(d);
    }
    return v;
}

const char* linkName(Link link) {
    switch (link) {
    case Link::Direct:
        return "direct";
    case Link::Tcp:
        return "tcp";
    case Link::Udp:
        return "udp";
    case Link::Pty:
        return "pty";
    case Link::Gpib:
        return "gpib";
    }
    return "?";
}

const char* kindName(Kind kind) {
    switch (kind) {
    case Kind::Im:
        return "im";
    case Kind::Load:
        return "load";
    case Kind::Supply:
        return "supply";
    }
    return "?";
}

std::string identity(const Options& o) {
    if (!o.idn.empty()) return o.idn;
    if (o.kind == Kind::Supply) return kSupplyIdn;
    if (o.family) return kFamilyIdn;
    return o.kind == Kind::Load ? kLoadIdn : kDefaultIdn;
}

bool Instrument::isQuery(std::string_view line) { return parseCommand(line).query; }

namespace {

// Identification and the common commands.
class SystemModel final : public Model {
public:
    std::string idn, version, serial;

    Outcome handle(const Command& c, std::string& reply) override {
        const bool bare = c.args.empty();
        if (c.header == "*IDN?") return give(bare, idn, reply);
        if (c.header == "SYST:VERS?") return give(bare, version, reply);
        if (c.header == "SYST:SER?") return give(bare, serial, reply);
        if (c.header == "*OPC?") return give(bare, "1", reply);
        if (c.header == "*RST" || c.header == "*CLS") return bare ? Outcome::Done : Outcome::Invalid;
        return Outcome::Unknown;
    }

private:
    static Outcome give(bool bare, const std::string& text, std::string& reply) {
        if (!bare) return Outcome::Invalid;
        reply = text;
        return Outcome::Done;
    }
};

} // namespace

struct Instrument::Impl {
    mutable std::mutex mutex;
    SystemModel system;
    ImModel im;
    std::unique_ptr<LoadModel> load;
    std::unique_ptr<SupplyModel> supply;
    std::vector<Model*> models; // asked in turn until one knows the command
    bool refuseUnknown = false; // the load's and the supply's parsers refuse what they do not know

    explicit Impl(const ImSetup& setup) : im(setup) { models = {&system, &im}; }
    Impl(const ImSetup& setup, const Options& o) : im(setup) {
        models = {&system};
        const bool withLoad = o.kind == Kind::Load || (o.kind == Kind::Im && o.family);
        const bool withIm = o.kind == Kind::Im || (o.kind == Kind::Load && o.family);
        if (withIm) models.push_back(&im);
        if (withLoad) {
            load = std::make_unique<LoadModel>(o.sourceVolts, o.sourceOhms, o.ambientCelsius, o.clock);
            models.push_back(load.get());
        }
        if (o.kind == Kind::Supply) {
            supply = std::make_unique<SupplyModel>(o.loadOhms, o.ambientCelsius, o.clock);
            models.push_back(supply.get());
        }
        refuseUnknown = load || supply;
        setFaults(o.faults);
    }
    void setFaults(const Faults& faults) {
        if (load) load->setFaults(faults);
        if (supply) supply->setFaults(faults);
    }
    std::vector<LogEntry> log;
    std::function<void(const LogEntry&)> observer;

    // Appends under the lock; returns the observer to call once it is released.
    std::function<void(const LogEntry&)> append(LogEntry entry) {
        log.push_back(std::move(entry));
        return observer;
    }
};

Instrument::Instrument() : Instrument(kDefaultIdn, kDefaultVersion, kDefaultSerial) { }

Instrument::Instrument(std::string idn, std::string version, std::string serial) {
    ImSetup setup;
    setup.serial = serial;
    impl_ = std::make_unique<Impl>(setup);
    impl_->system.idn = std::move(idn);
    impl_->system.version = std::move(version);
    impl_->system.serial = std::move(serial);
}

Instrument::Instrument(const Options& o) {
    ImSetup setup;
    setup.dut = o.dut;
    setup.noise = o.noise;
    setup.timeScale = o.timeScale;
    setup.seed = o.seed;
    setup.serial = o.serial;
    setup.calFreqMarkers = o.calFreqMarkers;
    setup.calGainMarkers = o.calGainMarkers;
    setup.calStateFile = o.calStateFile;
    impl_ = std::make_unique<Impl>(setup, o);
    impl_->system.idn = identity(o);
    impl_->system.version = o.version;
    impl_->system.serial = o.serial;
}

Instrument::~Instrument() = default;

std::optional<std::string> Instrument::execute(std::string_view line, Link link, int udpId) {
    return respond(line, link, udpId).reply;
}

Response Instrument::respond(std::string_view line, Link link, int udpId) {
    const Command c = parseCommand(line);
    std::string reply;
    Outcome outcome = Outcome::Unknown;
    std::function<void(const LogEntry&)> observer;
    LogEntry entry{link, std::string(line), true, udpId, udpId >= 0 ? 1 : 0};
    {
        std::lock_guard lock(impl_->mutex);
        for (Model* m : impl_->models) {
            outcome = m->handle(c, reply);
            if (outcome != Outcome::Unknown) break;
        }
        if (outcome == Outcome::Unknown && impl_->refuseUnknown && !c.header.empty()) outcome = Outcome::Refused;
        entry.valid = outcome == Outcome::Done;
        entry.refused = outcome == Outcome::Refused;
        observer = impl_->append(entry);
    }
    if (observer) observer(entry);
    Response response;
    response.refused = entry.refused;
    if (!c.query) return response;
    // an unknown or malformed query still gets a reply line, so the host is not left waiting
    response.reply = outcome == Outcome::Done ? std::move(reply) : std::string("ERR");
    return response;
}

void Instrument::record(const LogEntry& entry) {
    std::function<void(const LogEntry&)> observer;
    {
        std::lock_guard lock(impl_->mutex);
        observer = impl_->append(entry);
    }
    if (observer) observer(entry);
}

std::vector<std::string> Instrument::commandLog() const {
    std::lock_guard lock(impl_->mutex);
    std::vector<std::string> out;
    out.reserve(impl_->log.size());
    for (const LogEntry& e : impl_->log)
        if (e.udpCode != 5) out.push_back(e.text);
    return out;
}

std::vector<LogEntry> Instrument::commandRecords() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->log;
}

void Instrument::clearLog() {
    std::lock_guard lock(impl_->mutex);
    impl_->log.clear();
}

void Instrument::setLogObserver(std::function<void(const LogEntry&)> observer) {
    std::lock_guard lock(impl_->mutex);
    impl_->observer = std::move(observer);
}

void Instrument::tick() {
    std::lock_guard lock(impl_->mutex);
    if (impl_->load) impl_->load->catchUp();
    if (impl_->supply) impl_->supply->catchUp();
}

void Instrument::setFaults(const Faults& faults) {
    std::lock_guard lock(impl_->mutex);
    impl_->setFaults(faults);
}

void Instrument::setIdn(std::string idn) {
    std::lock_guard lock(impl_->mutex);
    impl_->system.idn = std::move(idn);
}

void Instrument::setVersion(std::string version) {
    std::lock_guard lock(impl_->mutex);
    impl_->system.version = std::move(version);
}

void Instrument::setSerial(std::string serial) {
    std::lock_guard lock(impl_->mutex);
    impl_->system.serial = std::move(serial);
}

std::optional<std::string> Instrument::setting(std::string_view header) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->im.setting(header);
}

void Instrument::setReadings(const std::array<double, 6>& values) {
    std::lock_guard lock(impl_->mutex);
    impl_->im.setReadings(values);
}

void Instrument::clearReadings() {
    std::lock_guard lock(impl_->mutex);
    impl_->im.clearReadings();
}

void Instrument::setResistance(double ohms) {
    std::lock_guard lock(impl_->mutex);
    impl_->im.setResistance(ohms);
}

void Instrument::setDut(const DutSpec& dut) {
    std::lock_guard lock(impl_->mutex);
    impl_->im.setDut(dut);
}

double Instrument::measurementSeconds() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->im.measurementSeconds();
}

bool Instrument::loadCalibrationState(std::string* error) {
    std::lock_guard lock(impl_->mutex);
    return impl_->im.loadCalibrationState(error);
}

uint8_t Instrument::registerByte(uint16_t address) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->im.registerByte(address);
}

void Instrument::setRegisterByte(uint16_t address, uint8_t value) {
    std::lock_guard lock(impl_->mutex);
    impl_->im.setRegisterByte(address, value);
}

} // namespace sim
