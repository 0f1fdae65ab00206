// spcomm::TDeliveryChannel into the Qt event loop of `context`'s thread.
//
// post() (any thread) appends the message to a mutex-protected queue; when no drain is
// scheduled yet it schedules one with a queued call on `context`. The drain runs on the
// context's thread and hands every queued message to the sink, oldest first, including
// messages posted while it runs. A sink that opens a nested event loop does not see later
// messages overtake the one it is handling.
//
// Lifetime: the queue lives in a state shared with the scheduled call, which holds it only
// weakly. Destroying the channel frees every pending message; a drain that was already
// scheduled finds nothing and does nothing. Messages are dropped while the sink is empty.
// The backlog counts the messages queued and not yet taken out by a drain (or dropped); the
// room signal runs on the context's thread, from the drain.
// The context must outlive the channel, and the channel must outlive every thread that posts.
#pragma once

#include <QObject>
#include <memory>

#include "SPComm/TComm.h"

class QtDeliveryChannel : public spcomm::TDeliveryChannel {
public:
    explicit QtDeliveryChannel(QObject* context);
    ~QtDeliveryChannel() override;
    QtDeliveryChannel(const QtDeliveryChannel&) = delete;
    QtDeliveryChannel& operator=(const QtDeliveryChannel&) = delete;

    bool post(spcomm::TCommMessage&& message) override;
    void setSink(Sink sink) override;
    std::size_t backlog() const override;
    void setRoomSignal(std::size_t lowWater, RoomSignal signal) override;

    struct State;

private:
    QObject* context_;
    std::shared_ptr<State> state_;
};
