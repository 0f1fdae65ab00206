// Ports the enumeration finds are offered as device paths that TComm can open, whatever
// serial hardware the machine has: the real enumeration plus pseudo-terminals and the
// /dev/ttyS* nodes present, described the way the enumeration describes ports.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <memory>
#include <vector>

#include "PtyPair.h"
#include "main1/adapters/PortList.h"

namespace {

// A port as the enumeration reports it: its name is the device path without "/dev/".
EnumeratedPort described(const QString& path) {
    EnumeratedPort port;
    port.systemLocation = path;
    port.portName = path.startsWith(QStringLiteral("/dev/")) ? path.mid(5) : path;
    return port;
}

bool isCharacterDevice(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISCHR(st.st_mode);
}

TEST(PortListPathsTest, DetectedPortsAreDevicePathsThatOpen) {
    QList<EnumeratedPort> enumerated = enumeratedPorts();
    QSet<QString> known;
    for (const EnumeratedPort& port : enumerated) known.insert(port.systemLocation);

    // Pseudo-terminals: terminal devices under /dev/pts that the enumeration never lists.
    std::vector<std::unique_ptr<kvtest::PtyPair>> masters;
    QStringList ptys;
    for (int i = 0; i < 2; ++i) {
        masters.push_back(std::make_unique<kvtest::PtyPair>());
        ptys << QString::fromStdString(masters.back()->path());
        enumerated.append(described(ptys.back()));
    }
    const QStringList nodes =
        QDir(QStringLiteral("/dev")).entryList({QStringLiteral("ttyS*")}, QDir::System);
    for (const QString& node : nodes) {
        const QString path = QStringLiteral("/dev/") + node;
        if (!known.contains(path)) enumerated.append(described(path));
    }

    const QList<PresentPort> present = presentPorts(enumerated);
    ASSERT_EQ(present.size(), enumerated.size());
    QSet<QString> names;
    for (const PresentPort& port : present) {
        SCOPED_TRACE(port.name.toStdString());
        names.insert(port.name);
        EXPECT_TRUE(QFileInfo(port.name).isAbsolute());
        EXPECT_TRUE(isCharacterDevice(port.name));
    }
    // Each pseudo-terminal is offered, and opens the way TComm opens a port.
    for (const QString& pty : ptys) {
        SCOPED_TRACE(pty.toStdString());
        ASSERT_TRUE(names.contains(pty));
        const int slave =
            ::open(QFile::encodeName(pty).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        EXPECT_GE(slave, 0);
        if (slave >= 0) ::close(slave);
    }
}

// What the window offers is what the enumeration finds, each as its device path.
TEST(PortListPathsTest, PresentPortsAreTheEnumeratedDevicePaths) {
    QStringList expected;
    for (const EnumeratedPort& port : enumeratedPorts()) {
        EXPECT_TRUE(isCharacterDevice(port.systemLocation)) << port.systemLocation.toStdString();
        expected << port.systemLocation;
    }
    expected.sort();
    QStringList offered;
    for (const PresentPort& port : presentPorts()) offered << port.name;
    EXPECT_EQ(offered, expected);
}

}  // namespace
