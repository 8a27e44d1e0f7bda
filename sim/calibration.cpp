#include "sim/calibration.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>

#include "sim/fd.h"
#include "sim/model.h"

namespace sim {

namespace {

constexpr const char* kStateTitle = "imbench-sim calibration";

uint64_t mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// A value in [-1, 1) that depends only on the identity and the address.
double spread(uint64_t identity, const CalAddress& a) {
    uint64_t h = identity;
    for (int k : a) h = mix(h ^ static_cast<uint64_t>(static_cast<uint32_t>(k)));
    return static_cast<double>(h >> 11) / 4503599627370496.0 - 1.0; // 2^52
}

std::string sixDecimals(double v) {
    std::string text = formatFixed(v, 6);
    if (text == "-0.000000") text.erase(0, 1);
    return text;
}

bool fail(std::string* error, std::string message) {
    if (error) *error = std::move(message);
    return false;
}

std::string errnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

uint64_t calIdentity(uint32_t seed, std::string_view serial) {
    uint64_t h = 0xCBF29CE484222325ULL; // FNV-1a over the serial, then the seed mixed in
    for (char ch : serial) h = (h ^ static_cast<unsigned char>(ch)) * 0x100000001B3ULL;
    return mix(h ^ seed);
}

CalTables::CalTables(int freqMarkers, int gainMarkers, uint64_t identity)
    : freqMarkers_(std::clamp(freqMarkers, 0, kCalMaxFreqMarkers)),
      gainMarkers_(std::clamp(gainMarkers, 0, kCalMaxGainMarkers)) {
    const int F = freqMarkers_;
    const int G = gainMarkers_;
    // position of a frequency marker between the lowest (0) and the highest (1)
    auto height = [F](int f) { return F > 1 ? static_cast<double>(f) / (F - 1) : 0.5; };
    auto put = [&](const CalAddress& a, double v) { values_[a] = sixDecimals(v); };
    for (int f = 0; f < F; ++f) {
        const double hz = kCalLowMarkerHz * std::pow(kCalTopMarkerHz / kCalLowMarkerHz, height(f));
        put({5, 0, 0, f}, hz);
    }
    for (int t : {0, 1}) {
        put({t, 0, 0, 0}, 1.0 + 0.004 * spread(identity, {t, 0, 0, 0}));
        put({t, 1, 0, 0}, 0.002 * spread(identity, {t, 1, 0, 0}));
    }
    // the output droops and lags towards the top marker; the corrections grow with it
    for (int f = 0; f < F; ++f) {
        const double x = height(f);
        put({2, 0, 0, f}, 1.0 + 0.02 * x + 0.003 * spread(identity, {2, 0, 0, f}));
        put({2, 1, 0, f}, 2.0 * x + 0.05 * spread(identity, {2, 1, 0, f}));
    }
    for (int t : {3, 4})
        for (int g = 0; g < G; ++g)
            for (int f = 0; f < F; ++f) {
                const double x = height(f);
                put({t, 0, g, f}, 1.0 + 0.001 * g + 0.015 * x + 0.005 * spread(identity, {t, 0, g, f}));
                put({t, 1, g, f}, (1.5 + 0.2 * g) * x + 0.05 * spread(identity, {t, 1, g, f}));
                put({t, 2, g, f}, 0.0001 * spread(identity, {t, 2, g, f}));
            }
}

bool CalTables::exists(const CalAddress& a) const {
    const auto [t, i, g, f] = a;
    const bool anyFreq = f >= 0 && f < freqMarkers_;
    switch (t) {
    case 5:
        return i == 0 && g == 0 && anyFreq;
    case 0:
    case 1:
        return (i == 0 || i == 1) && g == 0 && f == 0;
    case 2:
        return (i == 0 || i == 1) && g == 0 && anyFreq;
    case 3:
    case 4:
        return i >= 0 && i <= 2 && g >= 0 && g < gainMarkers_ && anyFreq;
    default:
        return false;
    }
}

std::optional<std::string> CalTables::value(const CalAddress& a) const {
    auto it = values_.find(a);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

bool CalTables::write(const CalAddress& a, std::string_view text) {
    text = trim(text);
    if (!exists(a) || !parseDouble(text)) return false;
    values_[a] = std::string(text);
    return true;
}

bool CalTables::save(const std::string& path, std::string* error) const {
    std::string bytes = std::string(kStateTitle) + "\n";
    bytes += "markers " + std::to_string(freqMarkers_) + " " + std::to_string(gainMarkers_) + "\n";
    for (const auto& [a, v] : values_)
        bytes += std::to_string(a[0]) + " " + std::to_string(a[1]) + " " + std::to_string(a[2]) + " " +
            std::to_string(a[3]) + " " + v + "\n";
    const std::string temporary = path + ".tmp";
    {
        Fd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (!fd.valid()) return fail(error, errnoText("create " + temporary));
        if (!writeAll(fd.get(), bytes) || ::fsync(fd.get()) != 0) {
            const std::string message = errnoText("write " + temporary);
            ::unlink(temporary.c_str());
            return fail(error, message);
        }
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string message = errnoText("rename " + temporary);
        ::unlink(temporary.c_str());
        return fail(error, message);
    }
    // the rename itself lasts only once the folder is on disk
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/"
                                                                             : path.substr(0, slash);
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) ::fsync(dir.get());
    return true;
}

bool CalTables::load(const std::string& path, std::string* error) {
    std::ifstream in(path);
    if (!in) return fail(error, errnoText("open " + path));
    std::string line;
    if (!std::getline(in, line) || trim(line) != kStateTitle)
        return fail(error, path + ": not a calibration state file");
    std::map<CalAddress, std::string> taken;
    int lineNumber = 1;
    bool markersSeen = false;
    while (std::getline(in, line)) {
        ++lineNumber;
        std::string_view rest = trim(line);
        if (rest.empty()) continue;
        const std::string where = path + ":" + std::to_string(lineNumber) + ": ";
        if (!markersSeen) {
            if (nextWord(rest) != "markers" || !parseInteger(nextWord(rest)) || !parseInteger(nextWord(rest)) ||
                !rest.empty())
                return fail(error, where + "\"markers F G\" expected");
            markersSeen = true;
            continue;
        }
        CalAddress a{};
        for (int& k : a) {
            const auto v = parseInteger(nextWord(rest));
            if (!v || *v < -1000000 || *v > 1000000) return fail(error, where + "four integers and a value expected");
            k = static_cast<int>(*v);
        }
        const std::string_view text = nextWord(rest);
        if (!parseDouble(text) || !rest.empty()) return fail(error, where + "the value is not one number");
        if (exists(a)) taken[a] = std::string(text);
    }
    if (in.bad()) return fail(error, errnoText("read " + path));
    if (!markersSeen) return fail(error, path + ": \"markers F G\" missing");
    for (auto& [a, v] : taken) values_[a] = std::move(v);
    return true;
}

} // namespace sim
