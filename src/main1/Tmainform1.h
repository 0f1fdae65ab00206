// Tmainform1: the tool's one window (instance `mainform1`). The form itself lives in
// Tmainform1.ui; every control carries its name as objectName. The handlers below bear the
// names of the controls and events they serve; what they do with the collector is delegated
// to kvpresenter::DeviceSession, which reaches the widgets through the Qt adapters.
//
// Main thread only: every handler, timer tick and serial notification runs there. Comm1's
// workers post received blocks through a QtDeliveryChannel into this window's event loop;
// the line's tap (kvops::Line::tap) hands every event of the line to the Traffic page, the
// session and the window's own listeners, in that order.
// Opening the port runs on a thread of the Line's own (kvops::Line::startOpen), so the window
// keeps answering meanwhile; its outcome comes back as a queued call, and the port is then
// started and used on the main thread only.
#pragma once

#include <QImage>
#include <QMainWindow>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "SPComm/TComm.h"
#include "main1/WindowHistory.h"
#include "ops/Line.h"
#include "resources/Pictures.h"

namespace Ui {
class Tmainform1;
}
namespace kvpresenter {
class DeviceSession;
}
namespace kvmain {
class KeyPressFilter;
}
class QtControls;
class QtTimer;
class QtUserMessages;
class QtSerialWrite;
class ProfilePanel;
class SiteDialog;
class PortFinder;
class PortWatcher;
class ReopenOffer;
class RememberedSettings;
class TrafficPage;
class StatusLine;

class Tmainform1 : public QMainWindow {
    Q_OBJECT
public:
    // `history`: where the collector's history is kept this run (--history, --no-history).
    explicit Tmainform1(QWidget* parent = nullptr, WindowHistory::Choice history = {});
    ~Tmainform1() override;

    // Puts a port name or device path into SPREALCOM (once) and, if `select`, selects it.
    // Used by --port and by the --demo hook for the simulated collector's port.
    void addPort(const QString& path, bool select, const QString& toolTip = {});

    // Where usb-serial port names are looked up on Linux (kvops::Line::setPortLayout); tests
    // point it at a tree of their own.
    void setPortLayout(const kvports::SysfsLayout& layout) { line_->setPortLayout(layout); }

    // The status line every part of the window writes to.
    StatusLine& statusLine() { return *status_; }

    // Fills Image2, Image1 and the window icon from `load`; pictures that fail are left
    // empty and their errors go to the status line. The constructor uses kvmain::loadPicture.
    using PictureLoader = std::function<QImage(kvres::PictureId, QString*)>;
    void showPictures(const PictureLoader& load);

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    // Creation handler: resets the window's state (run once by the constructor).
    void FormCreate();

    // Port panel: "Open" starts opening the chosen port ("Cancel" meanwhile), "Cancel" gives
    // the open up, "Close" closes the port.
    void Button10Click();

    // The click of any of the 22 "Set" buttons (named in the parameter table): sends its set
    // command built from the fields the button belongs to.
    void SetButtonClick(std::string_view button);

    void Button32Click();   // "Read Parameters"
    void Button14Click();   // "Communication Test"
    void Button124Click();  // "Data Query"
    void Button19Click();   // "Parameter Initialization"
    void Button58Click();   // "Clear Buffer"

    void Timer6Timer();
    void Timer3Timer();

private:
    // Opens `port` again the way the port panel does: Close (when open), then Open.
    void reopenPort(const QString& port);
    // The port panel's three steps of an open: started on a click, finished when the Line's
    // thread is done (the outcome as a synchronous open gave it), or cancelled.
    void startOpen();
    void openFinished();
    void cancelOpen();
    void connectHandlers();
    // Hot-plug watching, the reopen offer and the remembered settings (Tmainform1Ports.cpp).
    void setUpPortsAndSettings();
    void portPanelChanged();
    // "Open" or "Close", keeping the button's keyboard shortcut.
    void setPortButtonCaption(const QString& caption);
    void rememberOnExit();

    std::unique_ptr<Ui::Tmainform1> ui;
    QTimer Timer3;                       // reply time-out, one-shot
    QTimer Timer6;                       // reply processing, one-shot
    QTimer EngineClock;                  // the session's engine clock, one-shot
    std::unique_ptr<kvops::Line> line_;  // Comm1: the port to the collector
    bool portOpen_ = false;
    // While an open runs, Button14 and Button19 stay disabled; an open that fails or is
    // cancelled gives them back what they had.
    bool button14Was_ = false;
    bool button19Was_ = false;
    bool reopening_ = false;  // the open in progress reopens a port whose adapter came back
    bool outerSizeSet_ = false;

    kvmain::KeyPressFilter* keyFilter_ = nullptr;  // owned by this window (QObject child)
    std::unique_ptr<QtControls> controls_;
    std::unique_ptr<QtTimer> timer3Adapter_;
    std::unique_ptr<QtTimer> timer6Adapter_;
    std::unique_ptr<QtTimer> clockAdapter_;
    StatusLine* status_ = nullptr;  // owned by this window (QObject child)
    std::unique_ptr<QtUserMessages> messages_;
    std::unique_ptr<QtSerialWrite> serial_;
    std::unique_ptr<kvpresenter::DeviceSession> session_;
    ProfilePanel* profilePanel_ = nullptr;  // owned by this window (QObject child)
    SiteDialog* siteDialog_ = nullptr;      // owned by this window (QObject child)
    std::unique_ptr<RememberedSettings> settings_;
    PortWatcher* portWatcher_ = nullptr;  // owned by this window (QObject child)
    ReopenOffer* reopenOffer_ = nullptr;  // owned by this window (QObject child)
    PortFinder* portFinder_ = nullptr;    // owned by this window (QObject child)
    TrafficPage* traffic_ = nullptr;      // the "Traffic" page, owned by PageControl1
    // The history and its buttons: gone before the line and the remembered settings it uses.
    WindowHistory::Choice historyChoice_;
    std::unique_ptr<WindowHistory> history_;
};
