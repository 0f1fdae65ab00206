// What both back ends share once a port is open: the transmit queue, and the order in which
// the two workers start and stop. A back end supplies the events, the workers and the purges.
#pragma once

#include <cstdint>
#include <memory>
#include <thread>

#include "SPComm/CommPort.h"
#include "SPComm/TTransmitQueue.h"
#include "SPComm/TWorkerLink.h"

namespace spcomm::detail {

// One worker thread of an open port, started once and joined by its port.
class TWorker {
public:
    virtual ~TWorker() = default;
    void Start() {  // std::system_error when the system has no thread to give
        thread_ = std::thread([this] { Run(); });
    }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }

protected:
    virtual void Run() = 0;

private:
    std::thread thread_;
};

// The transmit worker's loop: blocks in the order written, "queue empty" once at the start and
// once each time the queue runs dry after a write. A back end supplies the waits and writes.
class TTransmitWorker : public TWorker {
protected:
    TTransmitWorker(TWorkerLink& link, TTransmitQueue& queue) : link_(link), queue_(queue) {}
    enum class TWake { Closed, Queued, Failed };

    // Worker thread, before anything else; false (the worker ends) when it cannot run.
    virtual bool Begin() = 0;
    // Waits for the close event or a newly queued block.
    virtual TWake WaitForBlock() = 0;
    virtual bool Closing() = 0;
    // Writes the whole block; false (the worker ends) when the port is closing or failed.
    virtual bool WriteBlock(const std::uint8_t* data, std::size_t length) = 0;
    // Worker thread, last: purges the output and releases what Begin() made.
    virtual void End() = 0;

    TWorkerLink& link_;

private:
    void Run() final;
    bool Turn();  // one block; false when the worker ends

    TTransmitQueue& queue_;
};

// The transmit worker of a serial device (both systems' back ends): each block is written in
// as many writes as the port takes, and a write that fails is a hang-up unless the port is
// closing. A back end supplies one write.
class TDeviceTransmitWorker : public TTransmitWorker {
protected:
    using TTransmitWorker::TTransmitWorker;
    enum class TWritten { Some, Closed, Failed };

    // Writes some of the bytes, waiting for the port to take them (watching the close event):
    // Some with the count taken in `n` (0: nothing yet, asked again), Closed when the close
    // event was set, Failed when the port refused them.
    virtual TWritten WriteSome(const std::uint8_t* data, std::size_t length, std::size_t& n) = 0;

private:
    bool WriteBlock(const std::uint8_t* data, std::size_t length) final;
};

class TWorkerPort : public TCommPort {
public:
    // Creates the events, then starts the receive worker and the transmit worker.
    void Start(std::shared_ptr<TWorkerLink> link) final;
    bool Write(std::unique_ptr<std::uint8_t[]> block, std::uint16_t length) final;

protected:
    // Stops the receive worker, then the transmit worker. Each back end's destructor calls
    // it first, while the descriptor/handle and the events still exist.
    void StopWorkers();

private:
    // The close event, the transmit worker's wake-up and the receive worker's room event (set
    // by the channel's room signal). False with the system's error in kvsys::lastError().
    virtual bool CreateEvents() = 0;
    virtual std::unique_ptr<TWorker> MakeReader(TWorkerLink& link) = 0;
    virtual std::unique_ptr<TWorker> MakeWriter(TWorkerLink& link, TTransmitQueue& queue) = 0;
    virtual void SetCloseEvent() = 0;
    virtual void PurgeInput() = 0;
    virtual void PurgeOutput() = 0;
    virtual void WakeWriter() = 0;
    virtual void SignalRoom() = 0;  // owner's thread, from the channel's drain

    void StopReader();
    void StopWriter();

    std::shared_ptr<TWorkerLink> link_;
    std::unique_ptr<TTransmitQueue> queue_;
    std::unique_ptr<TWorker> reader_;
    std::unique_ptr<TWorker> writer_;
};

}  // namespace spcomm::detail
