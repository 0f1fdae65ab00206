// Files replaced whole or not at all: a profile, a saved traffic log, kv480t's --log file.
//
// ReplacingFile writes under a temporary name in the destination's folder ("NAME.tmp-XXXXXX")
// and, on commit(), flushes it to the disk and renames it over the destination. Until the
// rename, and whatever fails on the way (disk full, an I/O error, a folder that refuses the
// new file, a name too long for the temporary one), the old file stays as it was, byte for
// byte, and the temporary file is removed.
//
// POSIX: write, fsync, rename, fsync of the folder. A replaced file keeps its permission bits,
// and its owner and group where the process may give them; a new one gets 0666 less the
// umask. A destination that is a symbolic link has the file it points to replaced, the link
// stays. A destination that exists and is no regular file (a device such as /dev/null or a
// terminal, a named pipe) cannot be replaced: it is written directly.
// With Existing::AppendUnlessRegular (kv480t --log, a stream), a destination that exists and
// is not itself a plain regular file (a symbolic link such as /dev/stdout or /proc/self/fd/N,
// a named pipe, a terminal, a device) is opened as it is and appended to, nothing of it
// replaced; /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N are the process's own
// descriptor N, so the bytes land where its output goes, in order with it. Only a new file or
// a plain regular file is replaced as above.
// Windows: WriteFile, FlushFileBuffers, MoveFileEx with MOVEFILE_REPLACE_EXISTING |
// MOVEFILE_WRITE_THROUGH; the file in place has the attributes and security of a new file in
// that folder. A file marked read-only, or held open by another program, is not replaced.
//
// Every failure gives one message: "<path>: cannot be written (<the system's reason>)".
//
// write() hands the bytes to the system at once (no buffer in this process), so after a
// crash the temporary file holds everything written so far.
//
// One thread: an object belongs to the thread that uses it. No GUI toolkit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kvfiles {

class ReplacingFile {
public:
    // What becomes of a destination that exists and is not a plain regular file.
    enum class Existing {
        ReplaceTarget,        // a link's target replaced; a device or pipe written directly
        AppendUnlessRegular,  // anything but a plain regular file opened as it is, appended to
    };
    // Creates the temporary file; good() says whether that worked.
    explicit ReplacingFile(std::string path, Existing existing = Existing::ReplaceTarget);
    // Without a successful commit() the temporary file is removed: the old file stays.
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // False once anything has failed; error() says what.
    bool good() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    const std::string& path() const { return path_; }
    // Where the bytes go until commit() (the destination itself when it is written directly).
    const std::string& temporaryPath() const { return temporaryPath_; }

    // Appends the bytes. False (and nothing more is written) once a write has failed.
    bool write(std::string_view bytes);
    // Puts the file in place of the old one. False when this or anything before failed: then
    // the old file is unchanged and the temporary file is gone. Once only.
    bool commit();
    // Removes the temporary file; the old one stays. Done by the destructor too.
    void discard();

private:
    void fail(const std::string& reason);
    void open();
    void closeAndRemove();

    std::string path_;           // as given: named in messages
    std::string target_;         // the file replaced (the link's target for a symbolic link)
    std::string temporaryPath_;  // the temporary file, or target_ when written directly
    std::string error_;
    std::intptr_t handle_ = -1;  // descriptor (POSIX) or HANDLE (Windows); -1: none
    Existing existing_;
    bool direct_ = false;  // no regular file: written in place, nothing renamed
    bool done_ = false;    // committed or discarded
};

// The whole of `contents` as the file at `path`, through a ReplacingFile. "" when done, else
// the message.
std::string writeWholeFile(const std::string& path, std::string_view contents);

// "<path>: cannot be written (<reason>)".
std::string cannotWriteMessage(std::string_view path, std::string_view reason);

namespace detail {
// The temporary file's name for `target`: "<target>.tmp-" and six random letters and digits.
std::string temporaryName(const std::string& target);
}  // namespace detail

}  // namespace kvfiles
