// The port list keeps "COM1".."COM19", replaces what follows with the ports present, and
// keeps the user's choice.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QSignalSpy>
#include <QStringList>

#include "main1/adapters/PortList.h"

namespace {

QStringList fixedItems() {
    QStringList items;
    for (int n = 1; n <= kFixedPortItems; ++n) items << QStringLiteral("COM%1").arg(n);
    return items;
}

QStringList itemsOf(const QComboBox& list) {
    QStringList items;
    for (int i = 0; i < list.count(); ++i) items << list.itemText(i);
    return items;
}

const QList<PresentPort> kUsbAndAcm = {
    {QStringLiteral("/dev/ttyACM0"), QStringLiteral("Modem\nMaker A")},
    {QStringLiteral("/dev/ttyUSB0"), QStringLiteral("USB serial\nVID:PID 0403:6001")},
};

struct RefreshCase {
    const char* what;
    bool editable;
    QStringList before;  // items after the fixed ones before the refresh
    QString select;      // item selected (or text typed) before the refresh
    bool typed;
    QList<PresentPort> present;
    QStringList after;  // items after the fixed ones
    int index;          // selected item afterwards
    QString text;       // current text afterwards
};

const RefreshCase kRefreshCases[] = {
    {"fixed item stays selected, ports appended",
     false,
     {},
     "COM3",
     false,
     kUsbAndAcm,
     {"/dev/ttyACM0", "/dev/ttyUSB0"},
     2,
     "COM3"},
    {"stale items removed",
     false,
     {"/dev/gone1", "/dev/gone2"},
     "COM19",
     false,
     kUsbAndAcm,
     {"/dev/ttyACM0", "/dev/ttyUSB0"},
     18,
     "COM19"},
    {"chosen present port stays chosen at its new place",
     false,
     {"/dev/ttyUSB0"},
     "/dev/ttyUSB0",
     false,
     kUsbAndAcm,
     {"/dev/ttyACM0", "/dev/ttyUSB0"},
     20,
     "/dev/ttyUSB0"},
    {"chosen port unplugged: nothing selected",
     false,
     {"/dev/ttyUSB1"},
     "/dev/ttyUSB1",
     false,
     kUsbAndAcm,
     {"/dev/ttyACM0", "/dev/ttyUSB0"},
     -1,
     ""},
    {"chosen port unplugged, editable: its name stays typed",
     true,
     {"/dev/ttyUSB1"},
     "/dev/ttyUSB1",
     false,
     kUsbAndAcm,
     {"/dev/ttyACM0", "/dev/ttyUSB0"},
     -1,
     "/dev/ttyUSB1"},
    {"typed device path kept",
     true,
     {},
     "/dev/pts/7",
     true,
     kUsbAndAcm,
     {"/dev/ttyACM0", "/dev/ttyUSB0"},
     -1,
     "/dev/pts/7"},
    {"typed name of a listed port selects it", true, {}, "COM3", true, {}, {}, 2, "COM3"},
    {"no ports present", false, {"/dev/ttyUSB0"}, "COM1", false, {}, {}, 0, "COM1"},
    {"a present COMn is not listed twice",
     false,
     {},
     "COM4",
     false,
     {{QStringLiteral("COM4"), QStringLiteral("Prolific")},
      {QStringLiteral("COM25"), QStringLiteral("FTDI")}},
     {"COM25"},
     3,
     "COM4"},
};

TEST(PortListTest, RefreshKeepsFixedItemsAndTheChoice) {
    for (const RefreshCase& c : kRefreshCases) {
        SCOPED_TRACE(c.what);
        QComboBox list;
        list.setEditable(c.editable);
        list.addItems(fixedItems() + c.before);
        if (c.typed)
            list.setEditText(c.select);
        else
            list.setCurrentIndex(list.findText(c.select));
        QSignalSpy indexChanges(&list, &QComboBox::currentIndexChanged);

        refreshPortList(&list, c.present);

        EXPECT_EQ(itemsOf(list), fixedItems() + c.after);
        EXPECT_EQ(list.currentIndex(), c.index);
        EXPECT_EQ(list.currentText(), c.text);
        EXPECT_EQ(indexChanges.count(), 0);
    }
}

TEST(PortListTest, ToolTipsNameTheAdapter) {
    QComboBox list;
    list.addItems(fixedItems() + QStringList{"/dev/old"});
    list.setItemData(4, QStringLiteral("stale tip"), Qt::ToolTipRole);
    refreshPortList(&list, {{QStringLiteral("COM2"), QStringLiteral("tip of COM2")},
                            {QStringLiteral("/dev/ttyUSB0"), QStringLiteral("tip of USB0")}});
    EXPECT_EQ(list.itemData(1, Qt::ToolTipRole).toString(), QStringLiteral("tip of COM2"));
    EXPECT_FALSE(list.itemData(4, Qt::ToolTipRole).isValid());
    EXPECT_EQ(list.itemData(19, Qt::ToolTipRole).toString(), QStringLiteral("tip of USB0"));
}

TEST(PortListTest, ToolTipText) {
    struct Case {
        QString description, manufacturer;
        std::optional<quint16> vid, pid;
        QString serial, expected;
    };
    const Case cases[] = {
        {"FT232R USB UART", "FTDI", 0x0403, 0x6001, "A50285BI",
         "FT232R USB UART\nFTDI\nVID:PID 0403:6001\nSerial number A50285BI"},
        {"USB-Serial", "", 0x1a86, 0x7523, "", "USB-Serial\nVID:PID 1A86:7523"},
        {"", "", 0x0001, std::nullopt, "", ""},  // half an id says nothing
        {"ttyS0", "", std::nullopt, std::nullopt, "", "ttyS0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected.toStdString());
        EXPECT_EQ(portToolTip(c.description, c.manufacturer, c.vid, c.pid, c.serial), c.expected);
    }
}

TEST(PortListTest, RealEnumerationKeepsTheFixedItemsAndSelection) {
    QComboBox list;
    list.addItems(fixedItems() + QStringList{"/dev/not-a-port-here"});
    list.setCurrentIndex(2);
    refreshPortList(&list);
    EXPECT_EQ(itemsOf(list).mid(0, kFixedPortItems), fixedItems());
    EXPECT_EQ(list.findText(QStringLiteral("/dev/not-a-port-here")), -1);
    EXPECT_EQ(list.currentText(), QStringLiteral("COM3"));
    const QList<PresentPort> present = presentPorts();
    for (const PresentPort& port : present) EXPECT_GE(list.findText(port.name), 0);
    for (int i = 1; i < present.size(); ++i) EXPECT_LE(present[i - 1].name, present[i].name);
}

}  // namespace
