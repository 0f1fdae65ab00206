// TPollEvent: an event that poll() can watch, for the close event and the other wake-ups of
// the POSIX back end. Set() makes its descriptor readable until Reset(); setting it again
// while set changes nothing. Set() may be called from any thread and never blocks.
//
// Two implementations, chosen in CMake: PollEventLinux.cpp (one eventfd) on Linux and
// PollEventPipe.cpp (a non-blocking self-pipe) on every other POSIX system (macOS, BSD).
// Both descriptors are close-on-exec.
#pragma once

namespace spcomm::detail {

class TPollEvent {
public:
    TPollEvent() = default;
    ~TPollEvent();
    TPollEvent(const TPollEvent&) = delete;
    TPollEvent& operator=(const TPollEvent&) = delete;

    // False when the system has no descriptor to give; the event is unusable then.
    bool Create();
    void Set() const;
    void Reset() const;
    // The descriptor to watch for POLLIN; -1 before Create().
    int fd() const { return readFd_; }

private:
    int readFd_ = -1;
    [[maybe_unused]] int writeFd_ = -1;  // the pipe's write end; unused with an eventfd
};

}  // namespace spcomm::detail
