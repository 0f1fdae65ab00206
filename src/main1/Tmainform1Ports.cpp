// The window's port watching and remembered settings: the port list follows adapters being
// plugged in and pulled, a hung-up port is offered for reopening when its adapter comes back,
// the Find button looks for collectors, and the last port, the last network ports, "Reopen
// automatically", the profile folder and the window's position are kept between runs; and the
// collector's history, whose choice of file is remembered too.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QWindow>

#include "SPComm/net/NetPortName.h"
#include "main1/PortFinder.h"
#include "main1/PortWatcher.h"
#include "main1/ProfilePanel.h"
#include "main1/RememberedSettings.h"
#include "main1/ReopenOffer.h"
#include "main1/Tmainform1.h"
#include "main1/adapters/PortEnumeration.h"
#include "main1/adapters/QtControls.h"
#include "main1/adapters/StatusLine.h"
#include "main1/hotplug/PortChangeNotifier.h"
#include "ui_Tmainform1.h"

void Tmainform1::setUpPortsAndSettings() {
    settings_ = std::make_unique<RememberedSettings>();

    portWatcher_ =
        new PortWatcher(std::make_unique<SystemPortEnumeration>(), makePortChangeNotifier(), this);
    portWatcher_->setObjectName(QStringLiteral("PortWatcher"));
    ui->SPREALCOM->setPortSource([watcher = portWatcher_] {
        watcher->rescan();
        return listItems(watcher->ports());
    });
    connect(portWatcher_, &PortWatcher::portsChanged, this,
            [this] { ui->SPREALCOM->refresh(listItems(portWatcher_->ports())); });

    reopenOffer_ = new ReopenOffer(
        statusBar(), *status_, *portWatcher_, [this](const QString& port) { reopenPort(port); },
        this);
    // Runs after Button10Click, which connectHandlers() connected first. An open that the
    // click started tells it once it is done (openFinished).
    connect(ui->Button10, &QPushButton::clicked, this, &Tmainform1::portPanelChanged);
    // After the window's own word on the hang-up (the constructor listens first).
    line_->tap().listen([this](const kvops::LineEvent& event) {
        if (event.kind == kvops::LineEvent::Kind::HungUp) reopenOffer_->hungUp();
    });

    portFinder_ = new PortFinder(
        ui->SPREALCOM,
        [this] {
            return portOpen_ || line_->opening() ? QFile::decodeName(line_->port().c_str())
                                                 : QString();
        },
        [this](const QString& message) { status_->note(StatusLine::Source::Find, message); }, this);

    // Remembered from the last run.
    for (const QString& port : settings_->networkPorts()) ui->SPREALCOM->pin(port);
    auto* hex = findChild<QCheckBox*>(QStringLiteral("TrafficHex"));
    hex->setChecked(settings_->trafficHex());
    connect(hex, &QCheckBox::toggled, this, [this](bool on) { settings_->setTrafficHex(on); });
    reopenOffer_->automatic()->setChecked(settings_->reopenAutomatically());
    connect(reopenOffer_->automatic(), &QCheckBox::toggled, this,
            [this](bool on) { settings_->setReopenAutomatically(on); });
    if (const QString port = settings_->lastPort(); !port.isEmpty()) {
        const int index = ui->SPREALCOM->findText(port, Qt::MatchExactly);
        if (index >= 0)
            ui->SPREALCOM->setCurrentIndex(index);
        else
            ui->SPREALCOM->setEditText(port);
    }
    if (const QString folder = settings_->profileFolder();
        !folder.isEmpty() && QDir(folder).exists())
        profilePanel_->setLastFolder(folder);
    connect(profilePanel_, &ProfilePanel::lastFolderChanged, this,
            [this](const QString& folder) { settings_->setProfileFolder(folder); });
    // Only to a place some screen still shows.
    if (const std::optional<QPoint> position = settings_->windowPosition();
        position && QGuiApplication::screenAt(*position + QPoint(50, 20)))
        move(*position);
    if (!settings_->problem().isEmpty())
        status_->note(StatusLine::Source::Start, settings_->problem());

    history_ =
        std::make_unique<WindowHistory>(this, *line_, *profilePanel_, *controls_, *status_,
                                        *settings_, historyChoice_, [this] { return portOpen_; });
}

void Tmainform1::portPanelChanged() {
    if (line_->opening()) return;  // told again once the open is done
    if (portOpen_ && line_->isOpen()) {
        const QString port = QFile::decodeName(line_->port().c_str());
        settings_->setLastPort(port);
        if (spcomm::IsNetworkPortName(line_->port())) {
            settings_->rememberNetworkPort(port);
            ui->SPREALCOM->pin(port);
        }
        reopenOffer_->portOpened(port);
    } else {
        reopenOffer_->portClosed();
    }
}

void Tmainform1::reopenPort(const QString& port) {
    if (portOpen_ || line_->opening()) Button10Click();  // Close, or give up an open
    const int index = ui->SPREALCOM->findText(port, Qt::MatchExactly);
    if (index >= 0)
        ui->SPREALCOM->setCurrentIndex(index);
    else
        ui->SPREALCOM->setEditText(port);
    Button10Click();  // Open; openFinished() says "reopened" once it is open
    reopening_ = true;
    portPanelChanged();
}

void Tmainform1::rememberOnExit() {
    if (settings_ && windowHandle()) settings_->setWindowPosition(pos());
}
