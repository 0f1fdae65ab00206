// The window's "Profile" group: save the fields to a profile file, load one into the fields,
// write every included setting to the collector ("Write All"), and verify by read-back.
//
// Write All presses the Set buttons of the included commands in the window's order, each
// exactly as the technician would (same frames, same send and receive buffer updates), and
// waits for each answer (or kAnswerWaitMs without one) before the next. It checks every
// field first and sends nothing when one is bad; it stops at the first frame the port
// refuses; while it runs its button reads "Cancel". Station address and counter bases take
// part only when their tick boxes are ticked, in files and in writing.
//
// Verify sends "Read Parameters" and compares the collector's values with the loaded profile
// (or, with none loaded, with the fields as they were before the read), value by value;
// differing fields are highlighted and listed on the status line.
//
// Main thread only. The window forwards its receive event, its timers' ticks and the closing
// of its port.
#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

#include "profile/Profile.h"

class QCheckBox;
class QPushButton;
class QStatusBar;
namespace kvproto {
class Controls;
class DeviceSession;
class UserMessages;
struct SetCommand;
}  // namespace kvproto

class ProfilePanel : public QObject {
    Q_OBJECT
public:
    static constexpr int kAnswerWaitMs = 2000;  // per command, for its first answer block
    static constexpr int kAnswerQuietMs = 150;  // an answer is over once the line is quiet

    ProfilePanel(QWidget* window, kvproto::Controls& controls, kvproto::DeviceSession& session,
                 kvproto::UserMessages& messages, QStatusBar* status);

    // Tests answer the file dialogs through this hook: it gets whether a file is to be
    // written and the folder the dialog would open in, and returns the chosen path ("" to
    // cancel). An empty hook restores the dialogs.
    using FileHook = std::function<QString(bool save, const QString& folder)>;
    static void setFileHook(FileHook hook);

    void save();
    void load();
    void writeAllOrCancel();
    void verify();

    void blockReceived();
    void timer6Ticked();
    void timer3Ticked();
    void portClosed();

    bool busy() const { return mode_ != Mode::Idle; }
    const QString& lastFolder() const { return lastFolder_; }
    // The folder the next file dialog opens in (the window restores the remembered one).
    void setLastFolder(const QString& folder);
    QStringList highlightedFields() const;

signals:
    // A file was chosen in another folder than before.
    void lastFolderChanged(const QString& folder);

private:
    enum class Mode { Idle, Writing, Verifying };

    kvprofile::Include include() const;
    // The included fields as settings; nullopt (and a message shown) when a field is bad.
    std::optional<kvproto::CollectorSettings> fieldSettings(bool requireComplete);
    QString chooseFile(bool save);
    void sendNext();
    void finishWriting(const QString& outcome);
    void finishVerify();
    void clearHighlights();
    void status(const QString& text);

    QWidget* window_;
    kvproto::Controls& controls_;
    kvproto::DeviceSession& session_;
    kvproto::UserMessages& messages_;
    QStatusBar* status_;
    QPushButton* writeAll_;
    QCheckBox* includeStation_;
    QCheckBox* includeCounters_;
    QString lastFolder_;
    std::optional<kvprofile::Profile> loaded_;
    QString loadedFile_;

    Mode mode_ = Mode::Idle;
    std::vector<const kvproto::SetCommand*> queue_;
    std::size_t next_ = 0;
    QStringList unanswered_;
    bool answered_ = false;
    QTimer answerWait_;
    QTimer answerQuiet_;
    kvproto::CollectorSettings expected_;
    QString expectedWhere_;
    QStringList highlighted_;
};
