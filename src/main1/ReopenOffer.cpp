#include "main1/ReopenOffer.h"

#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <QStatusBar>

#include "SPComm/net/NetPortName.h"
#include "main1/PortWatcher.h"
#include "main1/adapters/StatusLine.h"
#include "ports/PortName.h"

namespace {

QString qs(const std::string& path) {
    return QFile::decodeName(path.c_str());
}

}  // namespace

ReopenOffer::ReopenOffer(QStatusBar* bar, StatusLine& status, PortWatcher& watcher, Reopen reopen,
                         QObject* parent)
    : QObject(parent),
      status_(status),
      watcher_(watcher),
      reopen_(std::move(reopen)),
      button_(new QPushButton(QStringLiteral("Reopen"), bar)),
      automatic_(new QCheckBox(QStringLiteral("Reopen automatically"), bar)) {
    button_->setObjectName(QStringLiteral("ReopenButton"));
    button_->setToolTip(QStringLiteral("Open the port again on the adapter that came back"));
    button_->hide();
    automatic_->setObjectName(QStringLiteral("ReopenAutomatically"));
    automatic_->setToolTip(
        QStringLiteral("When the adapter of a port that stopped working comes back, open it "
                       "again without asking"));
    bar->addPermanentWidget(button_);
    bar->addPermanentWidget(automatic_);
    connect(button_, &QPushButton::clicked, this, &ReopenOffer::reopenNow);
    connect(&watcher_, &PortWatcher::portsChanged, this, &ReopenOffer::look);
}

void ReopenOffer::portOpened(const QString& name) {
    watcher_.rescan();  // an adapter plugged in a moment ago may not have been looked at yet
    const PortEntry* entry = findPort(watcher_.ports(), name);
    openedName_ = name;
    opened_ = entry ? std::optional(entry->identity) : std::nullopt;
    network_ = spcomm::IsNetworkPortName(QFile::encodeName(name).toStdString());
    hungUp_ = seenGone_ = otherReported_ = false;
    withdrawOffer();
}

void ReopenOffer::portClosed() {
    if (hungUp_) return;  // closing a hung-up port is part of getting it back
    opened_.reset();
    withdrawOffer();
}

void ReopenOffer::hungUp() {
    if (network_ && !hungUp_) {
        // Whether the server is back cannot be seen without connecting: offer at once.
        hungUp_ = true;
        offered_ = openedName_;
        status_.problem(StatusLine::Source::Reopen,
                        QStringLiteral("The connection to %1 was closed (gateway stopped or "
                                       "network down). Press Reopen to connect again.")
                            .arg(openedName_));
        button_->show();
        return;
    }
    if (!opened_ || hungUp_) return;
    hungUp_ = true;
    watcher_.rescan();
    look();
}

void ReopenOffer::look() {
    if (!hungUp_ || !opened_) return;
    const PortEntry* back = nullptr;
    for (const PortEntry& entry : watcher_.ports())
        if (kvports::sameAdapter(entry.identity, *opened_)) back = &entry;
    if (!back) {
        seenGone_ = true;
        if (!offered_.isEmpty()) withdrawOffer();  // gone again before it was reopened
        const PortEntry* other = findPort(watcher_.ports(), openedName_);
        if (other && !otherReported_) {
            otherReported_ = true;
            status_.note(StatusLine::Source::Reopen,
                         QStringLiteral("A different adapter is now at %1; it is not reopened.")
                             .arg(openedName_));
        }
        return;
    }
    if (!seenGone_ || !offered_.isEmpty()) return;
    // A stable name the technician opened by (a by-id link, the adapter's usb-serial name)
    // stays the name; otherwise the port's new name.
    const std::string opened = QFile::encodeName(openedName_).toStdString();
    const bool stable = opened == back->identity.byIdPath || kvports::isUsbSerialName(opened);
    offered_ = stable ? openedName_ : qs(back->identity.path);
    if (automatic_->isChecked()) {
        status_.note(
            StatusLine::Source::Reopen,
            QStringLiteral("The adapter of %1 is back; reopening %2.").arg(openedName_, offered_));
        // After the handler that noticed it: reopening redraws the port list.
        QMetaObject::invokeMethod(this, &ReopenOffer::reopenNow, Qt::QueuedConnection);
        return;
    }
    // An offer waiting for the technician stands like a problem.
    status_.problem(
        StatusLine::Source::Reopen,
        QStringLiteral("The adapter of %1 is back as %2. Press Reopen to open it again.")
            .arg(openedName_, offered_));
    button_->show();
}

void ReopenOffer::reopenNow() {
    if (offered_.isEmpty()) return;
    const QString port = offered_;
    withdrawOffer();
    reopen_(port);
}

void ReopenOffer::withdrawOffer() {
    offered_.clear();
    button_->hide();
    status_.withdraw(StatusLine::Source::Reopen);
}
