#include "SPComm/TWorkerPort.h"

#include <optional>
#include <system_error>
#include <utility>

namespace spcomm::detail {

void TTransmitWorker::Run() {
    if (Begin()) {
        while (Turn()) {
        }
    } else {
        link_.RequestHangup();
    }
    End();
    queue_.Close();  // a worker that has ended takes no more blocks: Write() refuses
}

bool TTransmitWorker::Turn() {
    bool reportEmpty = true;
    std::optional<TTransmitBlock> block;
    while (!(block = queue_.Pop())) {
        if (reportEmpty && !link_.PostValue(PWM_SENDDATAEMPTY)) return false;
        switch (WaitForBlock()) {
            case TWake::Closed:
                return false;
            case TWake::Failed:
                link_.RequestHangup();
                return false;
            case TWake::Queued:
                break;
        }
        reportEmpty = false;
    }
    if (Closing()) return false;
    return WriteBlock(block->data.get(), block->length);
}

bool TDeviceTransmitWorker::WriteBlock(const std::uint8_t* data, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        std::size_t n = 0;
        switch (WriteSome(data + done, length - done, n)) {
            case TWritten::Some:
                done += n;
                break;
            case TWritten::Closed:
                return false;
            case TWritten::Failed:
                if (!Closing()) link_.RequestHangup();
                return false;
        }
    }
    return true;
}

void TWorkerPort::Start(std::shared_ptr<TWorkerLink> link) {
    if (!CreateEvents()) {
        throw ECommsError::FromSystem("Unable to create event", TCommErrorKind::Other,
                                      kvsys::lastSystemError());
    }
    link_ = std::move(link);
    queue_ = std::make_unique<TTransmitQueue>(link_->sendQueueEmpty());
    link_->SetRoomSignal([this] { SignalRoom(); });
    reader_ = MakeReader(*link_);
    try {
        reader_->Start();
    } catch (const std::system_error& e) {
        reader_.reset();
        link_->SetRoomSignal({});
        throw ECommsError("Unable to create read thread", TCommErrorKind::Other,
                          {kvsys::ErrorSource::Errno, e.code().value()}, e.code().message());
    }
    writer_ = MakeWriter(*link_, *queue_);
    try {
        writer_->Start();
    } catch (const std::system_error& e) {
        writer_.reset();
        StopReader();
        throw ECommsError("Unable to create write thread", TCommErrorKind::Other,
                          {kvsys::ErrorSource::Errno, e.code().value()}, e.code().message());
    }
}

bool TWorkerPort::Write(std::unique_ptr<std::uint8_t[]> block, std::uint16_t length) {
    if (!writer_ || !queue_->Push({std::move(block), length})) return false;
    WakeWriter();
    return true;
}

void TWorkerPort::StopWorkers() {
    StopReader();
    StopWriter();
}

void TWorkerPort::StopReader() {
    if (!reader_) return;
    SetCloseEvent();
    PurgeInput();
    reader_->Join();  // every wait of the worker watches the close event
    reader_.reset();
    link_->SetRoomSignal({});  // the room event goes with this port
}

void TWorkerPort::StopWriter() {
    if (!writer_) return;
    SetCloseEvent();
    PurgeOutput();
    queue_->Close();  // blocks not yet written are freed, the send-queue-empty flag set
    writer_->Join();
    writer_.reset();
}

}  // namespace spcomm::detail
