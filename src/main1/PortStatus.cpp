#include "main1/PortStatus.h"

#include <cerrno>

namespace kvmain {

QString openFailureStatus(const spcomm::ECommsError& error, const QString& port) {
    QString text =
        QStringLiteral("%1 (%2)").arg(QString::fromLocal8Bit(error.what()).trimmed(), port);
    if (!error.reason().empty())
        text += QStringLiteral(": ") + QString::fromStdString(error.reason());
    text += QLatin1Char('.');
#if defined(__linux__)
    if (error.code() == EACCES || error.code() == EPERM) {
        text += QStringLiteral(
            " The user needs to be in the dialout group to use serial ports "
            "(sudo usermod -aG dialout $USER, then log in again).");
    }
#endif
    return text;
}

}  // namespace kvmain
