#include "main1/SiteDialog.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "main1/CollectorReport.h"
#include "ops/Clock.h"
#include "presenter/WindowInterfaces.h"
#include "site/Plan.h"
#include "site/Report.h"

namespace {

SiteDialog::ChooseHook& chooseHook() {
    static SiteDialog::ChooseHook hook;
    return hook;
}

QString utf8(const std::string& text) {
    return QString::fromStdString(text);
}

std::string path(const QString& name) {
    return QFile::encodeName(name).toStdString();
}

enum Column { Label, Station, State, Result, Columns };

}  // namespace

SiteDialog::SiteDialog(QWidget* window, kvpresenter::ProfileSession& profile,
                       kvpresenter::UserMessages& messages, std::function<bool()> portOpen,
                       std::function<std::string()> portName)
    : QDialog(window),
      window_(window),
      messages_(messages),
      portOpen_(std::move(portOpen)),
      portName_(std::move(portName)),
      lastFolder_(QDir::homePath()),
      plan_(new QLabel(this)),
      rows_(new QTableWidget(0, Columns, this)),
      folder_(new QLabel(this)),
      status_(new QLabel(this)),
      hint_(new QLabel(this)),
      next_(new QPushButton(QStringLiteral("&Next"), this)),
      skip_(new QPushButton(QStringLiteral("&Skip"), this)),
      chooseFolder_(new QPushButton(QStringLiteral("Report &Folder..."), this)),
      openPlan_(new QPushButton(QStringLiteral("&Open Plan..."), this)),
      session_(std::make_unique<kvpresenter::SiteSession>(
          profile, static_cast<kvpresenter::SiteView&>(*this), KV_VERSION)) {
    setObjectName(QStringLiteral("SiteDialog"));
    setModal(false);
    resize(600, 380);
    rows_->setObjectName(QStringLiteral("SiteRows"));
    rows_->setHorizontalHeaderLabels({QStringLiteral("Label"), QStringLiteral("Station"),
                                      QStringLiteral("State"), QStringLiteral("Result")});
    rows_->horizontalHeader()->setSectionResizeMode(Label, QHeaderView::Stretch);
    rows_->horizontalHeader()->setSectionResizeMode(Result, QHeaderView::Stretch);
    rows_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    rows_->setSelectionBehavior(QAbstractItemView::SelectRows);
    rows_->setSelectionMode(QAbstractItemView::SingleSelection);
    plan_->setObjectName(QStringLiteral("SitePlan"));
    folder_->setObjectName(QStringLiteral("SiteFolder"));
    folder_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    folder_->setWordWrap(true);
    status_->setObjectName(QStringLiteral("SiteStatus"));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    hint_->setObjectName(QStringLiteral("SiteHint"));
    hint_->setWordWrap(true);
    next_->setObjectName(QStringLiteral("SiteNext"));
    next_->setToolTip(QStringLiteral(
        "Read the plugged collector, write what differs from the plan, read it back"));
    skip_->setObjectName(QStringLiteral("SiteSkip"));
    chooseFolder_->setObjectName(QStringLiteral("SiteReportFolder"));
    chooseFolder_->setToolTip(
        QStringLiteral("Choose the report's folder: one holding this plan's report is continued"));
    openPlan_->setObjectName(QStringLiteral("SiteOpenPlan"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("SiteClose"));

    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(new QLabel(QStringLiteral("Report:"), this));
    folderRow->addWidget(folder_, 1);
    folderRow->addWidget(chooseFolder_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(next_);
    buttons->addWidget(skip_);
    buttons->addStretch(1);
    buttons->addWidget(openPlan_);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(plan_);
    layout->addWidget(rows_, 1);
    layout->addLayout(folderRow);
    layout->addWidget(status_);
    layout->addWidget(hint_);
    layout->addLayout(buttons);

    connect(next_, &QPushButton::clicked, this, [this] { session_->next(); });
    connect(skip_, &QPushButton::clicked, this, [this] { session_->skip(); });
    connect(chooseFolder_, &QPushButton::clicked, this, &SiteDialog::chooseFolder);
    connect(openPlan_, &QPushButton::clicked, this, &SiteDialog::openPlan);
    connect(close, &QPushButton::clicked, this, &QDialog::hide);

    // Site... beside Report..., below the Profile group's tick boxes.
    auto* site = new QPushButton(QStringLiteral("Site..."), window);
    site->setObjectName(QStringLiteral("ProfileSite"));
    site->setToolTip(QStringLiteral(
        "Walk a site plan: its collectors one after another on this port, one report"));
    if (auto* group = window->findChild<QWidget*>(QStringLiteral("GroupBoxProfile"))) {
        if (auto* grid = qobject_cast<QGridLayout*>(group->layout())) {
            int row = grid->rowCount(), column = 0, span = 0;
            if (auto* report = group->findChild<QWidget*>(QStringLiteral("ProfileReport")))
                grid->getItemPosition(grid->indexOf(report), &row, &column, &span, &span);
            grid->addWidget(site, row, 1);
        }
    }
    connect(site, &QPushButton::clicked, this, &SiteDialog::start);
    refresh();
}

SiteDialog::~SiteDialog() = default;

void SiteDialog::setChooseHook(ChooseHook hook) {
    chooseHook() = std::move(hook);
}

QString SiteDialog::choose(Choice choice, const QString& folder) {
    if (chooseHook()) return chooseHook()(choice, folder);
    if (choice == Choice::Plan)
        return QFileDialog::getOpenFileName(window_, QStringLiteral("Open Site Plan"), folder,
                                            QStringLiteral("Site plans (*.csv);;All files (*)"));
    return QFileDialog::getExistingDirectory(this, QStringLiteral("Report Folder"), folder);
}

void SiteDialog::showMessage(const std::string& text) {
    // The message box takes Latin-1 bytes: a character beyond it shows as '?'.
    messages_.showMessage(utf8(text).toLatin1().toStdString());
}

void SiteDialog::start() {
    if (session_->size() == 0) {
        openPlan();
        return;
    }
    show();
    raise();
}

void SiteDialog::openPlan() {
    if (session_->running()) return;
    const QString file = choose(Choice::Plan, lastFolder_);
    if (file.isEmpty()) return;
    lastFolder_ = QFileInfo(file).absolutePath();
    kvsite::PlanCheck check = kvsite::readPlanFile(path(file), {});
    if (!check.ok()) {
        std::string text;
        for (const std::string& problem : check.problems)
            text += (text.empty() ? "" : "\n") + problem;
        showMessage(text);
        return;
    }
    const std::string folder = kvsite::defaultReportFolder(path(file), kvops::wallClockMs());
    setWindowTitle(QStringLiteral("Site - %1").arg(utf8(check.plan.name)));
    session_->open(std::move(check.plan), folder);
    refresh();
    show();
    raise();
}

void SiteDialog::chooseFolder() {
    const QString folder = choose(Choice::ReportFolder, lastFolder_);
    if (folder.isEmpty()) return;
    if (const std::string error = session_->chooseFolder(path(folder)); !error.empty())
        showMessage(error);
}

void SiteDialog::portChanged() {
    session_->portChanged();
}

std::string SiteDialog::reportWritten(const kvsite::Report& report, const std::string& folder) {
    if (!pdfAvailable()) return {};
    return saveCollectorReport(
               report,
               QDir(QFile::decodeName(folder.c_str())).filePath(QStringLiteral("report.pdf")))
        .toStdString();
}

void SiteDialog::refresh() {
    const kvpresenter::SiteSession& site = *session_;
    // No row is marked while one runs; size(): none is next.
    const std::size_t next = site.running() ? site.size() : site.nextRow().value_or(site.size());
    plan_->setText(site.size() == 0 ? QStringLiteral("No plan open: Site... opens one.")
                                    : QStringLiteral("Plan %1: %2 rows, run on the open port.")
                                          .arg(utf8(site.plan().name))
                                          .arg(site.size()));
    plan_->setToolTip(utf8(site.plan().path));
    rows_->setRowCount(static_cast<int>(site.size()));
    for (std::size_t i = 0; i < site.size(); ++i) {
        const kvsite::PlanRow& row = site.plan().rows[i];
        const QString cells[Columns] = {utf8(row.label), utf8(row.station),
                                        utf8(site.stateWords(i)), utf8(site.resultWords(i))};
        const int r = static_cast<int>(i);
        for (int c = 0; c < Columns; ++c) {
            QTableWidgetItem* item = rows_->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                rows_->setItem(r, c, item);
            }
            item->setText(cells[c]);
            QFont font = item->font();
            font.setBold(next == i || site.stateWords(i) == "running");
            item->setFont(font);
        }
        // The row header marks the next row.
        rows_->setVerticalHeaderItem(
            r, new QTableWidgetItem(next == i ? QStringLiteral("next") : QString::number(r + 1)));
    }
    if (next < site.size()) {
        rows_->selectRow(static_cast<int>(next));
        rows_->scrollToItem(rows_->item(static_cast<int>(next), Label));
    } else {
        rows_->clearSelection();
    }
    folder_->setText(utf8(site.folder()));
    status_->setText(utf8(site.status()));
    status_->setStyleSheet(site.problem() ? QStringLiteral("color: #b00000;") : QString());
    hint_->setText(utf8(site.nextHint()));
    next_->setEnabled(site.canRunNext());
    skip_->setEnabled(!site.running() && site.nextRow().has_value());
    chooseFolder_->setEnabled(!site.running() && site.size() > 0);
    openPlan_->setEnabled(!site.running());
}
