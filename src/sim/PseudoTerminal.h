// A pseudo-terminal pair in raw mode: the collector keeps the master side; the tool opens
// the slave side by its path as it would open a serial port.
#pragma once

#include <string>

namespace kvsim {

// Owns one file descriptor; closes it on destruction.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

class PseudoTerminal {
public:
    // Opens a new pair: master non-blocking, slave in raw mode at `baud`. The collector also
    // holds the slave open itself (without reading it), so that the master does not report
    // a hang-up while the tool has the port closed. Throws std::system_error.
    static PseudoTerminal open(int baud);

    int master() const { return master_.get(); }
    const std::string& slavePath() const { return slavePath_; }
    bool isOpen() const { return master_.valid(); }
    // Hangs the line up: the tool's reads of the slave then fail.
    void close();

private:
    FileDescriptor master_;
    FileDescriptor slave_;
    std::string slavePath_;
};

}  // namespace kvsim
