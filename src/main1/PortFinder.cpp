#include "main1/PortFinder.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QFile>
#include <QMenu>
#include <QStringList>
#include <QToolButton>
#include <algorithm>

#include "ports/PortName.h"

namespace {

QString qs(const std::string& text) {
    return QFile::decodeName(text.c_str());
}

// The box layout, among `layout` and those nested in it, that holds `widget` directly.
QBoxLayout* layoutHolding(QLayout* layout, QWidget* widget) {
    if (!layout) return nullptr;
    if (layout->indexOf(widget) >= 0) return qobject_cast<QBoxLayout*>(layout);
    for (int i = 0; i < layout->count(); ++i)
        if (QBoxLayout* found = layoutHolding(layout->itemAt(i)->layout(), widget)) return found;
    return nullptr;
}

QString answeredText(const kvclient::FindResult& r) {
    QString text = qs(r.port);
    if (!r.station.empty()) text += QStringLiteral(" (station %1)").arg(qs(r.station));
    if (!r.description.empty()) text += QStringLiteral(", ") + qs(r.description);
    return text;
}

}  // namespace

PortFinder::PortFinder(QComboBox* portList, OpenPort openPort, Status status, QObject* parent)
    : QObject(parent),
      list_(portList),
      button_(new QToolButton(portList->parentWidget())),
      openPort_(std::move(openPort)),
      status_(std::move(status)),
      listing_([] { return kvports::listSerialPorts(); }),
      timeout_(kvclient::Client::kDefaultTimeout) {
    // A tool button: as narrow as its word, so that the port row keeps the window's width.
    button_->setObjectName(QStringLiteral("FindButton"));
    button_->setText(QStringLiteral("Find"));
    button_->setToolTip(
        QStringLiteral("Send the communication test to every serial port present and select "
                       "the one a collector answers on"));
    if (QBoxLayout* layout = layoutHolding(portList->parentWidget()->layout(), portList)) {
        layout->insertWidget(layout->indexOf(portList) + 1, button_);
        // The list and the button together ask for no more room than the list did alone,
        // so that the window keeps its width.
        const int taken = button_->sizeHint().width() + std::max(layout->spacing(), 0);
        portList->setMinimumWidth(std::max(60, portList->minimumWidth() - taken));
    }
    connect(button_, &QToolButton::clicked, this, [this] { find(); });
}

PortFinder::~PortFinder() {
    if (worker_.joinable()) worker_.join();
}

void PortFinder::find() {
    if (worker_.joinable()) return;
    const kvports::PortListing present = listing_();
    // The open port by the device it is (a usb-serial name stands for one of those present).
    const std::string open =
        kvports::resolvePortName(QFile::encodeName(openPort_()).toStdString(), present).path;
    const std::vector<std::string> ports = kvclient::portsToFind(present, {}, open);
    if (ports.empty()) {
        status_(QStringLiteral("Find: no serial port to try (none present but the open one)."));
        emit finished();
        return;
    }
    button_->setEnabled(false);
    status_(QStringLiteral("Find: trying %1 ports...").arg(ports.size()));
    worker_ = std::thread([this, ports, present, timeout = timeout_] {
        std::vector<kvclient::FindResult> results =
            kvclient::findCollectors(ports, present, timeout);
        QMetaObject::invokeMethod(
            this, [this, results = std::move(results)]() mutable { done(std::move(results)); },
            Qt::QueuedConnection);
    });
}

void PortFinder::done(std::vector<kvclient::FindResult> results) {
    worker_.join();
    button_->setEnabled(true);
    results_ = std::move(results);
    std::vector<const kvclient::FindResult*> answered;
    QStringList others;
    for (const kvclient::FindResult& r : results_) {
        if (r.state == kvclient::FindState::Answered)
            answered.push_back(&r);
        else
            others << QStringLiteral("%1 %2").arg(
                qs(r.port), QString::fromLatin1(kvclient::findStateWords(r.state)));
    }
    const QString rest =
        others.isEmpty() ? QString() : QStringLiteral(" Not: %1.").arg(others.join(", "));
    if (answered.empty()) {
        status_(QStringLiteral("Find: no collector answered.") + rest);
    } else if (answered.size() == 1) {
        select(qs(answered.front()->port));
        status_(QStringLiteral("Find: a collector answered on %1; it is selected.")
                    .arg(answeredText(*answered.front())) +
                rest);
    } else {
        QStringList names;
        auto* menu = new QMenu(button_);
        menu->setObjectName(QStringLiteral("FindMenu"));
        menu->setAttribute(Qt::WA_DeleteOnClose);
        for (const kvclient::FindResult* r : answered) {
            names << answeredText(*r);
            const QString port = qs(r->port);
            menu->addAction(answeredText(*r), this, [this, port] { select(port); });
        }
        status_(QStringLiteral("Find: collectors answered on %1; pick one.")
                    .arg(names.join(QStringLiteral("; "))) +
                rest);
        menu->popup(button_->mapToGlobal(QPoint(0, button_->height())));
    }
    emit finished();
}

void PortFinder::select(const QString& port) {
    const int index = list_->findText(port, Qt::MatchExactly);
    if (index >= 0)
        list_->setCurrentIndex(index);
    else
        list_->setEditText(port);
}
