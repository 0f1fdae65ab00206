#include "cli/TrafficLogFile.h"

namespace kvcli {

TrafficLogFile::TrafficLogFile(const std::string& path)
    : writer_(path), recorder_([this](kvtraffic::Row&& row) { writer_.write(row); }) {}

void TrafficLogFile::attach(kvclient::Client& client) {
    using kvclient::TrafficEvent;
    client.setTrafficObserver(
        [this](TrafficEvent event, std::string_view data, std::string_view detail) {
            switch (event) {
                case TrafficEvent::Opened:
                    recorder_.opened(data, detail);
                    break;
                case TrafficEvent::OpenFailed:
                    recorder_.openFailed(data, detail);
                    break;
                case TrafficEvent::Closed:
                    recorder_.closed();
                    break;
                case TrafficEvent::HungUp:
                    recorder_.hungUp();
                    break;
                case TrafficEvent::Sent:
                    recorder_.sent(data);
                    break;
                case TrafficEvent::NotSent:
                    recorder_.notSent(data, detail);
                    break;
                case TrafficEvent::Received:
                    recorder_.received(data);
                    break;
                case TrafficEvent::NoAnswer:
                    recorder_.noAnswer(detail);
                    break;
            }
        });
}

}  // namespace kvcli
