// The window's "Profile" group: its buttons (Save, Load, Write All, Verify, Report...), the
// tick boxes, the file dialogs, the profile and report files, and the highlights of fields
// that differ. What the group does with the collector and the fields is
// kvpresenter::ProfileSession's (ProfileSession.h says how Write All, Verify and Report...
// behave); the panel shows it as the session's ProfileView.
//
// Save writes the included fields to a profile that records the port box's port and the
// window as the tool that saved it; Load reads one into the fields (nothing is sent).
//
// Main thread only. The window forwards the closing of its port.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "presenter/ProfileSession.h"

class QCheckBox;
class QPushButton;
class StatusLine;
namespace kvpresenter {
class Controls;
class DeviceSession;
class UserMessages;
}  // namespace kvpresenter

class ProfilePanel : public QObject, private kvpresenter::ProfileView {
    Q_OBJECT
public:
    ProfilePanel(QWidget* window, kvpresenter::Controls& controls,
                 kvpresenter::DeviceSession& session, kvpresenter::UserMessages& messages,
                 StatusLine& status);
    ~ProfilePanel() override;

    // Tests answer the file dialogs through this hook: it gets whether a file is to be
    // written and the folder the dialog would open in, and returns the chosen path ("" to
    // cancel). An empty hook restores the dialogs.
    using FileHook = std::function<QString(bool save, const QString& folder)>;
    static void setFileHook(FileHook hook);

    void save();
    void load();
    void writeAllOrCancel();
    void verify();
    void report();

    void portClosed();

    bool busy() const { return session_->busy(); }
    // The group's logic, which the site walk writes through.
    kvpresenter::ProfileSession& session() { return *session_; }
    const QString& lastFolder() const { return lastFolder_; }
    // The folder the next file dialog opens in (the window restores the remembered one).
    void setLastFolder(const QString& folder);
    QStringList highlightedFields() const;

signals:
    // A file was chosen in another folder than before.
    void lastFolderChanged(const QString& folder);
    // Write All: what the collector answered to a command ("ST answered: OK:ST:041",
    // "ST: no answer"), for the Traffic page.
    void commandAnswered(const QString& text);

private:
    QString chooseFile(bool save, bool report = false);

    // kvpresenter::ProfileView
    kvproto::Include include() const override;
    std::string portName() const override;
    void note(std::string_view text) override;
    void problem(std::string_view text) override;
    std::string shown() const override;
    std::string notSentReason() const override;
    void setWriteAllCaption(std::string_view caption) override;
    bool highlight(std::string_view control, bool on) override;
    void reportAnswer(std::string_view text) override;
    std::string saveReport(const std::string& path, const kvpresenter::VerifiedRow& row) override;

    QWidget* window_;
    kvpresenter::UserMessages& messages_;
    StatusLine& status_;
    QPushButton* writeAll_;
    QCheckBox* includeStation_;
    QCheckBox* includeCounters_;
    QString lastFolder_;
    std::unique_ptr<kvpresenter::ProfileSession> session_;
};
