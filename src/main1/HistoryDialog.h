// The window's History dialog (History... in the Profile group): the entries the history
// holds of the open port's collector — by the station address its last listing reported
// when one was read, else by the port — newest first (time, what happened, who, result,
// port). Choosing an entry that has values shows them beside the window's fields, the
// differing ones marked; Restore writes them back to the collector after asking (what the
// last listing says will change, or that the collector is read first), through
// ProfileSession::restore (station address included, counter bases as the Profile group's
// "Include counter bases" says), and says the verified result on the dialog's status line.
// The list follows every write (a restore is recorded too, and can be undone in turn);
// Refresh reads it again.
//
// Below, where the history is kept: "Keep history" and History File... (remembered; they take
// effect the next time the port is opened).
//
// Modeless. Main thread only; every read of the database runs on the journal's thread
// (WindowHistory::read) and a result that comes back after a newer request is dropped.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "ops/History.h"

class ProfilePanel;
class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;
class WindowHistory;
namespace kvops {
class Line;
}
namespace kvpresenter {
class Controls;
}

class HistoryDialog : public QDialog {
    Q_OBJECT
public:
    HistoryDialog(QWidget* window, WindowHistory& history, kvops::Line& line, ProfilePanel& profile,
                  kvpresenter::Controls& controls, std::function<bool()> portOpen);
    ~HistoryDialog() override;

    // Tests answer History File... through this hook: it gets the file the dialog would
    // start from and returns the chosen one ("" to cancel). An empty hook restores the dialog.
    using ChooseHook = std::function<QString(const QString& file)>;
    static void setChooseHook(ChooseHook hook);

    // History...: shown, the list read again.
    void start();
    // Reads the list again (Refresh).
    void refresh();
    void restore();
    void chooseFile();
    // The journal was opened or closed.
    void historyChanged();
    // A write through the line ended: the list follows when the dialog is shown.
    void writeEnded();
    // Restore follows the port and the Profile group.
    void updateButtons();

    // The listed entries, newest first, and the entry whose values are shown.
    const std::vector<kvops::HistoryEntry>& entries() const { return entries_; }
    const std::optional<kvops::HistoryEntry>& shownEntry() const { return shown_; }

private:
    void listed(std::vector<kvops::HistoryEntry> entries, const QString& error);
    void entryChosen();
    void showEntry(std::optional<kvops::HistoryEntry> entry, const QString& error);
    void showValues();
    void say(const QString& text, bool problem);

    WindowHistory& history_;
    kvops::Line& line_;
    ProfilePanel& profile_;
    kvpresenter::Controls& controls_;
    std::function<bool()> portOpen_;
    QLabel* collector_;
    QTableWidget* entriesTable_;
    QTableWidget* values_;
    QLabel* status_;
    QPushButton* restore_;
    QPushButton* refresh_;
    QCheckBox* keep_;
    QPushButton* chooseFile_;
    QLabel* file_;
    QString which_;  // the collector listed: "Station 12", "Port /dev/ttyUSB0"
    std::vector<kvops::HistoryEntry> entries_;
    std::optional<kvops::HistoryEntry> shown_;
    std::uint64_t listRequest_ = 0, entryRequest_ = 0;  // the newest request of each
    bool restoring_ = false;
};
