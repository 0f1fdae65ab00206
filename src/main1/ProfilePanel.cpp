#include "main1/ProfilePanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QPushButton>
#include <QWidget>

#include "main1/CollectorReport.h"
#include "main1/adapters/StatusLine.h"
#include "profile/Profile.h"
#include "site/Commission.h"

namespace {

ProfilePanel::FileHook& fileHook() {
    static ProfilePanel::FileHook hook;
    return hook;
}

QString utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

const char* kHighlight = "background-color: #ffc8c8;";

}  // namespace

ProfilePanel::ProfilePanel(QWidget* window, kvpresenter::Controls& controls,
                           kvpresenter::DeviceSession& session, kvpresenter::UserMessages& messages,
                           StatusLine& status)
    : QObject(window),
      window_(window),
      messages_(messages),
      status_(status),
      writeAll_(window->findChild<QPushButton*>(QStringLiteral("ProfileWriteAll"))),
      includeStation_(window->findChild<QCheckBox*>(QStringLiteral("ProfileIncludeStation"))),
      includeCounters_(window->findChild<QCheckBox*>(QStringLiteral("ProfileIncludeCounters"))),
      lastFolder_(QDir::homePath()),
      session_(std::make_unique<kvpresenter::ProfileSession>(
          controls, session, messages, static_cast<kvpresenter::ProfileView&>(*this))) {
    const std::pair<const char*, void (ProfilePanel::*)()> buttons[] = {
        {"ProfileSave", &ProfilePanel::save},
        {"ProfileLoad", &ProfilePanel::load},
        {"ProfileWriteAll", &ProfilePanel::writeAllOrCancel},
        {"ProfileVerify", &ProfilePanel::verify},
    };
    // Report... sits below the group's tick boxes.
    auto* report = new QPushButton(QStringLiteral("Report..."), window);
    report->setObjectName(QStringLiteral("ProfileReport"));
    report->setToolTip(QStringLiteral(
        "Save this collector's commissioning sheet (before and after values, verification) "
        "as HTML or PDF"));
    if (auto* group = window->findChild<QWidget*>(QStringLiteral("GroupBoxProfile")))
        if (auto* grid = qobject_cast<QGridLayout*>(group->layout()))
            grid->addWidget(report, grid->rowCount(), 0);
    connect(report, &QPushButton::clicked, this, &ProfilePanel::report);
    for (const auto& [name, handler] : buttons) {
        auto* button = window->findChild<QPushButton*>(QLatin1StringView(name));
        Q_ASSERT(button);
        connect(button, &QPushButton::clicked, this, handler);
    }
}

ProfilePanel::~ProfilePanel() = default;

void ProfilePanel::setFileHook(FileHook hook) {
    fileHook() = std::move(hook);
}

kvproto::Include ProfilePanel::include() const {
    return {includeStation_->isChecked(), includeCounters_->isChecked()};
}

void ProfilePanel::note(std::string_view text) {
    status_.note(StatusLine::Source::Profile, utf8(text));
}

void ProfilePanel::problem(std::string_view text) {
    status_.problem(StatusLine::Source::Profile, utf8(text));
}

std::string ProfilePanel::shown() const {
    return status_.messageOf(StatusLine::Source::Profile).toStdString();
}

std::string ProfilePanel::notSentReason() const {
    return status_.messageOf(StatusLine::Source::Exchange).toStdString();
}

void ProfilePanel::setWriteAllCaption(std::string_view caption) {
    writeAll_->setText(utf8(caption));
}

bool ProfilePanel::highlight(std::string_view control, bool on) {
    auto* field = window_->findChild<QWidget*>(utf8(control));
    if (!field) return false;
    field->setStyleSheet(on ? QLatin1StringView(kHighlight) : QString());
    return true;
}

void ProfilePanel::reportAnswer(std::string_view text) {
    emit commandAnswered(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

QString ProfilePanel::chooseFile(bool save, bool report) {
    if (fileHook()) return fileHook()(save, lastFolder_);
    if (report) {
        const QString filter = pdfAvailable() ? QStringLiteral("Web page (*.html);;PDF (*.pdf)")
                                              : QStringLiteral("Web page (*.html)");
        return QFileDialog::getSaveFileName(window_, QStringLiteral("Save Report"), lastFolder_,
                                            filter);
    }
    const QString filter = QStringLiteral("Profiles (*.json);;All files (*)");
    return save ? QFileDialog::getSaveFileName(window_, QStringLiteral("Save Profile"), lastFolder_,
                                               filter)
                : QFileDialog::getOpenFileName(window_, QStringLiteral("Load Profile"), lastFolder_,
                                               filter);
}

void ProfilePanel::setLastFolder(const QString& folder) {
    if (folder == lastFolder_) return;
    lastFolder_ = folder;
    emit lastFolderChanged(folder);
}

std::string ProfilePanel::portName() const {
    const auto* ports = window_->findChild<QComboBox*>(QStringLiteral("SPREALCOM"));
    return ports ? QFile::encodeName(ports->currentText()).toStdString() : std::string();
}

void ProfilePanel::save() {
    const std::optional<kvproto::CollectorSettings> settings = session_->fieldSettings(true);
    if (!settings) return;
    const QString file = chooseFile(true);
    if (file.isEmpty()) return;
    setLastFolder(QFileInfo(file).absolutePath());
    const kvprofile::Profile profile{kvprofile::utcNow(), portName(),
                                     std::string(kvprofile::kWindowTool), *settings};
    std::string error;
    if (!kvprofile::writeProfileFile(QFile::encodeName(file).toStdString(), profile, &error)) {
        messages_.showMessage(error);
        return;
    }
    status_.note(StatusLine::Source::Profile,
                 QStringLiteral("Saved %1 settings to %2.").arg(settings->size()).arg(file));
}

void ProfilePanel::load() {
    const QString file = chooseFile(false);
    if (file.isEmpty()) return;
    setLastFolder(QFileInfo(file).absolutePath());
    kvprofile::ReadResult read = kvprofile::readProfileFile(QFile::encodeName(file).toStdString());
    if (!read.profile) {
        messages_.showMessage(read.error);
        return;
    }
    session_->load(read.profile->settings, file.toStdString(),
                   QFileInfo(file).fileName().toStdString());
}

void ProfilePanel::writeAllOrCancel() {
    session_->writeAllOrCancel();
}

void ProfilePanel::verify() {
    session_->verify();
}

void ProfilePanel::report() {
    if (busy()) return;
    const QString file = chooseFile(true, true);
    if (file.isEmpty()) return;
    setLastFolder(QFileInfo(file).absolutePath());
    session_->report(file.toStdString());
}

void ProfilePanel::portClosed() {
    session_->portClosed();
}

std::string ProfilePanel::saveReport(const std::string& path,
                                     const kvpresenter::VerifiedRow& verified) {
    kvsite::RowOutcome row;
    row.result.port = verified.port;
    row.result.differences = verified.differences;
    row.result.where = verified.where;
    row.profile = verified.profile;
    row.station = verified.station;
    row.planned = verified.planned;
    row.after = verified.after;
    row.afterRead = true;
    row.beforeRead = verified.beforeRead;
    row.before = verified.before;
    row.startedMs = verified.startedMs;
    row.finishedMs = verified.finishedMs;
    kvsite::Report sheet;
    sheet.site = verified.port;
    sheet.toolVersion = KV_VERSION;
    sheet.startedMs = verified.startedMs;
    sheet.finishedMs = verified.finishedMs;
    sheet.rows.push_back(std::move(row));
    return saveCollectorReport(sheet, QString::fromStdString(path)).toStdString();
}

QStringList ProfilePanel::highlightedFields() const {
    QStringList names;
    for (const std::string& name : session_->highlightedFields())
        names << QString::fromStdString(name);
    return names;
}
