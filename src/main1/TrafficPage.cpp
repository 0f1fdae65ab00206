#include "main1/TrafficPage.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "main1/TrafficModel.h"
#include "main1/adapters/StatusLine.h"
#include "traffic/TrafficFormat.h"

namespace {

TrafficPage::FileHook& fileHook() {
    static TrafficPage::FileHook hook;
    return hook;
}

const QString kTabFilter = QStringLiteral("Tab-separated text (*.txt)");
const QString kCsvFilter = QStringLiteral("CSV (*.csv)");

}  // namespace

TrafficPage::TrafficPage(StatusLine* status, QWidget* parent)
    : QWidget(parent),
      status_(status),
      model_(new TrafficModel(kvtraffic::TrafficLog::kDefaultCapacity,
                              kvtraffic::TrafficLog::kDefaultByteBudget, this)),
      view_(new QTableView(this)),
      hex_(new QCheckBox(QStringLiteral("Hex"), this)),
      save_(new QPushButton(QStringLiteral("Save..."), this)),
      clear_(new QPushButton(QStringLiteral("Clear"), this)),
      recorder_([this](kvtraffic::Row&& row) { model_->append(row); }) {
    setObjectName(QStringLiteral("TrafficPage"));
    view_->setObjectName(QStringLiteral("TrafficView"));
    hex_->setObjectName(QStringLiteral("TrafficHex"));
    save_->setObjectName(QStringLiteral("TrafficSave"));
    clear_->setObjectName(QStringLiteral("TrafficClear"));

    view_->setModel(model_);
    view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setWordWrap(false);
    view_->setTextElideMode(Qt::ElideRight);
    view_->setCornerButtonEnabled(false);
    view_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Uniform rows: no row is measured, so appending never lays out the rows already there.
    QHeaderView* rows = view_->verticalHeader();
    rows->setVisible(false);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(view_->fontMetrics().height() + 4);
    QHeaderView* columns = view_->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setStretchLastSection(true);
    // Wide enough for the longest text of each column and for its header.
    const QFontMetrics metrics = view_->fontMetrics();
    const int padding = 2 * metrics.horizontalAdvance(QLatin1Char('0'));
    const char* const widest[] = {"0000-00-00 00:00:00.000", "0000000", "EVENT", "00000"};
    for (int column = 0; column < 4; ++column)
        view_->setColumnWidth(
            column, std::max(metrics.horizontalAdvance(QLatin1String(widest[column])) + padding,
                             columns->sectionSizeHint(column)));

    auto* copy = new QAction(QStringLiteral("Copy"), view_);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    view_->addAction(copy);
    view_->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(copy, &QAction::triggered, this, &TrafficPage::copySelection);

    // Rows keep coming into sight while the view stands at the end; scrolled up, it stays.
    connect(model_, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar* bar = view_->verticalScrollBar();
        followEnd_ = bar->value() >= bar->maximum();
    });
    connect(model_, &QAbstractItemModel::rowsInserted, this, [this] {
        if (followEnd_) view_->scrollToBottom();
    });
    connect(hex_, &QCheckBox::toggled, model_, &TrafficModel::setHex);
    connect(save_, &QPushButton::clicked, this, &TrafficPage::save);
    connect(clear_, &QPushButton::clicked, model_, &TrafficModel::clear);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(hex_);
    buttons->addStretch(1);
    buttons->addWidget(save_);
    buttons->addWidget(clear_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(view_, 1);
}

TrafficPage::~TrafficPage() = default;

void TrafficPage::listen(kvops::LineTap& line) {
    line.listen([this](const kvops::LineEvent& event) { recorder_.record(event); });
}

QString TrafficPage::selectedText() const {
    QList<int> rows;
    for (const QModelIndex& index : view_->selectionModel()->selectedRows()) rows << index.row();
    std::sort(rows.begin(), rows.end());
    return QString::fromStdString(model_->linesFor(rows, kvtraffic::FileFormat::Tab));
}

void TrafficPage::copySelection() const {
    const QString text = selectedText();
    if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
}

void TrafficPage::save() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString suggested = QDir(folder).filePath(QStringLiteral("kv480t-traffic.txt"));
    QString path;
    if (const FileHook hook = fileHook()) {  // a copy: the hook may replace itself
        path = hook(suggested);
    } else {
        QString filter = kTabFilter;
        path =
            QFileDialog::getSaveFileName(this, QStringLiteral("Save Traffic"), suggested,
                                         kTabFilter + QStringLiteral(";;") + kCsvFilter, &filter);
        // A name typed without an extension takes the chosen filter's.
        if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
            path += filter == kCsvFilter ? QStringLiteral(".csv") : QStringLiteral(".txt");
    }
    if (path.isEmpty()) return;
    QString error;
    if (!saveTo(path, &error)) {
        if (status_)
            status_->problem(StatusLine::Source::Traffic,
                             QStringLiteral("Traffic not saved: %1").arg(error));
        return;
    }
    if (status_)
        status_->note(StatusLine::Source::Traffic, QStringLiteral("Traffic saved to %1 (%2 rows).")
                                                       .arg(QDir::toNativeSeparators(path))
                                                       .arg(model_->rowCount()));
}

bool TrafficPage::saveTo(const QString& path, QString* error) {
    std::string failure;
    if (model_->save(QFile::encodeName(path).toStdString(), &failure)) return true;
    if (error) *error = QString::fromLocal8Bit(failure);
    return false;
}

void TrafficPage::setFileHook(FileHook hook) {
    fileHook() = std::move(hook);
}
