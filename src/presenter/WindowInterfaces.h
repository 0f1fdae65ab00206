// The few operations the protocol needs from the main window. The window implements them
// over its widgets and timers; tests implement them with fakes. All calls happen on the
// window's (main) thread.
//
// Text crosses these interfaces as byte strings: one char per byte, Latin-1 (the window
// turns a character that has no Latin-1 byte into '?').
#pragma once

#include <string>
#include <string_view>

namespace kvpresenter {

// Controls are addressed by the names they carry in the window ("AD1H", "MR485BT", ...).
class Controls {
public:
    virtual ~Controls() = default;
    virtual std::string text(std::string_view control) const = 0;
    virtual void setText(std::string_view control, std::string_view text) = 0;
    // Drop-down lists: zero-based selected item, -1 when nothing is selected.
    virtual int itemIndex(std::string_view control) const = 0;
    // An index outside the list's items leaves the list with no selection.
    virtual void setItemIndex(std::string_view control, int index) = 0;
    virtual void setEnabled(std::string_view control, bool enabled) = 0;
    // Memo: empty it.
    virtual void clear(std::string_view memo) = 0;
};

// A one-shot style timer with classic semantics: enabling a timer that is already enabled
// changes nothing (its period is not restarted); setting the interval of an enabled timer
// restarts its period.
class Timer {
public:
    virtual ~Timer() = default;
    virtual bool enabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual int interval() const = 0;  // ms
    virtual void setInterval(int ms) = 0;
};

class UserMessages {
public:
    virtual ~UserMessages() = default;
    // Modal message box (conversion errors, time-outs).
    virtual void showMessage(std::string_view text) = 0;
    // Non-modal status line (e.g. a frame that could not be sent). An empty text clears it.
    virtual void showStatus(std::string_view text) = 0;
};

// Status text for a frame that the serial port refused because it is not open.
inline constexpr std::string_view kNotSentStatus = "Not sent: the serial port is not open.";

class SerialWrite {
public:
    virtual ~SerialWrite() = default;
    // Hands the frame's bytes to the port. False when the port refused them (not open, or
    // its line stopped working).
    virtual bool write(std::string_view bytes) = 0;
    // The status text after a refused write: why the frame was not sent.
    virtual std::string notSentReason() const { return std::string(kNotSentStatus); }
};

}  // namespace kvpresenter
