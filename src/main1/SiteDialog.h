// The window's Site...: the button beside the Profile group's buttons and the modeless dialog
// it opens, which walks a site plan on the window's open port. The walk itself (which row is
// next, each row's read, write and read-back, the report kept in its folder) is
// kvpresenter::SiteSession's; this is its widgets and file dialogs.
//
// Site... (and the dialog's Open Plan...) asks for a plan (CSV), checks it whole
// (kvsite::readPlanFile: the problems in one message, nothing sent) and shows its rows (label,
// station, state, result), the next one marked and selected. Next runs that row, Skip passes over
// it, Report Folder... chooses the folder the report goes to (by default a new one beside the plan,
// as kv480t commission makes it; a folder holding this plan's report continues it). Beside
// report.html, .csv and .json the dialog writes report.pdf, drawn from the same page, as each row
// finishes (not in a build without Qt's PDF writer).
//
// Main thread only. The window tells the dialog when its port opens or closes.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "presenter/SiteSession.h"

class QLabel;
class QPushButton;
class QTableWidget;
namespace kvpresenter {
class UserMessages;
}

class SiteDialog : public QDialog, private kvpresenter::SiteView {
    Q_OBJECT
public:
    SiteDialog(QWidget* window, kvpresenter::ProfileSession& profile,
               kvpresenter::UserMessages& messages, std::function<bool()> portOpen,
               std::function<std::string()> portName);
    ~SiteDialog() override;

    // Tests answer the file dialogs through this hook: it gets what is asked for and the
    // folder the dialog would open in, and returns the chosen path ("" to cancel). An empty
    // hook restores the dialogs.
    enum class Choice { Plan, ReportFolder };
    using ChooseHook = std::function<QString(Choice choice, const QString& folder)>;
    static void setChooseHook(ChooseHook hook);

    // Site...: the dialog shown again, or with no plan open yet, openPlan().
    void start();
    // Open Plan...: a plan chosen and checked, then the dialog shown with its rows.
    void openPlan();
    void chooseFolder();
    void portChanged();

    kvpresenter::SiteSession& session() { return *session_; }

private:
    QString choose(Choice choice, const QString& folder);
    void showMessage(const std::string& text);
    void refresh();

    // kvpresenter::SiteView
    bool portOpen() const override { return portOpen_(); }
    std::string portName() const override { return portName_(); }
    void changed() override { refresh(); }
    std::string reportWritten(const kvsite::Report& report, const std::string& folder) override;

    QWidget* window_;
    kvpresenter::UserMessages& messages_;
    std::function<bool()> portOpen_;
    std::function<std::string()> portName_;
    QString lastFolder_;
    QLabel* plan_;
    QTableWidget* rows_;
    QLabel* folder_;
    QLabel* status_;
    QLabel* hint_;
    QPushButton* next_;
    QPushButton* skip_;
    QPushButton* chooseFolder_;
    QPushButton* openPlan_;
    std::unique_ptr<kvpresenter::SiteSession> session_;
};
