// Helpers for the platform tests: a temporary folder, a pseudo-terminal pair,
// an environment variable set for one test, and a port map file of the test's own.
#pragma once

#include "platform/portmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <ftw.h>
#include <optional>
#include <poll.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>

namespace test_support {

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/imbench-platform-XXXXXX";
        const char* p = ::mkdtemp(tmpl);
        if (!p) ADD_FAILURE() << "mkdtemp: " << std::strerror(errno);
        path_ = p ? p : "";
    }
    ~TempDir() {
        if (!path_.empty()) {
            ::nftw(path_.c_str(), [](const char* f, const struct stat*, int, FTW*) { return ::remove(f); }, 16,
                   FTW_DEPTH | FTW_PHYS);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Sets (or with nullopt unsets) an environment variable until the end of scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

// A pseudo-terminal: the test holds the master, the code under test opens the slave path.
class Pty {
public:
    Pty() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            ADD_FAILURE() << "pty: " << std::strerror(errno);
            return;
        }
        char name[128];
        if (::ptsname_r(master_, name, sizeof name) != 0) {
            ADD_FAILURE() << "ptsname: " << std::strerror(errno);
            return;
        }
        slave_ = name;
    }
    ~Pty() { closeMaster(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int master() const { return master_; }
    const std::string& slavePath() const { return slave_; }
    void closeMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }
    void write(const std::string& bytes) const {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            ASSERT_GT(n, 0) << std::strerror(errno);
            done += static_cast<size_t>(n);
        }
    }
    // Reads exactly n bytes from the master, waiting up to timeoutMs in all.
    std::string read(size_t n, int timeoutMs = 10000) const {
        std::string out;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (out.size() < n) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            char buf[4096];
            ssize_t got = ::read(master_, buf, std::min(sizeof buf, n - out.size()));
            if (got <= 0) break;
            out.append(buf, static_cast<size_t>(got));
        }
        return out;
    }

private:
    int master_ = -1;
    std::string slave_;
};

// Points the port map at an empty file of the test's own, so that a user's
// real configuration never leaks into a test.
class IsolatedPortMap {
public:
    IsolatedPortMap() : env_("IMBENCH_PORTS", dir_.file("ports.cfg")) {
        portmap::clearOverrides();
        portmap::reload();
    }
    ~IsolatedPortMap() {
        portmap::clearOverrides();
        portmap::reload();
    }
    const TempDir& dir() const { return dir_; }
    std::string file() const { return dir_.file("ports.cfg"); }

private:
    TempDir dir_;
    ScopedEnv env_;
};

}  // namespace test_support
