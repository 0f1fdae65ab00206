// The traffic log as a table for a view: the columns of kvtraffic::columns(), the newest rows
// within the log's bounds (`capacity` rows, `byteBudget` bytes of data) and, once older rows
// have gone, the dropped-rows row in front. Rows are kept as the bytes that passed
// (kvtraffic::RowStore); a cell's text is made when the view asks for it.
//
// Rows are appended as they come but announced to the view in batches, at most every
// kFlushMs, or at once when the rows waiting reach the capacity or a quarter of the byte
// budget: one beginRemoveRows for the rows that drop out at the front, one beginInsertRows
// for the new rows at the end. A flood of blocks thus costs one copy of each block plus a few
// view updates per second, and at most 1.25 times the byte budget. Main thread only.
#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QTimer>

#include "traffic/TrafficFormat.h"
#include "traffic/TrafficLog.h"

class TrafficModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kFlushMs = 50;
    // The table shows at most this many bytes of a row (then "..."); copy and save take all.
    static constexpr std::size_t kShownBytes = 128;
    // A cell's whole text (what copy and save write), also where the table cuts it.
    static constexpr int FullTextRole = Qt::UserRole;

    explicit TrafficModel(std::size_t capacity = kvtraffic::TrafficLog::kDefaultCapacity,
                          std::size_t byteBudget = kvtraffic::TrafficLog::kDefaultByteBudget,
                          QObject* parent = nullptr);

    // Shown at the next flush.
    void append(const kvtraffic::RowView& row);
    // Announces the rows appended since the last flush.
    void flush();
    void clear();

    bool hex() const { return view_ == kvtraffic::ByteView::Hex; }
    void setHex(bool hex);
    const kvtraffic::TrafficLog& log() const { return log_; }

    // The row shown at `row` (after a flush), as a copy or as a view valid until the next
    // flush or clear.
    kvtraffic::Row rowAt(int row) const { return viewAt(row).row(); }
    kvtraffic::RowView viewAt(int row) const;
    // The rows, in the order given, one line each (line ends included).
    std::string linesFor(const QList<int>& rows, kvtraffic::FileFormat format) const;
    // Every row shown, with the header, as the file `path` (see kvtraffic::FileWriter). False,
    // with the reason in `error`, when it cannot be written; the old file is then unchanged.
    bool save(const std::string& path, std::string* error);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    kvtraffic::TrafficLog log_;
    kvtraffic::RowStore pending_;
    QTimer flushTimer_;
    bool droppedRowShown_ = false;  // the view knows of the dropped-rows row
    kvtraffic::Row droppedRow_;     // as the view knows it: changed by dataChanged only
    kvtraffic::ByteView view_ = kvtraffic::ByteView::Text;
};
