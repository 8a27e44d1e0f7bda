// A stand-in for linux-gpib's libgpib with the same exported calls and status
// variables.  It records every call and answers reads from a script; the test
// reaches its controls through dlsym on the same library.
//
// Built twice: plain, and with FAKE_THREAD_STATUS, where the per-thread status
// functions carry the truth and the variables hold a decoy, so a caller that
// reads the variables when the functions exist is caught.

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>

namespace {

constexpr int kErr = 0x8000;
constexpr int kTimo = 0x4000;
constexpr int kEnd = 0x2000;
constexpr int kCmpl = 0x0100;
constexpr int kENOL = 2;
constexpr int kEABO = 6;
constexpr int kFailingPad = 13;   // ibdev refuses this address, as with no listener
constexpr int kUdBase = 100;

std::string callLog;
std::deque<std::string> replies;
int status, error;
long count;

#ifdef FAKE_THREAD_STATUS
constexpr int kDecoy = 0;
#endif

void set(int sta, int err, long cnt);

void log(const std::string& s) {
    if (!callLog.empty()) callLog += ';';
    callLog += s;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) volatile int ibsta;
__attribute__((visibility("default"))) volatile int iberr;
__attribute__((visibility("default"))) volatile int ibcnt;
__attribute__((visibility("default"))) volatile long ibcntl;

#ifdef FAKE_THREAD_STATUS
__attribute__((visibility("default"))) int ThreadIbsta() { return status; }
__attribute__((visibility("default"))) int ThreadIberr() { return error; }
__attribute__((visibility("default"))) int ThreadIbcnt() { return static_cast<int>(count); }
__attribute__((visibility("default"))) long ThreadIbcntl() { return count; }
#endif

__attribute__((visibility("default"))) int ibdev(int minor, int pad, int sad, int timo, int eoi, int eos) {
    log("ibdev(" + std::to_string(minor) + "," + std::to_string(pad) + "," + std::to_string(sad) + "," +
        std::to_string(timo) + "," + std::to_string(eoi) + "," + std::to_string(eos) + ")");
    if (pad == kFailingPad) {
        set(kErr, kENOL, 0);
        return -1;
    }
    set(kCmpl, 0, 0);
    return kUdBase + pad;
}

__attribute__((visibility("default"))) int ibwrt(int ud, const void* buf, long n) {
    log("ibwrt(" + std::to_string(ud) + "," + std::string(static_cast<const char*>(buf), static_cast<size_t>(n)) +
        ")");
    set(kCmpl, 0, n);
    return status;
}

__attribute__((visibility("default"))) int ibrd(int ud, void* buf, long n) {
    log("ibrd(" + std::to_string(ud) + "," + std::to_string(n) + ")");
    if (replies.empty()) {
        set(kErr | kTimo, kEABO, 0);
        return status;
    }
    std::string r = replies.front();
    replies.pop_front();
    size_t take = std::min(r.size(), static_cast<size_t>(n));
    std::memcpy(buf, r.data(), take);
    set(kEnd | kCmpl, 0, static_cast<long>(take));
    return status;
}

__attribute__((visibility("default"))) int ibtmo(int ud, int v) {
    log("ibtmo(" + std::to_string(ud) + "," + std::to_string(v) + ")");
    set(kCmpl, 0, 0);
    return status;
}

__attribute__((visibility("default"))) int ibloc(int ud) {
    log("ibloc(" + std::to_string(ud) + ")");
    set(kCmpl, 0, 0);
    return status;
}

__attribute__((visibility("default"))) int ibonl(int ud, int onl) {
    log("ibonl(" + std::to_string(ud) + "," + std::to_string(onl) + ")");
    set(kCmpl, 0, 0);
    return status;
}

// Test controls.
__attribute__((visibility("default"))) const char* fake_gpib_log() { return callLog.c_str(); }
__attribute__((visibility("default"))) void fake_gpib_reset() {
    callLog.clear();
    replies.clear();
}
__attribute__((visibility("default"))) void fake_gpib_script_read(const char* data, long n) {
    replies.emplace_back(data, static_cast<size_t>(n));
}

}  // extern "C"

namespace {

void set(int sta, int err, long cnt) {
    status = sta;
    error = err;
    count = cnt;
#ifdef FAKE_THREAD_STATUS
    ibsta = kDecoy;
    iberr = kDecoy;
    ibcnt = kDecoy;
    ibcntl = kDecoy;
#else
    ibsta = sta;
    iberr = err;
    ibcnt = static_cast<int>(cnt);
    ibcntl = cnt;
#endif
}

}  // namespace
