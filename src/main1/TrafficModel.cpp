#include "main1/TrafficModel.h"

#include <algorithm>

TrafficModel::TrafficModel(std::size_t capacity, std::size_t byteBudget, QObject* parent)
    : QAbstractTableModel(parent), log_(capacity, byteBudget) {
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(kFlushMs);
    connect(&flushTimer_, &QTimer::timeout, this, &TrafficModel::flush);
}

void TrafficModel::append(const kvtraffic::RowView& row) {
    pending_.push(row);
    if (pending_.size() >= log_.capacity() || pending_.bytes() >= log_.byteBudget() / 4)
        flush();
    else if (!flushTimer_.isActive())
        flushTimer_.start();
}

void TrafficModel::flush() {
    flushTimer_.stop();
    if (pending_.empty()) return;
    kvtraffic::RowStore batch = std::move(pending_);
    pending_.clear();
    const kvtraffic::TrafficLog::Fit fit = log_.fit(batch);
    const std::size_t incoming = batch.size() - fit.neverKept;

    const int front = droppedRowShown_ ? 1 : 0;
    if (fit.leaving > 0) {
        beginRemoveRows({}, front, front + static_cast<int>(fit.leaving) - 1);
        log_.dropFront(fit.leaving);
        endRemoveRows();
    }
    if (fit.neverKept > 0) {
        const kvtraffic::RowView last = batch[fit.neverKept - 1];
        log_.countDropped(fit.neverKept, last.wallMs, last.sinceOpenMs);
    }
    if (log_.dropped() > 0 && !droppedRowShown_) {
        beginInsertRows({}, 0, 0);
        droppedRowShown_ = true;
        droppedRow_ = log_.droppedRow();
        endInsertRows();
    } else if (droppedRowShown_ && (fit.leaving > 0 || fit.neverKept > 0)) {
        droppedRow_ = log_.droppedRow();
        emit dataChanged(index(0, 0), index(0, columnCount() - 1));
    }

    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(incoming) - 1);
    for (std::size_t i = fit.neverKept; i < batch.size(); ++i) log_.push(batch[i]);
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

kvtraffic::RowView TrafficModel::viewAt(int row) const {
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
        out += kvtraffic::line(viewAt(row), view_, format);
        out += kvtraffic::lineEnd(format);
    }
    return out;
}

bool TrafficModel::save(const std::string& path, std::string* error) {
    flush();
    kvtraffic::FileWriter file(path, view_);
    for (int row = 0; row < rowCount() && file.good(); ++row) file.write(viewAt(row));
    if (file.finish()) return true;
    if (error) *error = file.error();
    return false;
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
    const kvtraffic::RowView shown = viewAt(index.row());
    // A long block is cut for the table: laying out kilobytes of text per cell is what would
    // make painting slow, and no row is that wide.
    if (role == Qt::DisplayRole && column == 4 && shown.kind != kvtraffic::Kind::Event &&
        shown.data.size() > kShownBytes) {
        const kvtraffic::RowView head(shown.wallMs, shown.sinceOpenMs, shown.kind,
                                      shown.data.substr(0, kShownBytes));
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
