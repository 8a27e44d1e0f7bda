#include "platform/safe_file.h"

#include "platform/unique_fd.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace safe_file {

namespace {

Result failed(Status status, int error = errno) { return Result{status, error}; }

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct Pattern {
    std::string prefix, suffix;
    bool matches(std::string_view name) const {
        return name.size() > prefix.size() + suffix.size() && name.substr(0, prefix.size()) == prefix &&
            name.substr(name.size() - suffix.size()) == suffix;
    }
};

Pattern pattern_for(const TempName& temp, const std::string& target) {
    Pattern p{std::string(temp.prefix), std::string(temp.suffix)};
    if (p.prefix.empty())
        p.prefix = "." + name_of(target) + ".";
    if (p.suffix.empty())
        p.suffix = ".tmp";
    return p;
}

std::string random_tag() {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::mt19937_64 rng{std::random_device{}()};
    std::uint64_t r = rng() ^ (static_cast<std::uint64_t>(::getpid()) << 32);
    std::string out;
    for (int i = 0; i < 6; ++i) {
        out += kChars[r % (sizeof kChars - 1)];
        r /= sizeof kChars - 1;
    }
    return out;
}

bool write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The temporary file, locked while its save lives (so a cleanup knows its
// owner is alive) and removed again unless the save hands it to the target.
class TempFile {
public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (!path_.empty())
            ::unlink(path_.c_str());
    }

    Result create(const std::string& folder, const Pattern& p) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = folder + "/" + p.prefix + random_tag() + p.suffix;
            UniqueFd fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
            if (!fd) {
                if (errno == EEXIST || errno == EINTR)
                    continue;
                return failed(Status::Write);
            }
            while (::flock(fd.get(), LOCK_EX) != 0) {
                if (errno != EINTR) {
                    const int err = errno;
                    ::unlink(name.c_str());
                    return failed(Status::Write, err);
                }
            }
            // A cleanup may have removed the file before the lock was taken: start over.
            struct stat mine {
            }, named{};
            if (::fstat(fd.get(), &mine) != 0 || mine.st_nlink == 0 || ::lstat(name.c_str(), &named) != 0 ||
                named.st_ino != mine.st_ino || named.st_dev != mine.st_dev)
                continue;
            fd_ = std::move(fd);
            path_ = std::move(name);
            return {};
        }
        return failed(Status::Write, EEXIST);
    }
    int fd() const { return fd_.get(); }
    const std::string& path() const { return path_; }
    void committed() { path_.clear(); }

private:
    UniqueFd fd_;
    std::string path_;
};

Result check_target(const std::string& target, bool* exists, struct stat* st) {
    *exists = false;
    if (::stat(target.c_str(), st) != 0) {
        if (errno == ENOENT)
            return {};
        return failed(errno == EACCES ? Status::Open : Status::NotFound);
    }
    *exists = true;
    if (!S_ISREG(st->st_mode))
        return failed(Status::NotFile, 0);
    // No write bit at all marks the file read-only even for the superuser.
    if ((st->st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return failed(Status::ReadOnly, EACCES);
    if (::access(target.c_str(), W_OK) != 0)
        return failed(Status::ReadOnly);
    // access() does not see an immutable file or a read-only mount.
    UniqueFd probe(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!probe)
        return failed(Status::ReadOnly);
    return {};
}

} // namespace

std::string describe(const Result& result) {
    switch (result.status) {
    case Status::Ok:
        return "no error";
    case Status::Argument:
        return "no file name was given";
    case Status::NotFile:
        return "it is not a regular file";
    case Status::TooLarge:
        return "it is too large";
    case Status::NoMemory:
        return "there is not enough memory";
    case Status::ReadOnly:
        return "the file is read-only";
    default:
        return result.error != 0 ? std::strerror(result.error) : "it cannot be accessed";
    }
}

Result read(const std::string& path, std::size_t maxBytes, std::string& text) {
    text.clear();
    if (path.empty())
        return failed(Status::Argument, 0);
    // Non-blocking, so that a pipe or device given as the file cannot hang the reader.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd)
        return failed(errno == ENOENT || errno == ENOTDIR ? Status::NotFound : Status::Open);
    struct stat st { };
    if (::fstat(fd.get(), &st) != 0)
        return failed(Status::Read);
    if (!S_ISREG(st.st_mode))
        return failed(Status::NotFile, 0);
    if (static_cast<std::size_t>(st.st_size) > maxBytes)
        return failed(Status::TooLarge, EFBIG);
    try {
        text.reserve(static_cast<std::size_t>(st.st_size));
        char buf[65536];
        for (;;) {
            const ssize_t n = ::read(fd.get(), buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return failed(Status::Read);
            if (n == 0)
                return {};
            // The file may grow while it is read.
            if (text.size() + static_cast<std::size_t>(n) > maxBytes) {
                text.clear();
                return failed(Status::TooLarge, EFBIG);
            }
            text.append(buf, static_cast<std::size_t>(n));
        }
    } catch (const std::bad_alloc&) {
        text.clear();
        return failed(Status::NoMemory, ENOMEM);
    }
}

Result save(const std::string& path, std::string_view text, const TempName& temp) {
    if (path.empty())
        return failed(Status::Argument, 0);
    std::string target = path;
    // Replace the file a symbolic link points to, not the link itself.
    struct stat lst { };
    if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    const std::string folder = folder_of(target);
    const Pattern pattern = pattern_for(temp, target);
    cleanup(folder, temp, target);

    bool exists = false;
    struct stat st { };
    if (Result r = check_target(target, &exists, &st); !r.ok())
        return r;
    TempFile file;
    if (Result r = file.create(folder, pattern); !r.ok())
        return r;
    if (exists) {
        // The new file takes the place of the old one: keep its mode and, where allowed, its owner.
        if (::fchmod(file.fd(), st.st_mode & 07777) != 0)
            return failed(Status::Write);
        if (::geteuid() == 0)
            (void)!::fchown(file.fd(), st.st_uid, st.st_gid);
    }
    if (!write_all(file.fd(), text) || ::fsync(file.fd()) != 0)
        return failed(Status::Write);
    // rename() replaces the target in one step: no moment without a complete file.
    if (::rename(file.path().c_str(), target.c_str()) != 0)
        return failed(Status::Rename);
    file.committed();
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir)
        (void)::fsync(dir.get());
    return {};
}

int cleanup(const std::string& folder, const TempName& temp, const std::string& target) {
    const Pattern pattern = pattern_for(temp, target);
    UniqueFd dfd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dfd)
        return -1;
    const int dup_fd = ::dup(dfd.get());
    if (dup_fd < 0)
        return -1;
    DIR* dir = ::fdopendir(dup_fd);
    if (dir == nullptr) {
        ::close(dup_fd);
        return -1;
    }
    std::vector<std::string> candidates;
    while (const dirent* e = ::readdir(dir))
        if (pattern.matches(e->d_name))
            candidates.emplace_back(e->d_name);
    ::closedir(dir);

    int removed = 0;
    for (const std::string& name : candidates) {
        UniqueFd fd(::openat(dfd.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
        if (!fd)
            continue;
        struct stat mine {
        }, named{};
        if (::fstat(fd.get(), &mine) != 0 || !S_ISREG(mine.st_mode))
            continue;
        // A live save holds the lock; only a dead one's file can be taken.
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        if (::fstatat(dfd.get(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || named.st_ino != mine.st_ino ||
            named.st_dev != mine.st_dev)
            continue;
        if (::unlinkat(dfd.get(), name.c_str(), 0) == 0)
            ++removed;
    }
    return removed;
}

} // namespace safe_file
