// POSIX: the temporary file is created exclusively next to the file it replaces, written,
// fsync'ed and renamed over it; the folder is fsync'ed after the rename so that the new name
// survives a power cut too.
//
// A file-size limit (ulimit -f) must not kill the program in the middle of a write and leave
// the temporary file behind: SIGXFSZ is ignored (for the process), so the write fails
// with EFBIG, is reported, and the temporary file is removed.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "files/ReplacingFile.h"
#include "system/SystemError.h"

namespace kvfiles {

namespace {

std::string reason(int error) {
    return kvsys::errnoText(error);
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void ignoreFileSizeSignal() {
    ::signal(SIGXFSZ, SIG_IGN);
}

// The process's own descriptor a name stands for: /dev/stdout, /dev/stderr, /dev/fd/N,
// /proc/self/fd/N; -1 for any other name.
int ownDescriptor(const std::string& path) {
    if (path == "/dev/stdout") return 1;
    if (path == "/dev/stderr") return 2;
    for (const std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        if (!path.starts_with(prefix) || path.size() == prefix.size() ||
            path.size() > prefix.size() + 6)
            continue;
        int fd = 0;
        for (const char c : path.substr(prefix.size())) {
            if (c < '0' || c > '9') return -1;
            fd = fd * 10 + (c - '0');
        }
        return fd;
    }
    return -1;
}

}  // namespace

void ReplacingFile::open() {
    ignoreFileSizeSignal();
    target_ = path_;
    struct stat st {};
    if (existing_ == Existing::AppendUnlessRegular && ::lstat(path_.c_str(), &st) == 0 &&
        !S_ISREG(st.st_mode)) {
        // A stream: appended to as it is, never replaced.
        direct_ = true;
        temporaryPath_ = target_;
        const int own = ownDescriptor(path_);
        const int fd = own >= 0 && ::fcntl(own, F_GETFD) >= 0
                           ? ::fcntl(own, F_DUPFD_CLOEXEC, 0)
                           : ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) return fail(reason(errno));
        handle_ = fd;
        return;
    }
    if (::lstat(path_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path_.c_str(), nullptr)) {
            target_ = real;
            ::free(real);
        }
    }
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        direct_ = true;
        temporaryPath_ = target_;
        const int fd = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) return fail(reason(errno));
        handle_ = fd;
        return;
    }
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporaryPath_ = detail::temporaryName(target_);
        fd = ::open(temporaryPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                    0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        const int error = errno;
        temporaryPath_.clear();  // not ours to remove
        return fail(reason(error));
    }
    handle_ = fd;
    if (exists) {
        // Owner and group first: changing them clears the set-id bits the mode then restores.
        // Only a privileged process may give the file to another owner; a file it cannot
        // give back becomes the writer's, which is no reason to fail.
        const bool ownerKept = ::fchown(fd, st.st_uid, st.st_gid) == 0 ||
                               ::fchown(fd, static_cast<uid_t>(-1), st.st_gid) == 0;
        static_cast<void>(ownerKept);
        if (::fchmod(fd, st.st_mode & 07777) != 0) return fail(reason(errno));
    }
}

bool ReplacingFile::write(std::string_view bytes) {
    if (!good() || done_) return false;
    const int fd = static_cast<int>(handle_);
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            fail(reason(n < 0 ? errno : EIO));
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool ReplacingFile::commit() {
    if (done_) return good();
    done_ = true;
    if (!good()) return false;
    const int fd = static_cast<int>(handle_);
    if (!direct_ && ::fsync(fd) != 0) {
        fail(reason(errno));
        return false;
    }
    handle_ = -1;
    if (::close(fd) != 0 && errno != EINTR) {
        fail(reason(errno));
        return false;
    }
    if (direct_) return true;
    if (::rename(temporaryPath_.c_str(), target_.c_str()) != 0) {
        fail(reason(errno));
        return false;
    }
    temporaryPath_.clear();
    const int folder = ::open(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);  // the file is in place either way; this only hastens the name
        ::close(folder);
    }
    return true;
}

void ReplacingFile::closeAndRemove() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
    if (!direct_ && !temporaryPath_.empty()) ::unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
}

}  // namespace kvfiles
