// Ctrl+C and SIGTERM while kv480t walks a site, and the technician's answers on stdin.
//
// While a StopOnInterrupt lives, SIGINT and SIGTERM (on Windows: Ctrl+C, Ctrl+Break and
// closing the console) no longer end the program: they set the stop flag, which the walk
// watches (the rows in progress finish and are recorded, no new row starts), and give up an
// answer being waited for on stdin at once. The handler only sets a lock-free atomic flag and
// writes one byte to a pipe (POSIX): async-signal-safe.
#pragma once

#include <atomic>
#include <string>

namespace kvcli {

class StopOnInterrupt {
public:
    StopOnInterrupt();   // installs the handlers (one instance at a time)
    ~StopOnInterrupt();  // puts the earlier handlers back
    StopOnInterrupt(const StopOnInterrupt&) = delete;
    StopOnInterrupt& operator=(const StopOnInterrupt&) = delete;

    const std::atomic<bool>& flag() const;
    // Sets the flag as a signal would (a failed report, say).
    void stop();
    // Whether it was a signal that set the flag.
    bool signalled() const;
};

enum class LineRead { Line, End, Stopped };
// One line from stdin without its line end (CR LF or LF): Line; End when stdin ends first;
// Stopped, at once, when the stop flag is set before a line is complete (the part read so
// far is kept for the next call). Needs a StopOnInterrupt alive.
LineRead readAnswerLine(std::string& line);

}  // namespace kvcli
