#include "main1/CollectorReport.h"

#include <QtGui/qtguiglobal.h>

#include <QBuffer>
#include <QFile>
#include <QTextDocument>

#include "files/ReplacingFile.h"

#if QT_CONFIG(pdf)
#include <QPageSize>
#include <QPdfWriter>
#endif

namespace {

// The PDF's bytes, drawn by QTextDocument from the report's HTML; empty when there is no
// PDF writer.
QByteArray pdfOf(const std::string& html) {
#if QT_CONFIG(pdf)
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(150);
        writer.setTitle(QStringLiteral("Commissioning report"));
        writer.setCreator(QStringLiteral("kv480t-config"));
        QTextDocument document;
        document.setHtml(QString::fromStdString(html));
        document.print(&writer);
    }
    return buffer.data();
#else
    (void)html;
    return {};
#endif
}

}  // namespace

bool pdfAvailable() {
#if QT_CONFIG(pdf)
    return true;
#else
    return false;
#endif
}

QString saveCollectorReport(const kvsite::Report& report, const QString& path) {
    const std::string html = kvsite::reportHtml(report);
    std::string contents = html;
    if (path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) {
        if (!pdfAvailable())
            return QStringLiteral("%1: this build cannot write PDF; save the report as .html")
                .arg(path);
        const QByteArray pdf = pdfOf(html);
        contents.assign(pdf.constData(), static_cast<std::size_t>(pdf.size()));
    }
    const std::string error =
        kvfiles::writeWholeFile(QFile::encodeName(path).toStdString(), contents);
    return QString::fromStdString(error);
}
