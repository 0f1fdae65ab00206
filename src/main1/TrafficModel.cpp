#include "main1/TrafficModel.h"

#include <algorithm>

TrafficModel::TrafficModel(std::size_t capacity, QObject* parent)
    : QAbstractTableModel(parent), log_(capacity) {
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(kFlushMs);
    connect(&flushTimer_, &QTimer::timeout, this, &TrafficModel::flush);
}

void TrafficModel::append(kvtraffic::Row&& row) {
    pending_.push_back(std::move(row));
    if (pending_.size() >= log_.capacity())
        flush();
    else if (!flushTimer_.isActive())
        flushTimer_.start();
}

void TrafficModel::flush() {
    flushTimer_.stop();
    if (pending_.empty()) return;
    std::vector<kvtraffic::Row> batch;
    batch.swap(pending_);
    const std::size_t capacity = log_.capacity();
    const std::size_t neverKept = batch.size() > capacity ? batch.size() - capacity : 0;
    const std::size_t incoming = batch.size() - neverKept;
    const std::size_t room = capacity - std::min(capacity, log_.keptRows());
    const std::size_t leaving = incoming > room ? incoming - room : 0;

    const int front = droppedRowShown_ ? 1 : 0;
    if (leaving > 0) {
        beginRemoveRows({}, front, front + static_cast<int>(leaving) - 1);
        log_.dropFront(leaving);
        endRemoveRows();
    }
    if (neverKept > 0) {
        const kvtraffic::Row& last = batch[neverKept - 1];
        log_.countDropped(neverKept, last.wallMs, last.sinceOpenMs);
    }
    if (log_.dropped() > 0 && !droppedRowShown_) {
        beginInsertRows({}, 0, 0);
        droppedRowShown_ = true;
        droppedRow_ = log_.droppedRow();
        endInsertRows();
    } else if (droppedRowShown_ && (leaving > 0 || neverKept > 0)) {
        droppedRow_ = log_.droppedRow();
        emit dataChanged(index(0, 0), index(0, columnCount() - 1));
    }

    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(incoming) - 1);
    for (std::size_t i = neverKept; i < batch.size(); ++i) log_.push(std::move(batch[i]));
    endInsertRows();
}

void TrafficModel::clear() {
    beginResetModel();
    flushTimer_.stop();
    pending_.clear();
    log_.clear();
    droppedRowShown_ = false;
    droppedRow_ = {};
    endResetModel();
}

void TrafficModel::setHex(bool hex) {
    const auto view = hex ? kvtraffic::ByteView::Hex : kvtraffic::ByteView::Text;
    if (view == view_) return;
    view_ = view;
    if (rowCount() > 0) emit dataChanged(index(0, 4), index(rowCount() - 1, 4), {Qt::DisplayRole});
}

kvtraffic::Row TrafficModel::rowAt(int row) const {
    if (droppedRowShown_) {
        if (row == 0) return droppedRow_;
        --row;
    }
    return log_.kept(static_cast<std::size_t>(row));
}

std::string TrafficModel::linesFor(const QList<int>& rows, kvtraffic::FileFormat format) const {
    std::string out;
    for (const int row : rows) {
        if (row < 0 || row >= rowCount()) continue;
        out += kvtraffic::line(rowAt(row), view_, format);
        out += kvtraffic::lineEnd(format);
    }
    return out;
}

int TrafficModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return static_cast<int>(log_.keptRows()) + (droppedRowShown_ ? 1 : 0);
}

int TrafficModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(kvtraffic::kColumnNames.size());
}

QVariant TrafficModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    if (role == Qt::TextAlignmentRole)
        return (index.column() == 1 || index.column() == 3)
                   ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                   : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != FullTextRole) return {};
    const auto column = static_cast<std::size_t>(index.column());
    int row = index.row();
    if (droppedRowShown_ && row == 0)
        return QString::fromStdString(kvtraffic::column(droppedRow_, column, view_));
    if (droppedRowShown_) --row;
    const kvtraffic::Row& shown = log_.kept(static_cast<std::size_t>(row));
    // A long block is cut for the table: laying out kilobytes of text per cell is what would
    // make painting slow, and no row is that wide.
    if (role == Qt::DisplayRole && column == 4 && shown.kind != kvtraffic::Kind::Event &&
        shown.data.size() > kShownBytes) {
        kvtraffic::Row head{shown.wallMs, shown.sinceOpenMs, shown.kind,
                            shown.data.substr(0, kShownBytes)};
        return QString::fromStdString(kvtraffic::column(head, column, view_) + " ...");
    }
    return QString::fromStdString(kvtraffic::column(shown, column, view_));
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const kHeaders[] = {"Time", "ms since open", "Kind", "Length", "Data"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnCount())
        return {};
    return QString::fromLatin1(kHeaders[section]);
}
