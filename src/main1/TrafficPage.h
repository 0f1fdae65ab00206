// The window's "Traffic" page: every frame sent, every block received and the port's events,
// in a table (TrafficModel) with a "Hex" toggle for the bytes of all rows, "Save..." (tab-
// separated text, or CSV when the file name ends in .csv) and "Clear". Rows can be selected;
// Ctrl+C copies them as tab-separated lines.
//
// The page listens to the line's tap (listen()): every event of the window's line, the
// presenter's time-outs among them, becomes its row or rows (kvtraffic::Recorder::record).
//
// Tests install a file hook: while one is set, save() asks it for the file instead of a
// dialog (an empty answer cancels).
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <string_view>

#include "ops/LineEvents.h"
#include "traffic/TrafficLog.h"

class QCheckBox;
class QPushButton;
class StatusLine;
class QTableView;
class TrafficModel;

class TrafficPage : public QWidget {
    Q_OBJECT
public:
    explicit TrafficPage(StatusLine* status, QWidget* parent = nullptr);
    ~TrafficPage() override;

    kvtraffic::Recorder& recorder() { return recorder_; }
    TrafficModel& model() { return *model_; }
    QTableView& view() { return *view_; }

    // From now on every event of `line` is a row.
    void listen(kvops::LineTap& line);

    // The selected rows as tab-separated lines, in the table's order.
    QString selectedText() const;
    void copySelection() const;
    void save();
    // Replaces the file whole: false, with the reason in `error` (naming the file), when it
    // cannot be written; the old file is then unchanged.
    bool saveTo(const QString& path, QString* error);

    using FileHook = std::function<QString(const QString& suggestedPath)>;
    static void setFileHook(FileHook hook);

private:
    StatusLine* status_;
    TrafficModel* model_;
    QTableView* view_;
    QCheckBox* hex_;
    QPushButton* save_;
    QPushButton* clear_;
    kvtraffic::Recorder recorder_;
    bool followEnd_ = true;
};
