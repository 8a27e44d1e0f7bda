// A stand-in for linux-gpib's libgpib: it logs every call and answers reads
// from a script the test gives through dlsym.  Built a second time with
// FAKE_THREAD_STATUS, where the per-thread status functions carry the truth
// and the variables stay 0, so a caller reading the variables then is caught.
#include <algorithm>
#include <cstring>
#include <string>

#define EXPORT extern "C" __attribute__((visibility("default")))

extern "C" {
__attribute__((visibility("default"))) volatile int ibsta, iberr;
__attribute__((visibility("default"))) volatile long ibcntl;
}

namespace {
std::string callLog, reply;
int status, error;
long count;

int call(const std::string& what, int sta, int err = 0, long cnt = 0) {
    callLog += (callLog.empty() ? "" : ";") + what;
    status = sta;
    error = err;
    count = cnt;
#ifndef FAKE_THREAD_STATUS
    ibsta = sta;
    iberr = err;
    ibcntl = cnt;
#endif
    return sta;
}
std::string args(int a, long b) { return "(" + std::to_string(a) + "," + std::to_string(b) + ")"; }
} // namespace

#ifdef FAKE_THREAD_STATUS
EXPORT int ThreadIbsta() { return status; }
EXPORT int ThreadIberr() { return error; }
EXPORT long ThreadIbcntl() { return count; }
#endif

// Address 13 has no listener; a descriptor is 100 + the address.
EXPORT int ibdev(int minor, int pad, int sad, int tmo, int eot, int eos) {
    const int sta = call("ibdev" + args(minor, pad) + args(sad, tmo) + args(eot, eos), pad == 13 ? 0x8000 : 0x100, pad == 13 ? 2 : 0);
    return sta == 0x100 ? 100 + pad : -1;
}
EXPORT int ibwrt(int ud, const void* buf, long n) {
    return call("ibwrt(" + std::to_string(ud) + "," + std::string(static_cast<const char*>(buf), static_cast<size_t>(n)) + ")", 0x100, 0, n);
}
EXPORT int ibrd(int ud, void* buf, long n) {
    const long take = std::min(static_cast<long>(reply.size()), n);
    std::memcpy(buf, reply.data(), static_cast<size_t>(take));
    const bool none = reply.empty();
    reply.clear();
    return call("ibrd" + args(ud, n), none ? 0xC000 : 0x2100, none ? 6 : 0, take); // ERR|TIMO, or END|CMPL
}
EXPORT int ibtmo(int ud, int v) { return call("ibtmo" + args(ud, v), 0x100); }
EXPORT int ibloc(int ud) { return call("ibloc(" + std::to_string(ud) + ")", 0x100); }
EXPORT int ibonl(int ud, int on) { return call("ibonl" + args(ud, on), 0x100); }

EXPORT const char* fake_gpib_log() { return callLog.c_str(); }
EXPORT void fake_gpib_reset(const char* nextReply) {
    callLog.clear();
    reply = nextReply;
}
