// INI files on disk: reading odd files, and a save that is all-or-nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "settings/ini.h"

namespace {

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/ini_test_XXXXXX";
    const char *made = ::mkdtemp(tmpl);
    EXPECT_NE(made, nullptr);
    path_ = made != nullptr ? made : "/tmp";
  }
  ~TempDir() {
    for (const std::string &name : entries()) {
      std::string p = path_ + "/" + name;
      ::chmod(p.c_str(), 0600);
      ::unlink(p.c_str());
      ::rmdir(p.c_str());
    }
    ::rmdir(path_.c_str());
  }
  std::string file(const std::string &name) const { return path_ + "/" + name; }
  const std::string &path() const { return path_; }
  std::vector<std::string> entries() const {
    std::vector<std::string> out;
    if (DIR *d = ::opendir(path_.c_str())) {
      while (const dirent *e = ::readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) out.emplace_back(e->d_name);
      ::closedir(d);
    }
    return out;
  }
  int temp_files() const {
    int n = 0;
    for (const std::string &name : entries())
      if (name.rfind(kIniTempPrefix, 0) == 0) ++n;
    return n;
  }

 private:
  std::string path_;
};

std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void spit(const std::string &path, const std::string &data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
}

IniText sample(int variant) {
  IniText ini = ini_new(false);
  EXPECT_EQ(ini_put_double(ini.get(), "OUTPUT SOURCE", "FREQUENCY", 1000.0 * variant), kIniOk);
  EXPECT_EQ(ini_put_string(ini.get(), "BACKDOOR", "DCSW_LIST", std::string(180, static_cast<char>('a' + variant))),
            kIniOk);
  return ini;
}

// Runs `body` in a child process and returns its exit status (-1 when it died by a signal).
int in_child(const std::function<int()> &body) {
  pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

constexpr int kSkip = 77;

TEST(IniFile, WriteThenRead) {
  TempDir dir;
  IniText ini = sample(1);
  const std::string path = dir.file("profile.ini");
  ASSERT_EQ(ini_write_to_file(ini.get(), path.c_str()), kIniOk);
  EXPECT_EQ(slurp(path), ini_to_text(ini.get()));
  IniText back = ini_new(false);
  ASSERT_EQ(ini_read_from_file(back.get(), path.c_str()), kIniOk);
  EXPECT_EQ(ini_to_text(back.get()), ini_to_text(ini.get()));
  EXPECT_EQ(dir.temp_files(), 0);
}

TEST(IniFile, ReadingOddFilesFailsCleanly) {
  TempDir dir;
  spit(dir.file("nul.ini"), std::string("[A]\r\nX = 1\r\n\0\0\0", 15));
  spit(dir.file("empty.ini"), "");
  std::string noise;
  std::mt19937 rng(7);
  for (int i = 0; i < 200000; ++i) noise += static_cast<char>(1 + rng() % 255);
  spit(dir.file("noise.bin"), noise);
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  {
    int fd = ::open(dir.file("huge.ini").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(kIniMaxFileSize) + 1), 0);
    ::close(fd);
  }
  struct Case {
    std::string path;
    int rc;
  } cases[] = {
      {dir.file("missing.ini"), kIniErrNotFound},
      {dir.file("missing/deeper.ini"), kIniErrNotFound},
      {dir.path(), kIniErrNotFile},
      {dir.file("fifo"), kIniErrNotFile},
      {"/dev/null", kIniErrNotFile},
      {dir.file("nul.ini"), kIniErrBinary},
      {dir.file("huge.ini"), kIniErrTooLarge},
      {dir.file("empty.ini"), kIniOk},
      {dir.file("noise.bin"), kIniOk},
      {"", kIniErrArgument},
  };
  for (const Case &c : cases) {
    IniText ini = ini_new(false);
    ASSERT_EQ(ini_put_int(ini.get(), "KEEP", "X", 1), kIniOk);
    EXPECT_EQ(ini_read_from_file(ini.get(), c.path.c_str()), c.rc) << c.path;
    EXPECT_EQ(ini_item_exists(ini.get(), "KEEP", "X"), 1) << c.path;
  }
  IniText ini = ini_new(false);
  EXPECT_EQ(ini_read_from_file(ini.get(), nullptr), kIniErrArgument);
  EXPECT_EQ(ini_read_from_file(nullptr, "/dev/null"), kIniErrArgument);
}

TEST(IniFile, SavingWhereNoFileCanBeFails) {
  TempDir dir;
  IniText ini = sample(1);
  ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0700), 0);
  EXPECT_EQ(ini_write_to_file(ini.get(), dir.file("sub").c_str()), kIniErrNotFile);
  EXPECT_EQ(ini_write_to_file(ini.get(), dir.file("nowhere/p.ini").c_str()), kIniErrWrite);
  EXPECT_EQ(ini_write_to_file(ini.get(), ""), kIniErrArgument);
  EXPECT_EQ(ini_write_to_file(nullptr, dir.file("p.ini").c_str()), kIniErrArgument);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"sub"});
}

TEST(IniFile, SaveKeepsModeOfTheReplacedFileAndFollowsLinks) {
  TempDir dir;
  const std::string real = dir.file("real.ini"), link = dir.file("link.ini");
  spit(real, "old");
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  ASSERT_EQ(::symlink("real.ini", link.c_str()), 0);
  IniText ini = sample(2);
  ASSERT_EQ(ini_write_to_file(ini.get(), link.c_str()), kIniOk);
  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(slurp(real), ini_to_text(ini.get()));
}

// Root may write any file, so "read-only" is made three ways: no write bit at
// all (which the save honours even for root), the immutable attribute, and a
// read-only bind mount of the file in a private mount namespace.
TEST(IniFile, ReadOnlyTargetByModeBitsFailsAndStaysUnchanged) {
  TempDir dir;
  const std::string path = dir.file("ro.ini");
  spit(path, "[OLD]\r\n\r\n");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  IniText ini = sample(1);
  EXPECT_EQ(ini_write_to_file(ini.get(), path.c_str()), kIniErrReadOnly);
  EXPECT_EQ(slurp(path), "[OLD]\r\n\r\n");
  EXPECT_EQ(dir.temp_files(), 0);
  // A write bit for anyone is enough for the owner to be allowed.
  ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
  EXPECT_EQ(ini_write_to_file(ini.get(), path.c_str()), kIniOk);
}

TEST(IniFile, ReadOnlyTargetByImmutableAttributeFails) {
  TempDir dir;
  const std::string path = dir.file("immutable.ini");
  spit(path, "[OLD]\r\n\r\n");
  if (std::system(("chattr +i '" + path + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "chattr +i is not available here (needs root and a file system that supports it)";
  IniText ini = sample(1);
  int rc = ini_write_to_file(ini.get(), path.c_str());
  int temps = dir.temp_files();
  EXPECT_EQ(std::system(("chattr -i '" + path + "'").c_str()), 0);
  EXPECT_EQ(rc, kIniErrReadOnly);
  EXPECT_EQ(slurp(path), "[OLD]\r\n\r\n");
  EXPECT_EQ(temps, 0);
}

TEST(IniFile, ReadOnlyTargetByReadOnlyMountFails) {
  TempDir dir;
  const std::string path = dir.file("mounted.ini");
  spit(path, "[OLD]\r\n\r\n");
  IniText ini = sample(1);
  int status = in_child([&] {
    if (::unshare(CLONE_NEWNS) != 0) return kSkip;
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return kSkip;
    if (::mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0) return kSkip;
    if (::mount(nullptr, path.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) return kSkip;
    if (ini_write_to_file(ini.get(), path.c_str()) != kIniErrReadOnly) return 1;
    if (slurp(path) != "[OLD]\r\n\r\n") return 2;
    if (dir.temp_files() != 0) return 3;
    return 0;
  });
  if (status == kSkip) GTEST_SKIP() << "no private mount namespace (needs CAP_SYS_ADMIN)";
  EXPECT_EQ(status, 0) << "1: save did not fail, 2: target changed, 3: temporary file left";
  EXPECT_EQ(slurp(path), "[OLD]\r\n\r\n");
}

TEST(IniFile, FailedWriteLeavesTargetAndNoTemporaryFile) {
  TempDir dir;
  const std::string path = dir.file("big.ini");
  spit(path, "[OLD]\r\n\r\n");
  IniText ini = ini_new(false);
  ASSERT_EQ(ini_put_string(ini.get(), "S", "T", std::string(20000, 'x')), kIniOk);
  // A file size limit makes the write of the temporary file fail half-way.
  int status = in_child([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit lim{4096, 4096};
    if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) return kSkip;
    return ini_write_to_file(ini.get(), path.c_str()) == kIniErrWrite ? 0 : 1;
  });
  ASSERT_NE(status, kSkip);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(slurp(path), "[OLD]\r\n\r\n");
  EXPECT_EQ(dir.temp_files(), 0);
}

TEST(IniFile, CleanupRemovesOnlyTemporaryFilesOfDeadSaves) {
  TempDir dir;
  spit(dir.file("ini$$dead01.TMP"), "partial");
  spit(dir.file("ini$$live01.TMP"), "busy");
  spit(dir.file("other.TMP"), "not ours");
  spit(dir.file("ini$$.TMP"), "no unique part");
  int live = ::open(dir.file("ini$$live01.TMP").c_str(), O_RDONLY);
  ASSERT_GE(live, 0);
  ASSERT_EQ(::flock(live, LOCK_EX), 0);  // as a save in progress holds it
  EXPECT_EQ(ini_cleanup_temp_files(dir.path().c_str()), 1);
  ::close(live);
  std::vector<std::string> left = dir.entries();
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"ini$$.TMP", "ini$$live01.TMP", "other.TMP"}));
  EXPECT_LT(ini_cleanup_temp_files(dir.file("missing").c_str()), 0);
}

// A saving child killed at random moments: the target is always exactly the old
// or the new text, and leftover temporary files are cleaned by the next save.
TEST(IniFile, SaveKilledAtRandomMomentsLeavesOldOrNewFile) {
  TempDir dir;
  const std::string path = dir.file("profile.ini");
  IniText a = ini_new(false), b = ini_new(false);
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(ini_put_string(a.get(), "A", "T" + std::to_string(i), std::string(100, 'a')), kIniOk);
    ASSERT_EQ(ini_put_string(b.get(), "B", "T" + std::to_string(i), std::string(120, 'b')), kIniOk);
  }
  const std::string text_a = ini_to_text(a.get()), text_b = ini_to_text(b.get());
  ASSERT_EQ(ini_write_to_file(a.get(), path.c_str()), kIniOk);

  auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(ini_write_to_file(b.get(), path.c_str()), kIniOk);
  ASSERT_EQ(ini_write_to_file(a.get(), path.c_str()), kIniOk);
  auto save_us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count() / 2;

  std::mt19937 rng(99);
  std::uniform_int_distribution<long> delay_us(0, std::max<long>(3 * save_us, 200));
  // At least kRounds kills, and more until kInterrupted of them have landed
  // inside a save: how many do depends on the machine's timing.
  const int kRounds = 300, kInterrupted = 30, kMaxRounds = 3000;
  int interrupted = 0, seen_a = 0, seen_b = 0, rounds = 0;
  for (int round = 0; round < kMaxRounds && (round < kRounds || interrupted < kInterrupted); ++round) {
    ++rounds;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
      ::close(ready[0]);
      char go = 1;
      if (::write(ready[1], &go, 1) != 1) ::_exit(1);
      for (int n = 0;; ++n) ini_write_to_file((n % 2 ? a : b).get(), path.c_str());
    }
    ::close(ready[1]);
    char go = 0;
    ASSERT_EQ(::read(ready[0], &go, 1), 1);
    ::close(ready[0]);
    std::this_thread::sleep_for(std::chrono::microseconds(delay_us(rng)));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);

    const std::string now = slurp(path);
    ASSERT_TRUE(now == text_a || now == text_b) << "round " << round << ": target has " << now.size() << " bytes";
    (now == text_a ? seen_a : seen_b)++;
    if (dir.temp_files() > 0) ++interrupted;
    ASSERT_LE(dir.temp_files(), 1);
  }
  std::printf("kill test: %d rounds, %d killed inside a save (temporary file left), target old %d / new %d, "
              "one save %ld us\n",
              rounds, interrupted, seen_a, seen_b, static_cast<long>(save_us));
  // The kills must really land inside saves, or the test proves nothing.
  EXPECT_GE(interrupted, kInterrupted);
  EXPECT_GT(seen_a, 0);
  EXPECT_GT(seen_b, 0);

  // A failed save still cleans up what the killed ones left.
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  EXPECT_EQ(ini_write_to_file(a.get(), path.c_str()), kIniErrReadOnly);
  EXPECT_EQ(dir.temp_files(), 0);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"profile.ini"});
}

}  // namespace
