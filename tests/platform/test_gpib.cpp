// GPIB over a Prologix-protocol adapter (a scripted peer that checks every
// byte) and over linux-gpib's library (a stand-in loaded at run time).
#include "platform/gpib.h"
#include "platform/portmap.h"
#include "tests/support/peers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <dlfcn.h>

namespace {

const std::string kSetup = "++mode 1\n++auto 0\n++eoi 1\n++eos 3\n";

// The reply of one ibrd, checking its status.
std::string read(int ud, long count = 200, int status = GPIB_END | GPIB_CMPL) {
    std::string buf(static_cast<std::size_t>(count), '\0');
    EXPECT_EQ(ibrd(ud, buf.data(), count), status) << gpib_last_error_text();
    return buf.substr(0, static_cast<std::size_t>(std::max(0L, ibcntl)));
}

class Prologix : public ::testing::Test {
protected:
    void SetUp() override { portmap::overrideGpib(0, "prologix-tcp " + adapter_->address()); } // port 1234
    tsupport::IsolatedPortMap map_;
    std::unique_ptr<tsupport::StreamPeer> adapter_ = tsupport::StreamPeer::tcp(1234);
};

// Data is escaped; each device's address and end-of-write setting are told
// when they change, the read time-out before a read (at most the adapter's
// 3000 ms); a reply too long for the buffer is cut and its rest dropped.
TEST_F(Prologix, SessionSetupAddressesEscapesAndTimeOuts) {
    adapter_->accept()
        .expect(kSetup + "++addr 5\nA\x1b+B\x1b\r\x1b\n\x1b\x1b"
                         "C\n")
        .expect("++read_tmo_ms 1000\n++read eoi\n")
        .send("1.234\r\n")
        .expect("++read_tmo_ms 3000\n++read eoi\n")
        .send(std::string(300, 'x') + "\n")
        .expect("++read eoi\n")
        .send("a\nb") // EOI after a byte that is no line end
        .expect("++addr 7 96\n++eoi 0\nB\n++addr 5\n++eoi 1\n++loc\n")
        .start();
    const int a = ibdev(0, 5, 0, T1s, 1, 0), b = ibdev(0, 7, 0x60, T1s, 0, 0);
    ASSERT_GE(b, 0) << gpib_last_error_text();
    EXPECT_EQ(ibwrt(a, "A+B\r\n\x1b"
                       "C",
                  7),
        GPIB_CMPL);
    EXPECT_EQ(read(a), "1.234\r\n");
    EXPECT_EQ(ibtmo(a, T3s), GPIB_CMPL);
    EXPECT_EQ(read(a, 100, GPIB_CMPL), std::string(100, 'x'));
    EXPECT_EQ(ibtmo(a, T30s), GPIB_CMPL);
    EXPECT_EQ(read(a), "a\nb");
    EXPECT_EQ(ibwrt(b, "B", 1), GPIB_CMPL);
    EXPECT_EQ(ibloc(a), GPIB_CMPL);
    EXPECT_EQ(ibonl(b, 0) | ibonl(a, 0), GPIB_CMPL); // the last device gone, the connection closes
    EXPECT_EQ(adapter_->finish(), "");
}

// A silent device times out within its time-out, or at the adapter's own
// limit; a reply that comes late is not taken for the next; an adapter that
// went away is connected again with a new session.
TEST_F(Prologix, SilenceLateRepliesAndALostAdapter) {
    tsupport::Gate failed, sent, gaveUp, closed;
    adapter_->accept()
        .expect(kSetup + "++addr 5\n++read_tmo_ms 300\n++read eoi\n")
        .waitFor(failed)
        .send("late\n")
        .signal(sent)
        .expect("Q?\n++read eoi\n")
        .send("fresh\n")
        .expect("++read_tmo_ms 3000\n++read eoi\n")
        .waitFor(gaveUp)
        .close()
        .signal(closed)
        .accept()
        .expect(kSetup + "++addr 5\nR?\n")
        .start();
    const int ud = ibdev(0, 5, 0, T300ms, 1, 0);
    auto silence = [ud](double least) {
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(read(ud, 64, GPIB_ERR | GPIB_TIMO), "");
        const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - t0;
        EXPECT_EQ(iberr, GPIB_EABO);
        EXPECT_GE(waited.count(), least);
        EXPECT_LT(waited.count(), 10.0);
    };
    silence(0.29);
    failed.open();
    ASSERT_TRUE(sent.wait());
    EXPECT_EQ(ibwrt(ud, "Q?", 2), GPIB_CMPL);
    EXPECT_EQ(read(ud), "fresh\n");
    ibtmo(ud, TNONE);
    silence(3.0); // the adapter's own limit
    gaveUp.open();
    ASSERT_TRUE(closed.wait());
    EXPECT_EQ(ibwrt(ud, "R?", 2), GPIB_CMPL) << gpib_last_error_text();
    ibonl(ud, 0);
    EXPECT_EQ(adapter_->finish(), "");
}

TEST(GpibConfiguration, BadEntriesFailTheOpenWithAReason) {
    tsupport::IsolatedPortMap map;
    const std::string refused = "prologix-tcp " + tsupport::StreamPeer::tcp()->address() + ":1234";
    for (auto [spec, why] : {std::pair<std::string, const char*>{"", "ports.cfg"}, {"prologix-tcp localhost", "numeric IPv4"},
             {refused, "refused"}, {"bogus 1", "unknown kind"}, {"linux-gpib 0", "install linux-gpib"}}) {
        portmap::overrideGpib(0, spec);
        tsupport::ScopedEnv lib("IMBENCH_LIBGPIB", std::string("/nonexistent/libgpib.so.0"));
        EXPECT_EQ(ibdev(0, 5, 0, T1s, 1, 0), -1) << spec;
        EXPECT_EQ(iberr, spec.empty() ? GPIB_ENEB : GPIB_EDVR) << spec;
        EXPECT_NE(std::string(gpib_last_error_text()).find(why), std::string::npos) << gpib_last_error_text();
    }
}

// The back end against the stand-in library, once with status variables only
// and once with the per-thread status functions.
class LinuxGpib : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { portmap::overrideGpib(0, "linux-gpib 2"); }
    void TearDown() override { dlclose(lib_); }
    std::string log() { return reinterpret_cast<const char* (*)()>(dlsym(lib_, "fake_gpib_log"))(); }
    void reset(const char* reply = "") { reinterpret_cast<void (*)(const char*)>(dlsym(lib_, "fake_gpib_reset"))(reply); }

    tsupport::IsolatedPortMap map_;
    tsupport::ScopedEnv env_{"IMBENCH_LIBGPIB", std::string(GetParam())};
    void* lib_ = dlopen(GetParam(), RTLD_NOW | RTLD_LOCAL);
};

TEST_P(LinuxGpib, CallsAreForwardedAndTheStatusCopied) {
    ASSERT_TRUE(lib_) << dlerror();
    reset();
    EXPECT_EQ(ibdev(0, 13, 0, T1s, 1, 0), -1) << "address 13 has no listener";
    EXPECT_EQ(iberr, 2);
    const int a = ibdev(0, 5, 0, T1s, 1, 0), b = ibdev(0, 9, 0, T1s, 1, 0);
    ASSERT_GE(b, 0) << gpib_last_error_text();
    EXPECT_EQ(log(), "ibdev(2,13)(0,11)(1,0);ibdev(2,5)(0,11)(1,0);ibdev(2,9)(0,11)(1,0)");
    reset("VTX,1.0\n");
    EXPECT_EQ(ibwrt(b, "*IDN?", 5), GPIB_CMPL);
    EXPECT_EQ(ibcntl, 5);
    EXPECT_EQ(read(a, 99), "VTX,1.0\n");
    EXPECT_EQ(read(a, 99, GPIB_ERR | GPIB_TIMO), "") << "nothing to read: the library's time-out is ours";
    EXPECT_EQ(iberr, GPIB_EABO);
    EXPECT_EQ(ibtmo(a, T3s), GPIB_CMPL);
    EXPECT_EQ(gpib_timeout_code(a), T3s);
    EXPECT_EQ(ibloc(a), GPIB_CMPL);
    EXPECT_EQ(ibonl(a, 0), GPIB_CMPL);
    ibonl(b, 0);
    EXPECT_EQ(log(), "ibwrt(109,*IDN?);ibrd(105,99);ibrd(105,99);ibtmo(105,12);ibloc(105);ibonl(105,0);ibonl(109,0)");
    EXPECT_EQ(ibwrt(a, "x", 1), GPIB_ERR);
    EXPECT_EQ(iberr, GPIB_EARG);
}

INSTANTIATE_TEST_SUITE_P(Variants, LinuxGpib, ::testing::Values(FAKE_LIBGPIB, FAKE_LIBGPIB_THREAD));

} // namespace
