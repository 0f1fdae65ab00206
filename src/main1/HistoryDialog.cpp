#include "main1/HistoryDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <set>

#include "main1/ProfilePanel.h"
#include "main1/WindowHistory.h"
#include "ops/Line.h"
#include "ops/Operations.h"
#include "presenter/HistorySession.h"
#include "presenter/WindowInterfaces.h"
#include "protocol/Parameters.h"

namespace {

HistoryDialog::ChooseHook& chooseHook() {
    static HistoryDialog::ChooseHook hook;
    return hook;
}

QString utf8(const std::string& text) {
    return QString::fromStdString(text);
}

QString localTime(std::int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toLocalTime().toString(
        QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// The newest entries a list shows.
constexpr std::size_t kListed = 500;

enum EntryColumn { Time, What, Who, Result, Port, EntryColumns };
enum ValueColumn { Parameter, Recorded, InWindow, ValueColumns };

void setRow(QTableWidget* table, int row, const QStringList& cells, bool marked) {
    for (int c = 0; c < cells.size(); ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        if (marked) item->setBackground(QColor(0xff, 0xc8, 0xc8));
        table->setItem(row, c, item);
    }
}

}  // namespace

HistoryDialog::HistoryDialog(QWidget* window, WindowHistory& history, kvops::Line& line,
                             ProfilePanel& profile, kvpresenter::Controls& controls,
                             std::function<bool()> portOpen)
    : QDialog(window),
      history_(history),
      line_(line),
      profile_(profile),
      controls_(controls),
      portOpen_(std::move(portOpen)),
      collector_(new QLabel(this)),
      entriesTable_(new QTableWidget(0, EntryColumns, this)),
      values_(new QTableWidget(0, ValueColumns, this)),
      status_(new QLabel(this)),
      restore_(new QPushButton(QStringLiteral("&Restore"), this)),
      refresh_(new QPushButton(QStringLiteral("Re&fresh"), this)),
      keep_(new QCheckBox(QStringLiteral("&Keep history"), this)),
      chooseFile_(new QPushButton(QStringLiteral("History F&ile..."), this)),
      file_(new QLabel(this)) {
    setObjectName(QStringLiteral("HistoryDialog"));
    setWindowTitle(QStringLiteral("History"));
    setModal(false);
    resize(820, 420);
    collector_->setObjectName(QStringLiteral("HistoryCollector"));
    entriesTable_->setObjectName(QStringLiteral("HistoryEntries"));
    entriesTable_->setHorizontalHeaderLabels({QStringLiteral("Time"), QStringLiteral("What"),
                                              QStringLiteral("Who"), QStringLiteral("Result"),
                                              QStringLiteral("Port")});
    values_->setObjectName(QStringLiteral("HistoryValues"));
    values_->setHorizontalHeaderLabels(
        {QStringLiteral("Parameter"), QStringLiteral("Recorded"), QStringLiteral("In the window")});
    for (QTableWidget* table : {entriesTable_, values_}) {
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->setSelectionMode(QAbstractItemView::SingleSelection);
        table->verticalHeader()->setVisible(false);
        table->setWordWrap(false);
        table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
        table->horizontalHeader()->setStretchLastSection(true);
    }
    entriesTable_->horizontalHeader()->setStretchLastSection(false);
    entriesTable_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    entriesTable_->horizontalHeader()->setSectionResizeMode(What, QHeaderView::Stretch);
    status_->setObjectName(QStringLiteral("HistoryStatus"));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    restore_->setObjectName(QStringLiteral("HistoryRestore"));
    restore_->setToolTip(QStringLiteral(
        "Write the chosen entry's values back to the collector, then read back and compare"));
    refresh_->setObjectName(QStringLiteral("HistoryRefresh"));
    keep_->setObjectName(QStringLiteral("HistoryKeep"));
    keep_->setToolTip(
        QStringLiteral("Record every listing and write (from the next open of the "
                       "port on)"));
    chooseFile_->setObjectName(QStringLiteral("HistoryChooseFile"));
    file_->setObjectName(QStringLiteral("HistoryFile"));
    file_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    file_->setWordWrap(true);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("HistoryClose"));

    auto* tables = new QHBoxLayout;
    tables->addWidget(entriesTable_, 3);
    tables->addWidget(values_, 2);
    auto* keeping = new QHBoxLayout;
    keeping->addWidget(keep_);
    keeping->addWidget(file_, 1);
    keeping->addWidget(chooseFile_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(restore_);
    buttons->addWidget(refresh_);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(collector_);
    layout->addLayout(tables, 1);
    layout->addWidget(status_);
    layout->addLayout(keeping);
    layout->addLayout(buttons);

    connect(entriesTable_, &QTableWidget::itemSelectionChanged, this, &HistoryDialog::entryChosen);
    connect(restore_, &QPushButton::clicked, this, &HistoryDialog::restore);
    connect(refresh_, &QPushButton::clicked, this, &HistoryDialog::refresh);
    connect(chooseFile_, &QPushButton::clicked, this, &HistoryDialog::chooseFile);
    connect(keep_, &QCheckBox::toggled, this, [this](bool on) {
        history_.setKeepHistory(on);
        historyChanged();
    });
    connect(close, &QPushButton::clicked, this, &QDialog::hide);
    historyChanged();
}

HistoryDialog::~HistoryDialog() = default;

void HistoryDialog::setChooseHook(ChooseHook hook) {
    chooseHook() = std::move(hook);
}

void HistoryDialog::start() {
    show();
    raise();
    refresh();
}

void HistoryDialog::historyChanged() {
    const QSignalBlocker quiet(keep_);
    keep_->setChecked(history_.keepHistory());
    QString where = history_.file().isEmpty()
                        ? QStringLiteral("History is off: %1").arg(history_.offReason())
                        : QStringLiteral("Kept in %1").arg(history_.file());
    if (!history_.chosenFile().isEmpty() && history_.chosenFile() != history_.file())
        where += QStringLiteral(" (next open of the port: %1)").arg(history_.chosenFile());
    file_->setText(where);
    if (isVisible()) refresh();
}

void HistoryDialog::writeEnded() {
    if (isVisible()) refresh();
}

void HistoryDialog::refresh() {
    kvhistory::Store::Filter filter;
    filter.limit = kListed;
    filter.station = kvpresenter::stationOf(line_.history().lastListing());
    QString which;
    if (!filter.station.empty()) {
        which = QStringLiteral("Station %1").arg(utf8(filter.station));
    } else {
        filter.port = line_.port();
        if (filter.port.empty())
            if (auto* ports = parentWidget()->findChild<QComboBox*>(QStringLiteral("SPREALCOM")))
                filter.port = QFile::encodeName(ports->currentText()).toStdString();
        which = QStringLiteral("Port %1").arg(QFile::decodeName(filter.port.c_str()));
    }
    which_ = which;
    const std::uint64_t request = ++listRequest_;
    using Listed = std::pair<std::vector<kvops::HistoryEntry>, std::string>;
    const bool asked = history_.read<Listed>(
        [filter](kvhistory::Store& store) {
            kvops::Error error;
            std::vector<kvops::HistoryEntry> entries = store.list(filter, error);
            return Listed{std::move(entries), error ? error.text : std::string()};
        },
        [this, request](Listed listed) {
            if (request != listRequest_) return;  // a newer list is on its way
            this->listed(std::move(listed.first), utf8(listed.second));
        });
    if (!asked) listed({}, QStringLiteral("History is off: %1").arg(history_.offReason()));
}

void HistoryDialog::listed(std::vector<kvops::HistoryEntry> entries, const QString& error) {
    const std::int64_t chosen = shown_ ? shown_->id : 0;
    entries_.assign(entries.rbegin(), entries.rend());
    const QSignalBlocker quiet(entriesTable_);
    entriesTable_->clearContents();
    entriesTable_->setRowCount(static_cast<int>(entries_.size()));
    int again = -1;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const kvops::HistoryEntry& entry = entries_[i];
        const int row = static_cast<int>(i);
        setRow(entriesTable_, row,
               {localTime(entry.timeMs),
                QStringLiteral("%1 (%2)").arg(utf8(entry.what),
                                              QLatin1StringView(kvops::kindWord(entry.kind))),
                utf8(entry.operatorName), utf8(entry.result), utf8(entry.port)},
               entry.result == "failed" || entry.result == "differences");
        entriesTable_->item(row, What)->setToolTip(utf8(entry.note));
        if (entry.id == chosen) again = row;
    }
    if (again >= 0) {
        entriesTable_->selectRow(again);
    } else {
        shown_.reset();
        showValues();
    }
    collector_->setText(
        which_ + (entries_.empty() ? QStringLiteral(": nothing is recorded of it yet")
                                   : QStringLiteral(": what was read and written, newest first")));
    if (!error.isEmpty()) say(error, true);
    updateButtons();
}

void HistoryDialog::entryChosen() {
    const int row = entriesTable_->currentRow();
    if (row < 0 || row >= static_cast<int>(entries_.size())) return;
    const std::int64_t id = entries_[static_cast<std::size_t>(row)].id;
    if (shown_ && shown_->id == id) return;
    const std::uint64_t request = ++entryRequest_;
    using Got = std::pair<std::optional<kvops::HistoryEntry>, std::string>;
    history_.read<Got>(
        [id](kvhistory::Store& store) {
            kvops::Error error;
            std::optional<kvops::HistoryEntry> entry = store.get(id, error);
            return Got{std::move(entry), error ? error.text : std::string()};
        },
        [this, request](Got got) {
            if (request == entryRequest_) showEntry(std::move(got.first), utf8(got.second));
        });
}

void HistoryDialog::showEntry(std::optional<kvops::HistoryEntry> entry, const QString& error) {
    shown_ = std::move(entry);
    if (!error.isEmpty()) say(error, true);
    showValues();
    updateButtons();
}

void HistoryDialog::showValues() {
    values_->clearContents();
    values_->setRowCount(0);
    if (!shown_) return;
    // The window's fields as settings, as the Profile group reads them.
    kvproto::CollectorSettings fields;
    for (const kvproto::Parameter& p : kvproto::parameters()) {
        const std::optional<std::string> value =
            p.isList() ? kvproto::itemValue(p, controls_.itemIndex(p.control))
                       : std::optional<std::string>(controls_.text(p.control));
        if (value && !value->empty()) (void)fields.set(p, *value);
    }
    std::set<const kvproto::Parameter*> differing;
    for (const kvproto::Difference& d : kvops::compare(shown_->values, fields))
        differing.insert(d.parameter);
    const auto rows = shown_->values.entries();
    values_->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& [parameter, value] = rows[i];
        const std::optional<std::string>& field = fields.get(*parameter);
        // A value the listing does not report is compared as written.
        const bool differs =
            kvops::inListing(*parameter) ? differing.count(parameter) > 0 : field != value;
        setRow(values_, static_cast<int>(i),
               {QLatin1StringView(parameter->name), QString::fromLatin1(value.c_str()),
                QString::fromLatin1(field.value_or(std::string()).c_str())},
               differs);
    }
    values_->resizeColumnToContents(Parameter);
}

void HistoryDialog::updateButtons() {
    restore_->setEnabled(!restoring_ && shown_ && !shown_->values.empty() && portOpen_() &&
                         !profile_.busy());
    refresh_->setEnabled(history_.journal() != nullptr);
}

void HistoryDialog::say(const QString& text, bool problem) {
    status_->setText(text);
    status_->setStyleSheet(problem ? QStringLiteral("color: #b00000;") : QString());
}

void HistoryDialog::restore() {
    updateButtons();
    if (!restore_->isEnabled()) return;
    const kvops::HistoryEntry entry = *shown_;
    const auto* counters =
        parentWidget()->findChild<QCheckBox*>(QStringLiteral("ProfileIncludeCounters"));
    const kvproto::Include include{true, counters && counters->isChecked()};
    const auto& held = line_.history().lastListing();
    const std::vector<kvproto::Difference> changes =
        kvpresenter::restoreChanges(entry.values, include, held);
    const QString name = QStringLiteral("%1 (%2)").arg(localTime(entry.timeMs), utf8(entry.what));
    const QString question =
        QStringLiteral("Restore the collector to the values recorded at %1?").arg(name) +
        (held ? QStringLiteral(" %1 values change.").arg(changes.size()) : QString()) +
        QStringLiteral("\n\n") + utf8(kvpresenter::describeChanges(changes, held.has_value())) +
        (include.counters ? QStringLiteral("\n\nCounter bases are included: writing one restarts "
                                           "its count.")
                          : QString());
    if (!history_.ask(question)) return;
    restoring_ = true;  // before: a restore that cannot send ends within the call
    say(QStringLiteral("Restoring %1 ...").arg(name), false);
    const bool started = profile_.session().restore(
        entry.values, include, "restore", [this](const kvpresenter::WriteOutcome& outcome) {
            restoring_ = false;
            const kvpresenter::RestoreWords words =
                kvpresenter::restoreResult(outcome, "Restore", "Restored: done");
            say(utf8(words.text), words.problem);
            refresh();
        });
    if (!started) {
        restoring_ = false;
        say(QStringLiteral("Restore: the Profile group is busy; nothing was sent."), true);
    }
    updateButtons();
}

void HistoryDialog::chooseFile() {
    QString start = history_.chosenFile();
    if (start.isEmpty()) start = history_.file();
    const QString file = chooseHook()
                             ? chooseHook()(start)
                             : QFileDialog::getSaveFileName(
                                   this, QStringLiteral("History File"), start,
                                   QStringLiteral("History databases (*.db);;All files (*)"),
                                   nullptr, QFileDialog::DontConfirmOverwrite);
    if (file.isEmpty()) return;
    history_.setChosenFile(QFileInfo(file).absoluteFilePath());
    historyChanged();
}
