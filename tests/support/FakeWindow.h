// Fakes of the window interfaces for protocol tests. FakeControls models the kinds of
// control the protocol touches (edit, memo, drop-down list, button); a name that the
// window does not have fails the test. Timers never run by themselves: a test fires them.
// Every change the session makes is appended to one event log, so tests can check the
// order of the steps of a request.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "presenter/DeviceSession.h"
#include "presenter/ProfileSession.h"
#include "presenter/WindowInterfaces.h"

namespace kvtest {

using EventLog = std::vector<std::string>;

class FakeControls : public kvpresenter::Controls {
public:
    enum class Kind { Edit, Memo, List, Button };

    explicit FakeControls(EventLog* log) : log_(log) {}

    void addEdit(std::string name, std::string text = {}) {
        controls_[std::move(name)] = {Kind::Edit, std::move(text), {}, -1, true};
    }
    void addMemo(std::string name) { controls_[std::move(name)] = {Kind::Memo, {}, {}, -1, true}; }
    void addButton(std::string name, std::string caption) {
        controls_[std::move(name)] = {Kind::Button, std::move(caption), {}, -1, true};
    }
    // A list shows its selected item's text; with no selection it shows `text`.
    void addList(std::string name, std::vector<std::string> items, int index,
                 std::string text = {}) {
        Control c{Kind::List, std::move(text), std::move(items), -1, true};
        if (index >= 0) {
            c.index = index;
            c.text = c.items.at(static_cast<std::size_t>(index));
        }
        controls_[std::move(name)] = std::move(c);
    }

    bool has(std::string_view name) const { return controls_.count(std::string(name)) != 0; }
    bool isEnabled(std::string_view name) const { return find(name).enabled; }
    int itemCount(std::string_view name) const { return static_cast<int>(find(name).items.size()); }

    // Calls f(name, kind, text, items) for every control: the GUI suites check this list
    // against the real form.
    template <class F>
    void forEachControl(F f) const {
        for (const auto& [name, c] : controls_) f(name, c.kind, c.text, c.items);
    }

    // Every control's text and item index, for comparing before and after.
    std::map<std::string, std::pair<std::string, int>> snapshot() const {
        std::map<std::string, std::pair<std::string, int>> all;
        for (const auto& [name, c] : controls_) all[name] = {c.text, c.index};
        return all;
    }

    std::string text(std::string_view control) const override { return find(control).text; }
    void setText(std::string_view control, std::string_view text) override {
        find(control).text = text;
        log(std::string(control) + ":=" + std::string(text));
    }
    int itemIndex(std::string_view control) const override {
        const Control& c = find(control);
        EXPECT_EQ(c.kind, Kind::List) << control << " is not a drop-down list";
        return c.index;
    }
    void setItemIndex(std::string_view control, int index) override {
        Control& c = find(control);
        EXPECT_EQ(c.kind, Kind::List) << control << " is not a drop-down list";
        if (index >= 0 && index < static_cast<int>(c.items.size())) {
            c.index = index;
            c.text = c.items[static_cast<std::size_t>(index)];
        } else {
            c.index = -1;
            c.text.clear();
        }
        log(std::string(control) + ".index:=" + std::to_string(index));
    }
    void setEnabled(std::string_view control, bool enabled) override {
        find(control).enabled = enabled;
        log(std::string(control) + (enabled ? ".enabled" : ".disabled"));
    }
    void clear(std::string_view memo) override {
        Control& c = find(memo);
        EXPECT_EQ(c.kind, Kind::Memo) << memo << " is not a memo";
        c.text.clear();
        log("clear " + std::string(memo));
    }

private:
    struct Control {
        Kind kind = Kind::Edit;
        std::string text;
        std::vector<std::string> items;
        int index = -1;
        bool enabled = true;
    };

    Control& find(std::string_view name) {
        return const_cast<Control&>(std::as_const(*this).find(name));
    }
    const Control& find(std::string_view name) const {
        auto it = controls_.find(std::string(name));
        if (it == controls_.end()) {
            ADD_FAILURE() << "the window has no control named '" << name << "'";
            static Control scratch;
            scratch = {};
            return scratch;
        }
        return it->second;
    }
    void log(std::string event) {
        if (log_ != nullptr) log_->push_back(std::move(event));
    }

    EventLog* log_;
    std::map<std::string, Control, std::less<>> controls_;
};

// A timer with the window's semantics: enabling an enabled timer keeps its period; a new
// interval on an enabled timer restarts it. `periodStarts` counts how often a period began.
class FakeTimer : public kvpresenter::Timer {
public:
    FakeTimer(std::string name, int interval, bool enabled, EventLog* log)
        : name_(std::move(name)), interval_(interval), enabled_(enabled), log_(log) {}

    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override {
        if (enabled && !enabled_) startPeriod();
        enabled_ = enabled;
        if (log_ != nullptr) log_->push_back(name_ + (enabled ? ".enabled" : ".disabled"));
    }
    int interval() const override { return interval_; }
    void setInterval(int ms) override {
        const bool restarts = enabled_ && ms != interval_;
        interval_ = ms;
        if (restarts) startPeriod();
        if (log_ != nullptr) log_->push_back(name_ + ".interval:=" + std::to_string(ms));
    }

    // The period ran out: calls the tick handler if the timer is enabled. Returns whether
    // it ticked.
    bool fire() {
        if (!enabled_) return false;
        if (onTick) onTick();
        return true;
    }

    // Whether the period has run out by the clock `now` (set `now` to have it counted).
    bool due() const { return enabled_ && now && now() >= due_; }

    std::function<void()> onTick;
    std::function<std::chrono::milliseconds()> now;
    int periodStarts = 0;

private:
    void startPeriod() {
        ++periodStarts;
        if (now) due_ = now() + std::chrono::milliseconds(interval_);
    }
    std::chrono::milliseconds due_{};
    std::string name_;
    int interval_;
    bool enabled_;
    EventLog* log_;
};

class FakeMessages : public kvpresenter::UserMessages {
public:
    explicit FakeMessages(EventLog* log) : log_(log) {}
    void showMessage(std::string_view text) override {
        boxes.emplace_back(text);
        if (log_ != nullptr) log_->push_back("message " + std::string(text));
    }
    void showStatus(std::string_view text) override {
        status = text;
        if (log_ != nullptr) log_->push_back("status " + std::string(text));
    }
    std::vector<std::string> boxes;
    std::string status;

private:
    EventLog* log_;
};

class FakeSerial : public kvpresenter::SerialWrite {
public:
    explicit FakeSerial(EventLog* log) : log_(log) {}
    bool write(std::string_view bytes) override {
        if (log_ != nullptr) log_->push_back("write " + std::string(bytes));
        if (!open) return false;
        written.emplace_back(bytes);
        return true;
    }
    bool open = true;
    std::vector<std::string> written;  // frames the port took

private:
    EventLog* log_;
};

// A clock that moves only when a test advances it.
class FakeClock : public kvops::Clock {
public:
    std::chrono::milliseconds now() const override { return now_; }
    void advance(int ms) { now_ += std::chrono::milliseconds(ms); }

private:
    std::chrono::milliseconds now_{100'000};
};

// Fills `controls` with the main window's controls at their start values.
inline void fillStartValues(FakeControls& controls) {
    for (const char* name :
         {"AD1LD", "AD2LD", "AD3LD", "AD4LD", "AD1L", "AD2L", "AD3L", "AD4L", "AD1H", "AD2H",
          "AD3H", "AD4H", "AD1XISHU", "AD2XISHU", "AD3XISHU", "AD4XISHU", "PUSET1", "PUSET2"}) {
        controls.addEdit(name);
    }
    controls.addEdit("Edit3", "5");
    controls.addEdit("Station", "000");
    controls.addEdit("PUSET3", "0000000");
    controls.addEdit("PUSET1XIAO", "000");
    controls.addEdit("Edit2", "001");
    controls.addEdit("Edit1", "0.000");
    controls.addEdit("discomm");
    controls.addMemo("Memo8");

    std::vector<std::string> ports;
    for (int i = 1; i <= 19; ++i) ports.push_back("COM" + std::to_string(i));
    controls.addList("SPREALCOM", ports, 2);
    const std::vector<std::string> inputModes{"Digital Input Acquisition", "Pulse Counting"};
    controls.addList("DIN1", inputModes, 0);
    controls.addList("DIN2", inputModes, 0);
    controls.addList(
        "PUDLING",
        {"100 pulses per ton of water", "10 pulses per ton of water", "1 pulses per ton of water",
         "1 pulse for 10 tons of water", "1 pulse for 100 tons of water", "", ""},
        0);
    controls.addList("MR485BT",
                     {"1200", "2400", "4800", "9600", "19200", "1200(DY)", "2400(DY)", "4800(DY)",
                      "9600(DY)", "19200(DY)"},
                     3);
    controls.addList("MR485JN", {"None", "Odd", "Even"}, 0);
    controls.addList("ComboBox1", {"1", "0.1", "0.01", "0.001"}, 0);
    controls.addList("BRS485NX", {"0_Close", "1_NET", "2_RS485"}, -1, "0_Close");

    controls.addButton("Button10", "Open");
    controls.addButton("Button14", "Communication Test");
    controls.addButton("Button32", "Read Parameters");
    controls.addButton("Button19", "Parameter Initialization");
    controls.addButton("Button124", "Data Query");
    controls.addButton("Button58", "Clear Buffer");
    for (const char* name :
         {"AD1SET",   "AD2SET",   "Button1",   "Button2",  "Button85",  "Button86",
          "Button9",  "Button11", "Button46",  "Button47", "Button15",  "Button8",
          "Button52", "Button53", "Button188", "Button4",  "PButton52", "Button3",
          "Button7",  "Button6",  "Button5",   "Button12"}) {
        controls.addButton(name, "Set");
    }
}

// The window at its start values with a session wired to it: Timer3 disabled at 1000 ms,
// Timer6 enabled at 200 ms, the port open. Firing a timer runs the session's handler.
struct SessionRig {
    SessionRig() {
        fillStartValues(controls);
        timer3.onTick = [this] { session.timer3Timer(); };
        timer6.onTick = [this] { session.timer6Timer(); };
    }
    void receive(std::string_view block) {
        session.receiveData(reinterpret_cast<const std::uint8_t*>(block.data()), block.size());
    }
    // The events logged since the last call.
    EventLog takeLog() { return std::exchange(log, {}); }

    EventLog log;
    FakeControls controls{&log};
    FakeTimer timer3{"Timer3", 1000, false, &log};
    FakeTimer timer6{"Timer6", 200, true, &log};
    FakeMessages messages{&log};
    FakeSerial serial{&log};
    FakeClock clock;
    kvpresenter::DeviceSession session{controls, timer3, timer6, messages, serial, clock};
};

// The Profile group's view: what it shows, kept for the test.
class FakeProfileView : public kvpresenter::ProfileView {
public:
    explicit FakeProfileView(const FakeMessages& messages) : messages_(messages) {}
    kvproto::Include include() const override { return included; }
    std::string portName() const override { return "/dev/ttyTEST"; }
    void note(std::string_view text) override { status = text, problemShown = false; }
    void problem(std::string_view text) override { status = text, problemShown = true; }
    std::string shown() const override { return status; }
    // The window's status line holds the exchange's reason.
    std::string notSentReason() const override { return messages_.status; }
    void setWriteAllCaption(std::string_view text) override { caption = text; }
    bool highlight(std::string_view control, bool on) override {
        if (on)
            highlighted.emplace_back(control);
        else
            std::erase(highlighted, std::string(control));
        return true;
    }
    void reportAnswer(std::string_view text) override { answers.emplace_back(text); }
    std::string saveReport(const std::string& path, const kvpresenter::VerifiedRow& row) override {
        reports.emplace_back(path, row);
        return reportError;
    }

    kvproto::Include included{false, false};
    std::string status;
    bool problemShown = false;
    std::string caption = "Write All";
    std::vector<std::string> highlighted;
    std::vector<std::string> answers;
    std::vector<std::pair<std::string, kvpresenter::VerifiedRow>> reports;
    std::string reportError;

private:
    const FakeMessages& messages_;
};

// A session rig with the Profile group over it and the engine's clock timer: every timer
// counts its periods on the fake clock, so run() can play the event loop.
struct ProfileRig : SessionRig {
    ProfileRig() {
        for (FakeTimer* timer : {&timer3, &timer6, &clockTimer})
            timer->now = [this] { return clock.now(); };
        clockTimer.onTick = [this] { session.clockTick(); };
        session.setClockTimer(&clockTimer);
        timer6.fire();  // the start-up tick
        takeLog();
    }
    // `ms` milliseconds of the event loop: each frame written is answered by `answer` (its
    // reply, empty for none) 1 ms later, and timers whose period ran out fire.
    template <class Answer>
    void run(int ms, Answer answer) {
        for (int i = 0; i < ms; ++i) {
            clock.advance(1);
            while (answered < serial.written.size()) {
                const std::string reply = answer(serial.written[answered++]);
                if (!reply.empty()) receive(reply);
            }
            for (FakeTimer* timer : {&clockTimer, &timer6, &timer3})
                if (timer->due()) timer->fire();
        }
    }

    FakeTimer clockTimer{"Clock", 0, false, nullptr};
    FakeProfileView view{messages};
    kvpresenter::ProfileSession profile{controls, session, messages, view};
    std::size_t answered = 0;  // frames written that run() has answered
};

}  // namespace kvtest
