// The window's "Profile" group: save the fields to a profile file, load one into the fields,
// write every included setting to the collector ("Write All"), and verify by read-back.
//
// Write All writes the apply plan (kvops::planApply, as kv480t apply does) of the included
// fields — with a profile loaded, of the fields the profile filled — by pressing the plan's
// Set buttons in turn, each exactly as the technician would (same frames, same send and
// receive buffer updates), each paced by its answer as kvops::ApplyRun says (the answer is
// kept on the Traffic page, "answered: ..." or "no answer", never judged). It checks every
// field first and sends nothing when one is bad; it stops early only when the port does not
// take a frame or the line fails; while it runs its button reads "Cancel". Then it reads the
// collector's listing and compares it with what was written: done only when the collector
// holds every written value, else the differing fields are highlighted and listed. Station
// address and counter bases take part only when their tick boxes are ticked, in files and in
// writing.
//
// Verify sends "Read Parameters" and compares what the collector's listing reports
// (kvops::readListing, counter bases included) with the loaded profile (or, with none loaded,
// with the fields) by kvops::compare, as kv480t verify does; differing fields are highlighted
// and listed on the status line. Neither Verify nor Write All's read-back changes a field.
//
// Report... saves the commissioning sheet of the open port (CollectorReport.h, kvsite's
// report) as HTML or PDF: the "before" values are those of the first parameter read since the
// port was opened, the "after" values and the result those of the last Verify. When no Verify
// has run since the last request that could change the collector (Write All, a Set), Report...
// runs one first and saves once it is done.
//
// Main thread only. The window forwards the closing of its port; the requests' outcomes come
// from the session.
#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

#include "ops/Operations.h"
#include "profile/Profile.h"
#include "site/Commission.h"

class QCheckBox;
class QPushButton;
class StatusLine;
namespace kvproto {
class Controls;
class DeviceSession;
class UserMessages;
struct SetCommand;
}  // namespace kvproto

class ProfilePanel : public QObject {
    Q_OBJECT
public:
    ProfilePanel(QWidget* window, kvproto::Controls& controls, kvproto::DeviceSession& session,
                 kvproto::UserMessages& messages, StatusLine& status);

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

    bool busy() const { return mode_ != Mode::Idle; }
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
    enum class Mode { Idle, Writing, Verifying };
    // What a Verifying read is for.
    enum class Check { Verify, WriteAll };

    kvprofile::Include include() const;
    // The included fields as settings; nullopt (and a message shown) when a field is bad.
    std::optional<kvproto::CollectorSettings> fieldSettings(bool requireComplete);
    QString chooseFile(bool save, bool report = false);
    // The port box's port, as profiles and reports name it.
    std::string portName() const;
    void sendNext();
    void requestEnded(int kind, const kvops::Outcome& outcome);
    void armTick();
    void finishWriting(const QString& outcome, bool failed = false);
    void startReading(Check check);
    void finishVerify(const std::string& listing);
    void clearHighlights();
    void status(const QString& text);
    void problem(const QString& text);
    void saveReport();

    QWidget* window_;
    kvproto::Controls& controls_;
    kvproto::DeviceSession& session_;
    kvproto::UserMessages& messages_;
    StatusLine& status_;
    QPushButton* writeAll_;
    QCheckBox* includeStation_;
    QCheckBox* includeCounters_;
    QString lastFolder_;
    std::optional<kvprofile::Profile> loaded_;
    QString loadedFile_;

    Mode mode_ = Mode::Idle;
    Check check_ = Check::Verify;
    std::optional<kvops::ApplyRun> run_;
    kvproto::CollectorSettings written_;  // what Write All writes
    QTimer tick_;  // the session's clock while a set command waits for its answer
    kvproto::CollectorSettings expected_;
    QString expectedWhere_;
    QStringList highlighted_;

    // Report...
    std::optional<kvproto::CollectorSettings> before_;  // the first read since the port opened
    std::int64_t beforeMs_ = 0;
    std::optional<kvsite::RowOutcome> verified_;  // the last Verify, while still current
    QString reportFile_;                          // to be saved once the Verify is done
};
