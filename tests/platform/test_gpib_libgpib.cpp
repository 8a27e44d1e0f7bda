#include "platform/gpib.h"
#include "platform/portmap.h"

#include "support.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

using namespace test_support;

namespace {

// The back end against the stand-in library, once with status variables only
// and once with the per-thread status functions.
class LinuxGpib : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        portmap::overrideGpib(0, "linux-gpib 2");
        handle = ::dlopen(GetParam(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << ::dlerror();
        log = reinterpret_cast<const char* (*)()>(::dlsym(handle, "fake_gpib_log"));
        reset = reinterpret_cast<void (*)()>(::dlsym(handle, "fake_gpib_reset"));
        script = reinterpret_cast<void (*)(const char*, long)>(::dlsym(handle, "fake_gpib_script_read"));
        ASSERT_TRUE(log && reset && script);
        reset();
    }
    void TearDown() override {
        for (int ud : opened) ibonl(ud, 0);
        if (handle) ::dlclose(handle);
    }
    int open(int pad) {
        int ud = ibdev(0, pad, 0, T1s, 1, 0);
        if (ud >= 0) opened.push_back(ud);
        return ud;
    }

    IsolatedPortMap map;
    ScopedEnv lib{"IMBENCH_LIBGPIB", std::string(GetParam())};
    void* handle = nullptr;
    const char* (*log)() = nullptr;
    void (*reset)() = nullptr;
    void (*script)(const char*, long) = nullptr;
    std::vector<int> opened;
};

TEST_P(LinuxGpib, CallsAreForwardedAndStatusCopied) {
    int ud = open(5);
    ASSERT_GE(ud, 0) << gpib_last_error_text();
    EXPECT_EQ(ibsta & GPIB_ERR, 0);
    EXPECT_EQ(std::string(log()), "ibdev(2,5,0,11,1,0)");

    reset();
    EXPECT_EQ(ibwrt(ud, "*IDN?", 5), GPIB_CMPL);
    EXPECT_EQ(ibcntl, 5);
    EXPECT_EQ(std::string(log()), "ibwrt(105,*IDN?)");

    reset();
    script("VTX,1.0\n", 8);
    char buf[100] = {};
    EXPECT_EQ(ibrd(ud, buf, 99), GPIB_END | GPIB_CMPL);
    EXPECT_EQ(ibcntl, 8);
    EXPECT_EQ(std::string(buf, 8), "VTX,1.0\n");
    EXPECT_EQ(std::string(log()), "ibrd(105,99)");

    // Nothing to read: the library's time-out comes through as ours.
    EXPECT_EQ(ibrd(ud, buf, 99), GPIB_ERR | GPIB_TIMO);
    EXPECT_EQ(ibsta, GPIB_ERR | GPIB_TIMO);
    EXPECT_EQ(iberr, GPIB_EABO);
    EXPECT_EQ(ibcntl, 0);
    EXPECT_NE(std::string(gpib_last_error_text()).find("ibrd"), std::string::npos);

    reset();
    EXPECT_EQ(ibtmo(ud, T3s) & GPIB_ERR, 0);
    EXPECT_EQ(gpib_timeout_code(ud), T3s);
    EXPECT_EQ(ibloc(ud) & GPIB_ERR, 0);
    EXPECT_EQ(ibonl(ud, 0) & GPIB_ERR, 0);
    opened.clear();
    EXPECT_EQ(std::string(log()), "ibtmo(105,12);ibloc(105);ibonl(105,0)");
    EXPECT_EQ(gpib_timeout_code(ud), -1);
    EXPECT_EQ(ibwrt(ud, "x", 1) & GPIB_ERR, GPIB_ERR);
    EXPECT_EQ(iberr, GPIB_EARG);
}

TEST_P(LinuxGpib, RefusedDeviceFailsTheOpen) {
    EXPECT_EQ(open(13), -1);
    EXPECT_NE(ibsta & GPIB_ERR, 0);
    EXPECT_EQ(iberr, 2);
    EXPECT_NE(std::string(gpib_last_error_text()).find("address 13"), std::string::npos) << gpib_last_error_text();
    // The failed open took no descriptor: the next one still opens.
    EXPECT_GE(open(6), 0) << gpib_last_error_text();
}

TEST_P(LinuxGpib, TwoDevicesKeepTheirOwnDescriptors) {
    int a = open(4);
    int b = open(9);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_NE(a, b);
    reset();
    ibwrt(b, "B", 1);
    ibwrt(a, "A", 1);
    EXPECT_EQ(std::string(log()), "ibwrt(109,B);ibwrt(104,A)");
}

INSTANTIATE_TEST_SUITE_P(Variants, LinuxGpib, ::testing::Values(FAKE_LIBGPIB, FAKE_LIBGPIB_THREAD),
                         [](const ::testing::TestParamInfo<const char*>& p) {
                             return p.index == 0 ? std::string("StatusVariables")
                                                    : std::string("ThreadStatusFunctions");
                         });

TEST(LinuxGpibMissing, AbsentLibraryFailsWithAClearReason) {
    IsolatedPortMap map;
    portmap::overrideGpib(0, "linux-gpib 0");
    ScopedEnv lib("IMBENCH_LIBGPIB", std::string("/nonexistent/libgpib.so.0"));
    EXPECT_EQ(ibdev(0, 5, 0, T1s, 1, 0), -1);
    EXPECT_NE(ibsta & GPIB_ERR, 0);
    EXPECT_EQ(iberr, GPIB_EDVR);
    std::string text = gpib_last_error_text();
    EXPECT_NE(text.find("/nonexistent/libgpib.so.0"), std::string::npos) << text;
    EXPECT_NE(text.find("install linux-gpib"), std::string::npos) << text;
}

TEST(LinuxGpibMissing, LibraryWithoutTheCallsIsRefused) {
    IsolatedPortMap map;
    portmap::overrideGpib(0, "linux-gpib 0");
    ScopedEnv lib("IMBENCH_LIBGPIB", std::string("libm.so.6"));
    EXPECT_EQ(ibdev(0, 5, 0, T1s, 1, 0), -1);
    EXPECT_EQ(iberr, GPIB_EDVR);
    EXPECT_NE(std::string(gpib_last_error_text()).find("has no ibdev"), std::string::npos) << gpib_last_error_text();
}

}  // namespace
