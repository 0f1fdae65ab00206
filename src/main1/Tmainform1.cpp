#include "main1/Tmainform1.h"

#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QIcon>
#include <QMetaObject>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QStatusBar>
#include <array>
#include <optional>
#include <utility>

#include "main1/GroupBoxStyle.h"
#include "main1/KeyFilters.h"
#include "main1/ProfilePanel.h"
#include "main1/RememberedSettings.h"
#include "main1/SiteDialog.h"
#include "main1/TrafficPage.h"
#include "main1/adapters/Pictures.h"
#include "main1/adapters/QtControls.h"
#include "main1/adapters/QtDeliveryChannel.h"
#include "main1/adapters/QtSerialWrite.h"
#include "main1/adapters/QtTimer.h"
#include "main1/adapters/QtUserMessages.h"
#include "main1/adapters/StatusLine.h"
#include "main1/adapters/WindowText.h"
#include "presenter/DeviceSession.h"
#include "protocol/SetCommands.h"
#include "ui_Tmainform1.h"

Tmainform1::Tmainform1(QWidget* parent, WindowHistory::Choice history)
    : QMainWindow(parent),
      ui(std::make_unique<Ui::Tmainform1>()),
      line_(std::make_unique<kvops::Line>(std::make_shared<QtDeliveryChannel>(this))),
      historyChoice_(std::move(history)) {
    ui->setupUi(this);
    resize(1025, 599);
    QPalette silver = palette();
    silver.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    setPalette(silver);
    // The pages paint the window's silver themselves; the style would fill them near-white.
    for (QWidget* page : {ui->TabSheet2, ui->TabSheet19}) page->setAutoFillBackground(true);
    // and the group boxes on them let it show through.
    auto* groupBoxStyle = new GroupBoxStyle;
    groupBoxStyle->setParent(this);
    for (QGroupBox* group : findChildren<QGroupBox*>()) group->setStyle(groupBoxStyle);
    // BRS485NX starts with no item selected while reading "0_Close" like a chosen item. Once
    // an item has been chosen, losing the choice again (a read-back beyond the items) shows
    // "(none)" in the placeholder colour: the list then sends -1, not the 0 of "0_Close".
    QPalette list = ui->BRS485NX->palette();
    const QColor placeholderColour = list.color(QPalette::PlaceholderText);
    list.setColor(QPalette::PlaceholderText, list.color(QPalette::ButtonText));
    ui->BRS485NX->setPalette(list);
    connect(ui->BRS485NX, &QComboBox::currentIndexChanged, this,
            [interfaceType = ui->BRS485NX, placeholderColour](int index) {
                const QString none = QStringLiteral("(none)");
                if (index < 0 || interfaceType->placeholderText() == none) return;
                interfaceType->setPlaceholderText(none);
                QPalette palette = interfaceType->palette();
                palette.setColor(QPalette::PlaceholderText, placeholderColour);
                interfaceType->setPalette(palette);
            });

    // Members parented to the window so that they are found by name; each leaves the
    // window's child list again in its own destructor.
    Timer3.setObjectName(QStringLiteral("Timer3"));
    Timer3.setParent(this);
    Timer3.setSingleShot(true);
    Timer3.setInterval(1000);
    Timer6.setObjectName(QStringLiteral("Timer6"));
    Timer6.setParent(this);
    Timer6.setSingleShot(true);
    Timer6.setInterval(200);
    EngineClock.setObjectName(QStringLiteral("EngineClock"));
    EngineClock.setParent(this);
    EngineClock.setSingleShot(true);

    keyFilter_ = new kvmain::KeyPressFilter(this);
    controls_ = std::make_unique<QtControls>(this);
    timer3Adapter_ = std::make_unique<QtTimer>(&Timer3);
    timer6Adapter_ = std::make_unique<QtTimer>(&Timer6);
    clockAdapter_ = std::make_unique<QtTimer>(&EngineClock);
    status_ = new StatusLine(statusBar(), this);
    messages_ = std::make_unique<QtUserMessages>(this, *status_);
    serial_ = std::make_unique<QtSerialWrite>(*line_);
    session_ = std::make_unique<kvpresenter::DeviceSession>(*controls_, *timer3Adapter_,
                                                            *timer6Adapter_, *messages_, *serial_);
    session_->setClockTimer(clockAdapter_.get());
    // What the session reads and writes goes to the line's history (once it has a journal).
    session_->setHistory(&line_->history());
    profilePanel_ = new ProfilePanel(this, *controls_, *session_, *messages_, *status_);
    // The site walk runs its rows on the open port, through the Profile group.
    siteDialog_ = new SiteDialog(
        this, profilePanel_->session(), *messages_, [this] { return portOpen_; },
        [this] { return line_->port(); });
    // The third page, after the form's two: the line's traffic.
    traffic_ = new TrafficPage(status_);
    traffic_->setAutoFillBackground(true);
    ui->PageControl1->addTab(traffic_, QStringLiteral("Traffic"));
    // One tap of the line: the Traffic page first, then the session; the session's own
    // events (a time-out message shown) go into the same tap.
    traffic_->listen(line_->tap());
    line_->tap().listen([this](const kvops::LineEvent& event) { session_->lineEvent(event); });
    session_->setLineObserver([this](const kvops::LineEvent& event) { line_->tell(event); });
    connect(profilePanel_, &ProfilePanel::commandAnswered, traffic_, [this](const QString& text) {
        traffic_->recorder().event(text.toLatin1().toStdString());
    });
    // A pulled cable or adapter: both workers may say so; the technician hears it once.
    line_->tap().listen([this](const kvops::LineEvent& event) {
        if (event.kind != kvops::LineEvent::Kind::HungUp) return;
        status_->problem(StatusLine::Source::Port,
                         QString::fromStdString(windowText(
                             {kvops::ErrorCode::HungUp}, line_->port(), WindowPlace::StatusLine)));
    });

    showPictures(kvmain::loadPicture);
    connectHandlers();
    Timer6.start();  // enabled in the form: its first tick finds nothing to do
    FormCreate();
    setUpPortsAndSettings();
}

Tmainform1::~Tmainform1() {
    rememberOnExit();
    // The port's workers must be gone before the widgets their blocks are meant for.
    line_->comm().OnReceiveData = nullptr;
    line_->comm().OnRequestHangup = nullptr;
    line_->close();
}

void Tmainform1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (std::exchange(outerSizeSet_, true)) return;
    // 1025 x 599 is the outer size, frame included; the frame is known once the window is
    // mapped (never on platforms without decorations).
    QTimer::singleShot(0, this, [this] {
        const QSize frame = frameGeometry().size() - geometry().size();
        if (frame != QSize(0, 0)) resize(QSize(1025, 599) - frame);
    });
}

void Tmainform1::FormCreate() {
    timer3Adapter_->setEnabled(false);
    ui->Button10->setEnabled(true);
    ui->PageControl1->setCurrentIndex(0);
    ui->SPREALCOM->setEnabled(true);
    portOpen_ = false;
}

void Tmainform1::showPictures(const PictureLoader& load) {
    QStringList problems;
    auto pixmap = [&](kvres::PictureId id) {
        QString error;
        const QImage image = load(id, &error);
        if (image.isNull()) problems << error;
        return QPixmap::fromImage(image);
    };
    ui->Image2->setPixmap(pixmap(kvres::PictureId::Logo));           // stretched by the label
    ui->Image1->setPixmap(pixmap(kvres::PictureId::WiringDiagram));  // unscaled
    const QPixmap icon = pixmap(kvres::PictureId::Icon);
    setWindowIcon(icon.isNull() ? QIcon() : QIcon(icon));
    // A picture that cannot be decoded is left out; the window works without it.
    if (!problems.isEmpty())
        status_->note(StatusLine::Source::Start, problems.join(QStringLiteral("; ")));
}

void Tmainform1::connectHandlers() {
    using Handler = void (Tmainform1::*)();
    static constexpr std::pair<const char*, Handler> kButtons[] = {
        {"Button10", &Tmainform1::Button10Click}, {"Button32", &Tmainform1::Button32Click},
        {"Button14", &Tmainform1::Button14Click}, {"Button124", &Tmainform1::Button124Click},
        {"Button19", &Tmainform1::Button19Click}, {"Button58", &Tmainform1::Button58Click},
    };
    for (const auto& [name, handler] : kButtons) {
        auto* button = findChild<QPushButton*>(QLatin1StringView(name));
        Q_ASSERT(button);
        connect(button, &QPushButton::clicked, this, handler);
    }
    for (const kvproto::SetCommand& command : kvproto::setCommands()) {
        auto* button = findChild<QPushButton*>(
            QLatin1StringView(command.button.data(), command.button.size()));
        Q_ASSERT(button);
        const std::string_view name = command.button;
        connect(button, &QPushButton::clicked, this, [this, name] { SetButtonClick(name); });
    }
    connect(&Timer6, &QTimer::timeout, this, &Tmainform1::Timer6Timer);
    connect(&Timer3, &QTimer::timeout, this, &Tmainform1::Timer3Timer);
    connect(&EngineClock, &QTimer::timeout, this, [this] { session_->clockTick(); });
}

void Tmainform1::addPort(const QString& path, bool select, const QString& toolTip) {
    const int index = ui->SPREALCOM->pin(path, toolTip);
    if (select) ui->SPREALCOM->setCurrentIndex(index);
}

void Tmainform1::Button10Click() {
    if (line_->opening()) {
        cancelOpen();
        return;
    }
    if (portOpen_) {
        setPortButtonCaption(QStringLiteral("Open"));
        portOpen_ = false;
        line_->close();
        line_->tell({kvops::LineEvent::Kind::Closed, {}, {}, {}});
        session_->portClosed();
        profilePanel_->portClosed();
        siteDialog_->portChanged();
        history_->portChanged();
        ui->Button19->setEnabled(false);
        ui->Button14->setEnabled(false);
        status_->note(StatusLine::Source::Port, QStringLiteral("Port closed."));
        return;
    }
    startOpen();
}

void Tmainform1::startOpen() {
    const std::string port = QFile::encodeName(ui->SPREALCOM->currentText()).toStdString();
    setPortButtonCaption(QStringLiteral("Cancel"));
    history_->portOpening();
    button14Was_ = ui->Button14->isEnabled();
    button19Was_ = ui->Button19->isEnabled();
    ui->Button19->setEnabled(false);
    ui->Button14->setEnabled(false);
    status_->note(StatusLine::Source::Port,
                  QStringLiteral("Connecting to %1 ...").arg(QString::fromStdString(port)));
    // The Line calls this on its thread, and never once the open was given up (cancelOpen,
    // close, the destructor): the window is alive whenever the call is posted.
    line_->startOpen(port, [this] {
        QMetaObject::invokeMethod(this, &Tmainform1::openFinished, Qt::QueuedConnection);
    });
}

void Tmainform1::cancelOpen() {
    line_->cancelOpen();
    reopening_ = false;
    setPortButtonCaption(QStringLiteral("Open"));
    ui->Button14->setEnabled(button14Was_);
    ui->Button19->setEnabled(button19Was_);
    status_->note(
        StatusLine::Source::Port,
        QStringLiteral("Opening %1 cancelled.").arg(QString::fromStdString(line_->port())));
}

void Tmainform1::openFinished() {
    const std::optional<kvops::Error> outcome = line_->finishOpen();
    if (!outcome) return;  // an open given up after its notice was posted
    const std::string port = line_->port();
    const bool reopening = std::exchange(reopening_, false);
    if (const kvops::Error& error = *outcome) {
        // A port that did not open is reported and the panel stays ready to open again. The
        // box keeps to the component's message; the status line adds the port and the
        // system's reason.
        setPortButtonCaption(QStringLiteral("Open"));
        portOpen_ = false;
        ui->Button14->setEnabled(button14Was_);
        ui->Button19->setEnabled(button19Was_);
        session_->portClosed();
        profilePanel_->portClosed();
        siteDialog_->portChanged();
        history_->portChanged();
        status_->problem(StatusLine::Source::Port,
                         QString::fromStdString(windowText(error, port, WindowPlace::StatusLine)));
        const std::string message = windowText(error, port, WindowPlace::MessageBox);
        line_->tell({kvops::LineEvent::Kind::OpenFailed, port, message, {}});
        messages_->showMessage(message);
        portPanelChanged();
        return;
    }
    setPortButtonCaption(QStringLiteral("Close"));
    portOpen_ = true;
    line_->tell({kvops::LineEvent::Kind::Opened, port, kvops::kLineSettingsText, {}});
    ui->Button19->setEnabled(true);
    ui->Button14->setEnabled(true);
    siteDialog_->portChanged();
    history_->portChanged();
    status_->note(
        StatusLine::Source::Port,
        QStringLiteral("Port %1 open, %2.")
            .arg(QString::fromStdString(port), QLatin1StringView(kvops::kLineSettingsText.data(),
                                                                 kvops::kLineSettingsText.size())));
    portPanelChanged();
    if (reopening)
        status_->note(StatusLine::Source::Port,
                      QStringLiteral("Port %1 reopened: its adapter came back.")
                          .arg(QFile::decodeName(port.c_str())));
}

void Tmainform1::setPortButtonCaption(const QString& caption) {
    // A new caption takes the button's shortcut away (it would take the caption's mnemonic).
    const QKeySequence key = ui->Button10->shortcut();
    ui->Button10->setText(caption);
    ui->Button10->setShortcut(key);
}

void Tmainform1::SetButtonClick(std::string_view button) {
    session_->setButtonClick(button);
}

void Tmainform1::Button32Click() {
    session_->readParametersClick();
}
void Tmainform1::Button14Click() {
    session_->communicationTestClick();
}
void Tmainform1::Button124Click() {
    session_->dataQueryClick();
}
void Tmainform1::Button19Click() {
    session_->parameterInitializationClick();
}

void Tmainform1::Button58Click() {
    controls_->clear("Memo8");  // with a text not yet on screen
    controls_->clear("discomm");
}

void Tmainform1::Timer6Timer() {
    session_->timer6Timer();
}
void Tmainform1::Timer3Timer() {
    session_->timer3Timer();
}
