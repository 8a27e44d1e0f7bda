// Files for tests: a temporary folder removed with everything in it, whole
// files read and written, and an environment variable set for one scope.
#pragma once

#include <optional>
#include <string>

namespace tsupport {

class TempDir {
public:
    TempDir(); // a fresh folder under $TMPDIR (or /tmp)
    ~TempDir(); // removed with its contents
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The whole file, or nullopt when it cannot be read.
std::optional<std::string> readFile(const std::string& path);
// Writes text as the whole file; false when it cannot.
bool writeFile(const std::string& path, const std::string& text);

// Runs a shell command line, its standard error joined to its output; the
// exit code, or -1 when it could not run or did not exit.
int runCommand(const std::string& command, std::string* output);

// Sets (or, with nullopt, unsets) an environment variable until the end of scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

} // namespace tsupport
