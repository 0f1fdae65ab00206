// The simulated collector on a pseudo-terminal, run by its own thread.
//
// start() opens the pseudo-terminal and starts the thread; the tool opens slavePath() as its
// serial port. The thread waits in poll() for bytes from the tool or for its wake-up
// descriptor (stop and line commands), feeds what it reads to the Device and writes the
// answers back paced like a real line (10 bits a byte at the chosen baud rate), optionally
// late, in chunks with gaps, with noise, or not at all. An idle collector costs no CPU.
//
// It may also play another collector (the answer to set frames, the listing without the
// counter bases, words whose values it keeps: see DeviceOptions in Device.h), and put an
// echoing half-duplex RS-485 converter in front of it: every byte the tool sends comes
// straight back, paced like the line but not late, not in chunks and without noise, ahead of
// every answer still waiting (an answer piece already going out is finished first).
//
// Threads: every public function may be called from any thread; the Device is reached only
// under the collector's mutex. stop() (also run by the destructor) joins the thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "sim/Device.h"
#include "sim/DeviceState.h"

namespace kvsim {

struct CollectorOptions {
    int baud = 9600;                    // output pacing: 10 bits a byte (8N1)
    Millis answerDelay{0};              // from the frame's last byte to the answer's first
    std::size_t chunkSize = 0;          // > 0: answers go out in chunks of this many bytes ...
    Millis chunkGap{0};                 // ... with this much silence between them
    bool silent = false;                // read everything, answer nothing
    bool garbage = false;               // a few noise bytes before every answer
    std::optional<Millis> dropAfter;    // hang the line up this long after start()
    std::optional<Millis> reopenAfter;  // after a hang-up, open a new line this much later
    // When set, a symbolic link at this path always points at the current slave side, so
    // the port keeps its name across a hang-up and reopen. Removed by stop().
    std::string linkPath;
    SetAnswer setAnswer = SetAnswer::Ok;           // how set frames are answered
    bool plainListing = false;                     // the listing without the counter bases
    std::set<std::string, std::less<>> keptWords;  // set words acknowledged but not taken
    bool echo = false;                             // every byte sent comes straight back
};

class Collector {
public:
    explicit Collector(CollectorOptions options = {});
    ~Collector();
    Collector(const Collector&) = delete;
    Collector& operator=(const Collector&) = delete;

    // Opens the line and starts the thread. Throws std::system_error.
    void start();
    void stop();

    // The port to open: the link path when one was given, otherwise the slave device.
    std::string slavePath() const;
    std::string deviceSlavePath() const;  // the slave device itself (/dev/pts/N)

    DeviceState state() const;
    std::uint64_t framesHandled() const;

    // Hang the line up now / open a fresh one now (the link, if any, follows it). Each waits
    // (bounded) until the thread has done it; false when it did not happen in time.
    bool dropLine();
    bool reopenLine();
    bool lineOpen() const;
    // How many lines have been opened so far: 1 after start(), one more per reopen.
    std::uint64_t linesOpened() const;
    // Waits (bounded) until linesOpened() reaches `count`.
    bool waitForLines(std::uint64_t count, Millis timeout) const;

    // Waits (bounded) until the thread has handled at least `count` frames in total.
    bool waitForFrames(std::uint64_t count, Millis timeout) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kvsim
