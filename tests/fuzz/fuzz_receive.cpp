// libFuzzer target: arbitrary bytes as received blocks, interleaved with timer ticks, query
// and set buttons and edited fields, over the whole protocol session. The read-back runs
// whenever a block arrives under pending code 101; the whole input is also read back as
// one reply. Each op is chosen by one input byte; the bytes after it are its data.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "presenter/DeviceSession.h"
#include "presenter/WindowFrames.h"
#include "presenter/WindowInterfaces.h"
#include "protocol/Conversions.h"
#include "protocol/ReadBack.h"
#include "protocol/ReplyCollector.h"
#include "protocol/SetCommands.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

// Edits, memo and lists of the window; a name it does not have aborts.
class Controls : public kvpresenter::Controls {
public:
    Controls() {
        for (const char* edit :
             {"AD1LD",      "AD2LD",    "AD3LD",  "AD4LD",   "AD1L",  "AD2L",     "AD3L",
              "AD4L",       "AD1H",     "AD2H",   "AD3H",    "AD4H",  "AD1XISHU", "AD2XISHU",
              "AD3XISHU",   "AD4XISHU", "PUSET1", "PUSET2",  "Edit3", "Station",  "PUSET3",
              "PUSET1XIAO", "Edit2",    "Edit1",  "discomm", "Memo8"}) {
            texts_[edit] = "";
        }
        items_ = {{"DIN1", 2},    {"DIN2", 2},      {"PUDLING", 7}, {"MR485BT", 10},
                  {"MR485JN", 3}, {"ComboBox1", 4}, {"BRS485NX", 3}};
        for (const auto& [name, count] : items_) index_[name] = 0;
    }
    std::string text(std::string_view control) const override {
        auto it = texts_.find(control);
        check(it != texts_.end());
        return it->second;
    }
    void setText(std::string_view control, std::string_view text) override {
        auto it = texts_.find(control);
        check(it != texts_.end());
        it->second = text;
    }
    int itemIndex(std::string_view control) const override {
        auto it = index_.find(control);
        check(it != index_.end());
        return it->second;
    }
    void setItemIndex(std::string_view control, int index) override {
        auto it = index_.find(control);
        check(it != index_.end());
        it->second = index >= 0 && index < items_.find(control)->second ? index : -1;
    }
    void setEnabled(std::string_view, bool) override {}
    void clear(std::string_view memo) override {
        check(memo == "Memo8");
        texts_.find(memo)->second.clear();
    }

    std::map<std::string, std::string, std::less<>> texts_;
    std::map<std::string, int, std::less<>> items_;
    std::map<std::string, int, std::less<>> index_;
};

class Timer : public kvpresenter::Timer {
public:
    Timer(int interval, bool enabled) : interval_(interval), enabled_(enabled) {}
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override { enabled_ = enabled; }
    int interval() const override { return interval_; }
    void setInterval(int ms) override { interval_ = ms; }

private:
    int interval_;
    bool enabled_;
};

class Messages : public kvpresenter::UserMessages {
public:
    void showMessage(std::string_view text) override { last = text; }
    void showStatus(std::string_view) override {}
    std::string last;
};

class Serial : public kvpresenter::SerialWrite {
public:
    bool write(std::string_view bytes) override {
        check(!bytes.empty() && bytes.back() == '#');
        return open;
    }
    bool open = true;
};

class Clock : public kvops::Clock {
public:
    std::chrono::milliseconds now() const override { return now_; }
    void advance(int ms) { now_ += std::chrono::milliseconds(ms); }

private:
    std::chrono::milliseconds now_{0};
};

const char* const kEdits[] = {"Station", "Edit3", "PUSET1", "PUSET3", "Edit2", "AD1H", "Edit1"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    {
        Controls controls;
        try {
            kvpresenter::applyReadBack(input, controls);
        } catch (const kvproto::ConversionError& error) {
            check(error.offendingText().size() == 1);
        }
    }

    Controls controls;
    Timer timer3(1000, false);
    Timer timer6(200, true);
    Messages messages;
    Serial serial;
    Clock clock;
    kvpresenter::DeviceSession session(controls, timer3, timer6, messages, serial, clock);
    const auto commands = kvproto::setCommands();

    std::size_t pos = 0;
    const auto take = [&](std::size_t n) {
        n = std::min(n, size - pos);
        const std::string_view bytes = input.substr(pos, n);
        pos += n;
        return bytes;
    };
    const auto next = [&]() -> std::uint8_t { return pos < size ? data[pos++] : 0; };
    while (pos < size) {
        const std::uint8_t op = next();
        switch (op % 10) {
            case 0:
            case 1:
            case 2: {  // a received block; its length from the next byte (0 = to the end)
                const std::uint8_t arg = next();
                const std::string_view block = take(arg == 0 ? size : arg);
                const kvpresenter::PendingRequest codeBefore = session.pendingRequest();
                session.receiveData(reinterpret_cast<const std::uint8_t*>(block.data()),
                                    block.size());
                // The block joins the reply in progress or starts one; bounded either way.
                const std::string& reply = session.replyText();
                check(reply.size() <= kvproto::ReplyCollector::kMaxSize);
                check(block.size() > kvproto::ReplyCollector::kMaxSize
                          ? reply == block.substr(block.size() - reply.size())
                          : std::string_view(reply).ends_with(block));
                check(controls.text("Memo8") == reply);
                check(!timer3.enabled());
                check(session.timeoutKind() == kvpresenter::TimeoutKind::Silent);
                check(session.pendingRequest() ==
                      (codeBefore == kvpresenter::PendingRequest::ParameterReset
                           ? kvpresenter::PendingRequest::Idle
                           : codeBefore));
                break;
            }
            case 3:
                if (timer6.enabled()) {
                    const bool readBack =
                        session.pendingRequest() == kvpresenter::PendingRequest::ReadParameters;
                    messages.last.clear();
                    session.timer6Timer();
                    // Still waiting for a further piece: Timer6 comes back, the read stays.
                    if (timer6.enabled()) {
                        check(readBack && session.pendingRequest() ==
                                              kvpresenter::PendingRequest::ReadParameters);
                    } else if (readBack) {
                        // A read that ended shows no box; a box leaves the read pending.
                        if (session.pendingRequest() == kvpresenter::PendingRequest::Idle)
                            check(messages.last.empty());
                        if (!messages.last.empty())
                            check(session.pendingRequest() ==
                                  kvpresenter::PendingRequest::ReadParameters);
                    }
                }
                break;
            case 4:  // time passes: 0..2550 ms
                clock.advance(next() * 10);
                if (timer3.enabled()) session.timer3Timer();
                check(!timer3.enabled());
                break;
            case 5:
                session.readParametersClick();
                break;
            case 6: {
                const std::uint8_t arg = next();
                if (arg % 3 == 0) session.dataQueryClick();
                if (arg % 3 == 1) session.parameterInitializationClick();
                if (arg % 3 == 2) session.communicationTestClick();
                break;
            }
            case 7: {  // type into an edit: field from the next byte, text up to 12 bytes
                const std::uint8_t arg = next();
                const char* edit = kEdits[arg % std::size(kEdits)];
                controls.setText(edit, take(arg / std::size(kEdits) % 13));
                break;
            }
            case 8:
                check(session.setButtonClick(commands[next() % commands.size()].button));
                break;
            case 9:
                serial.open = !serial.open;
                break;
        }
    }
    return 0;
}
