// The Find button beside the port list: sends the communication test to every serial port
// present at once (not the one the window holds open; a port another program holds is
// reported busy and left alone), then selects the port that answered in the list, or, when
// several did, lets the technician pick one from a menu under the button.
//
// The ports are tried on worker threads (kvclient::findCollectors); their results come back
// to the main thread as queued calls. While a search runs the button is disabled. Main thread
// only; the destructor waits for a search in progress (every try has its time-out).
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "client/Find.h"
#include "ports/SerialPorts.h"

class QComboBox;
class QToolButton;

class PortFinder : public QObject {
    Q_OBJECT
public:
    using Status = std::function<void(const QString& message)>;
    using OpenPort = std::function<QString()>;  // the port the window holds open, or empty
    using Listing = std::function<kvports::PortListing()>;

    // Puts the button "Find" into the port list's layout, right after the list.
    PortFinder(QComboBox* portList, OpenPort openPort, Status status, QObject* parent);
    ~PortFinder() override;

    QToolButton* button() const { return button_; }
    // Where the ports present come from (default: kvports::listSerialPorts()), and how long
    // each may take to answer (default: kvclient::Client::kDefaultTimeout).
    void setListing(Listing listing) { listing_ = std::move(listing); }
    void setTimeout(kvclient::Millis timeout) { timeout_ = timeout; }
    bool searching() const { return worker_.joinable(); }
    // The last search's results (in the order tried).
    const std::vector<kvclient::FindResult>& results() const { return results_; }

    void find();

signals:
    void finished();  // after the list was updated and the status line told

private:
    void done(std::vector<kvclient::FindResult> results);
    void select(const QString& port);

    QComboBox* list_;
    QToolButton* button_;
    OpenPort openPort_;
    Status status_;
    Listing listing_;
    kvclient::Millis timeout_;
    std::thread worker_;
    std::vector<kvclient::FindResult> results_;
};
