// The main window at its start values, its layout at 1025 x 599, its pictures, its timers
// and the "Clear Buffer" button.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <vector>

#include "FakeWindow.h"
#include "PtyPair.h"
#include "WindowFixture.h"
#include "main1/KeyFilters.h"
#include "main1/adapters/Pictures.h"
#include "presenter/DeviceSession.h"
#include "protocol/Parameters.h"
#include "protocol/SetCommands.h"

namespace {

using kvtest::WindowTest;

enum class Kind { Label, Button, Edit, List, Group, Page, Picture, Memo };

struct ControlRow {
    const char* name;
    Kind kind;
    const char* text;  // caption, title, initial text or list text
    int page;          // 0: System Parameters, 1: Wiring Diagram, -1: outside the pages
};

const QString kSet = QStringLiteral("Set");

// Every control of the window with its kind and start text.
const std::vector<ControlRow>& controls() {
    static const std::vector<ControlRow> rows = {
        {"Image2", Kind::Picture, "", -1},
        {"Label59", Kind::Label, "KV480T-R-2 Collector Configuration Software ", -1},
        {"Label60", Kind::Label, "V1.2 23-06-22", -1},
        {"Label95", Kind::Label, "AD5", -1},
        {"Label94", Kind::Label, "AD6", -1},
        {"Label91", Kind::Label, "AD7", -1},
        {"Label90", Kind::Label, "AD8", -1},
        {"Label89", Kind::Label, "AD9", -1},
        {"Label88", Kind::Label, "AD10", -1},
        {"PageControl1", Kind::Group, nullptr, -1},
        {"TabSheet2", Kind::Page, "System Parameters", -1},
        {"TabSheet19", Kind::Page, "Wiring Diagram", -1},
        {"Label4", Kind::Label, "Serial Port:", 0},
        {"SPREALCOM", Kind::List, "COM3", 0},
        {"Button10", Kind::Button, "Open", 0},
        {"Button14", Kind::Button, "Communication Test", 0},
        {"Button32", Kind::Button, "Read Parameters", 0},
        {"Button19", Kind::Button, "Parameter Initialization", 0},
        {"Button124", Kind::Button, "Data Query", 0},
        {"GroupBox7", Kind::Group, "", 0},
        {"Label526", Kind::Label, "", 0},
        {"GroupBox14", Kind::Group, "AD Channel Configuration", 0},
        {"Label47", Kind::Label, "Starting Point", 0},
        {"Label46", Kind::Label, "LRV", 0},
        {"Label45", Kind::Label, "URV", 0},
        {"Label132", Kind::Label, "Coefficient", 0},
        {"Label69", Kind::Label, "AD1\uFF1A", 0},
        {"Label70", Kind::Label, "AD2\uFF1A", 0},
        {"Label1", Kind::Label, "AD3\uFF1A", 0},
        {"Label2", Kind::Label, "AD4\uFF1A", 0},
        {"AD1LD", Kind::Edit, "", 0},
        {"AD1L", Kind::Edit, "", 0},
        {"AD1H", Kind::Edit, "", 0},
        {"AD1XISHU", Kind::Edit, "", 0},
        {"AD2LD", Kind::Edit, "", 0},
        {"AD2L", Kind::Edit, "", 0},
        {"AD2H", Kind::Edit, "", 0},
        {"AD2XISHU", Kind::Edit, "", 0},
        {"AD3LD", Kind::Edit, "", 0},
        {"AD3L", Kind::Edit, "", 0},
        {"AD3H", Kind::Edit, "", 0},
        {"AD3XISHU", Kind::Edit, "", 0},
        {"AD4LD", Kind::Edit, "", 0},
        {"AD4L", Kind::Edit, "", 0},
        {"AD4H", Kind::Edit, "", 0},
        {"AD4XISHU", Kind::Edit, "", 0},
        {"AD1SET", Kind::Button, "Set", 0},
        {"Button85", Kind::Button, "Set", 0},
        {"AD2SET", Kind::Button, "Set", 0},
        {"Button86", Kind::Button, "Set", 0},
        {"Button1", Kind::Button, "Set", 0},
        {"Button9", Kind::Button, "Set", 0},
        {"Button2", Kind::Button, "Set", 0},
        {"Button11", Kind::Button, "Set", 0},
        {"GroupBox11", Kind::Group, "Digital I/O Configuration", 0},
        {"Label85", Kind::Label, "DIN1:", 0},
        {"DIN1", Kind::List, "Digital Input Acquisition", 0},
        {"Label86", Kind::Label, "DIN2:", 0},
        {"DIN2", Kind::List, "Digital Input Acquisition", 0},
        {"Label10", Kind::Label, "DIN2 Pulse Eq:", 0},
        {"PUDLING", Kind::List, "100 pulses per ton of water", 0},
        {"Label18", Kind::Label, "DIN2 Pulse Width:", 0},
        {"Edit3", Kind::Edit, "5", 0},
        {"Label22", Kind::Label, "0.005MS", 0},
        {"Button46", Kind::Button, "Set", 0},
        {"Button47", Kind::Button, "Set", 0},
        {"Button15", Kind::Button, "Set", 0},
        {"Button8", Kind::Button, "Set", 0},
        {"GroupBox12", Kind::Group, "GroupBox3", 0},
        {"GroupBox13", Kind::Group, "Pulse Base Value Setting", 0},
        {"Label92", Kind::Label, "PIN1:", 0},
        {"PUSET1", Kind::Edit, "", 0},
        {"Button52", Kind::Button, "Set", 0},
        {"Label93", Kind::Label, "PIN2:", 0},
        {"PUSET2", Kind::Edit, "", 0},
        {"Button53", Kind::Button, "Set", 0},
        {"GroupBox39", Kind::Group, "RS485 communication parameters", 0},
        {"Label419", Kind::Label, "Baud Rate:", 0},
        {"MR485BT", Kind::List, "9600", 0},
        {"Label422", Kind::Label, "Parity:", 0},
        {"MR485JN", Kind::List, "None", 0},
        {"Button188", Kind::Button, "Set", 0},
        {"Label8", Kind::Label, "MODBUS Adr(3 Bit):", 0},
        {"Station", Kind::Edit, "000", 0},
        {"Button4", Kind::Button, "Set", 0},
        {"GroupBox4", Kind::Group, "AD1 Channel Totalization", 0},
        {"Label3", Kind::Label, "Integer Base Value:", 0},
        {"PUSET3", Kind::Edit, "0000000", 0},
        {"PButton52", Kind::Button, "Set", 0},
        {"Label35", Kind::Label, "Decimal Base Value:", 0},
        {"PUSET1XIAO", Kind::Edit, "000", 0},
        {"Button3", Kind::Button, "Set", 0},
        {"GroupBox2", Kind::Group, "Output Pulse Equivalent", 0},
        {"ComboBox1", Kind::List, "1", 0},
        {"Button7", Kind::Button, "Set", 0},
        {"Edit2", Kind::Edit, "001", 0},
        {"Label6", Kind::Label, "*0.005MS", 0},
        {"Button6", Kind::Button, "Set", 0},
        {"GroupBox1", Kind::Group, "Residual Cutoff", 0},
        {"Label5", Kind::Label, "AD1 Channel:", 0},
        {"Edit1", Kind::Edit, "0.000", 0},
        {"Button5", Kind::Button, "Set", 0},
        {"GroupBox3", Kind::Group, "Communication Interface", 0},
        {"Label7", Kind::Label, "Interface Type:", 0},
        {"BRS485NX", Kind::List, "0_Close", 0},
        {"Button12", Kind::Button, "Set", 0},
        {"Image1", Kind::Picture, "", 1},
        {"Label353", Kind::Label, "Send Buffer:", -1},
        {"discomm", Kind::Edit, "", -1},
        {"Label354", Kind::Label, "Receive Buffer:", -1},
        {"Memo8", Kind::Memo, "", -1},
        {"Button58", Kind::Button, "Clear Buffer", -1},
    };
    return rows;
}

// The text a user sees on the control at start.
QString shownText(QWidget* widget, Kind kind) {
    switch (kind) {
        case Kind::Label:
        case Kind::Picture:
            return qobject_cast<QLabel*>(widget)->text();
        case Kind::Button:
            return qobject_cast<QPushButton*>(widget)->text();
        case Kind::Edit:
            return qobject_cast<QLineEdit*>(widget)->text();
        case Kind::List: {
            auto* list = qobject_cast<QComboBox*>(widget);
            return list->currentIndex() < 0 ? list->placeholderText() : list->currentText();
        }
        case Kind::Group:
            return qobject_cast<QGroupBox*>(widget)->title();
        case Kind::Memo:
            return qobject_cast<QPlainTextEdit*>(widget)->toPlainText();
        case Kind::Page: {
            auto* pages = widget->window()->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
            return pages->tabText(pages->indexOf(widget));
        }
    }
    return {};
}

const char* className(Kind kind) {
    switch (kind) {
        case Kind::Label:
        case Kind::Picture:
            return "QLabel";
        case Kind::Button:
            return "QPushButton";
        case Kind::Edit:
            return "QLineEdit";
        case Kind::List:
            return "QComboBox";
        case Kind::Group:
            return "QGroupBox";
        case Kind::Memo:
            return "QPlainTextEdit";
        case Kind::Page:
            return "QWidget";
    }
    return "";
}

using FormTest = WindowTest;

TEST_F(FormTest, EveryControlExistsWithItsKindAndStartText) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("KV480T-R-2"));
    EXPECT_EQ(window->objectName(), QStringLiteral("Tmainform1"));
    for (const ControlRow& row : controls()) {
        SCOPED_TRACE(row.name);
        QWidget* widget = w<QWidget>(row.name);
        ASSERT_NE(widget, nullptr);
        if (std::string_view(row.name) == "PageControl1") {
            EXPECT_TRUE(widget->inherits("QTabWidget"));
            continue;
        }
        EXPECT_TRUE(widget->inherits(className(row.kind))) << widget->metaObject()->className();
        EXPECT_EQ(shownText(widget, row.kind), QString::fromUtf8(row.text));
    }
}

// The parameter table against the real form: each parameter's control exists with the
// table's kind and items, its Set button exists, and exactly the table's fields filter keys.
TEST_F(FormTest, ParameterTableMatchesTheForm) {
    for (const kvproto::Parameter& p : kvproto::parameters()) {
        SCOPED_TRACE(std::string(p.name));
        const QString control = QString::fromLatin1(p.control.data(), p.control.size());
        const QString button = QString::fromLatin1(p.button.data(), p.button.size());
        auto* setButton = window->findChild<QPushButton*>(button);
        ASSERT_NE(setButton, nullptr) << p.button.data();
        EXPECT_EQ(setButton->text(), kSet);
        if (p.isList()) {
            auto* list = window->findChild<QComboBox*>(control);
            ASSERT_NE(list, nullptr);
            ASSERT_EQ(static_cast<std::size_t>(list->count()), p.items.size());
            for (int i = 0; i < list->count(); ++i)
                EXPECT_EQ(list->itemText(i).toStdString(), p.items[static_cast<std::size_t>(i)]);
        } else {
            auto* edit = window->findChild<QLineEdit*>(control);
            ASSERT_NE(edit, nullptr);
            const kvmain::KeyFilterRule* rule = kvmain::keyFilterRuleFor(control);
            EXPECT_EQ(rule != nullptr, p.keyFilter);
            if (rule) {
                EXPECT_EQ(rule->limit + 1, p.width);
            }
        }
    }
    // Every "Set" button of the form sends a command of the table.
    int setButtons = 0;
    for (QPushButton* b : window->findChildren<QPushButton*>()) {
        if (b->text() != kSet) continue;
        ++setButtons;
        EXPECT_NE(kvproto::findSetCommand(b->objectName().toStdString()), nullptr)
            << b->objectName().toStdString();
    }
    EXPECT_EQ(setButtons, 22);
}

// The protocol suites' fake window holds the real form's controls, kinds, start texts and
// items, so what they prove about the fake holds for the window.
TEST_F(FormTest, FakeWindowOfTheProtocolSuitesMatchesTheForm) {
    using Kind = kvtest::FakeControls::Kind;
    kvtest::FakeControls fake(nullptr);
    kvtest::fillStartValues(fake);
    int checked = 0;
    fake.forEachControl([&](const std::string& name, Kind kind, const std::string& text,
                            const std::vector<std::string>& items) {
        SCOPED_TRACE(name);
        const QString qname = QString::fromStdString(name);
        const QString qtext = QString::fromStdString(text);
        ++checked;
        switch (kind) {
            case Kind::Edit: {
                auto* edit = window->findChild<QLineEdit*>(qname);
                ASSERT_NE(edit, nullptr);
                EXPECT_EQ(edit->text(), qtext);
                break;
            }
            case Kind::Memo: {
                auto* memo = window->findChild<QPlainTextEdit*>(qname);
                ASSERT_NE(memo, nullptr);
                EXPECT_EQ(memo->toPlainText(), qtext);
                break;
            }
            case Kind::Button: {
                auto* button = window->findChild<QPushButton*>(qname);
                ASSERT_NE(button, nullptr);
                EXPECT_EQ(button->text(), qtext);
                break;
            }
            case Kind::List: {
                auto* list = window->findChild<QComboBox*>(qname);
                ASSERT_NE(list, nullptr);
                // With no item selected a list shows its placeholder.
                EXPECT_EQ(list->currentIndex() < 0 ? list->placeholderText() : list->currentText(),
                          qtext);
                ASSERT_EQ(static_cast<std::size_t>(list->count()), items.size());
                for (int i = 0; i < list->count(); ++i)
                    EXPECT_EQ(list->itemText(i).toStdString(), items[static_cast<std::size_t>(i)]);
                break;
            }
        }
    });
    EXPECT_GT(checked, 50);
}

TEST_F(FormTest, HeaderCarriesPlaceholderContacts) {
    EXPECT_TRUE(w<QLabel>("Label9")->text().startsWith(QStringLiteral("E-mail:")));
    EXPECT_TRUE(w<QLabel>("Label9")->text().contains(QStringLiteral("example.com")));
    EXPECT_TRUE(w<QLabel>("Label11")->text().contains(QStringLiteral("example.com")));
    EXPECT_TRUE(w<QLabel>("Label12")->text().startsWith(QStringLiteral("Tel:")));
    const QFont title = w<QLabel>("Label59")->font();
    EXPECT_TRUE(title.bold());
    EXPECT_EQ(title.family(), QStringLiteral("Arial"));
    EXPECT_EQ(window->font().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(window->font().pointSize(), 8);
}

struct ListRow {
    const char* name;
    QStringList items;
    int index;
};

TEST_F(FormTest, ListsHoldTheirItemsAndDefaultSelection) {
    QStringList coms;
    for (int i = 1; i <= 19; ++i) coms << QStringLiteral("COM%1").arg(i);
    const QStringList din = {"Digital Input Acquisition", "Pulse Counting"};
    const ListRow rows[] = {
        {"SPREALCOM", coms, 2},
        {"DIN1", din, 0},
        {"DIN2", din, 0},
        {"PUDLING",
         {"100 pulses per ton of water", "10 pulses per ton of water", "1 pulses per ton of water",
          "1 pulse for 10 tons of water", "1 pulse for 100 tons of water", "", ""},
         0},
        {"MR485BT",
         {"1200", "2400", "4800", "9600", "19200", "1200(DY)", "2400(DY)", "4800(DY)", "9600(DY)",
          "19200(DY)"},
         3},
        {"MR485JN", {"None", "Odd", "Even"}, 0},
        {"ComboBox1", {"1", "0.1", "0.01", "0.001"}, 0},
        {"BRS485NX", {"0_Close", "1_NET", "2_RS485"}, -1},
    };
    for (const ListRow& row : rows) {
        SCOPED_TRACE(row.name);
        auto* list = w<QComboBox>(row.name);
        ASSERT_NE(list, nullptr);
        QStringList items;
        for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
        EXPECT_EQ(items, row.items);
        EXPECT_EQ(list->currentIndex(), row.index);
    }
    // A device path can be typed into the port list.
    EXPECT_TRUE(w<QComboBox>("SPREALCOM")->isEditable());
}

// BRS485NX has no selected item yet looks exactly like a list showing "0_Close".
TEST_F(FormTest, InterfaceTypeShowsCloseWithoutSelection) {
    auto* list = w<QComboBox>("BRS485NX");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->currentIndex(), -1);
    QComboBox reference(list->parentWidget());
    reference.setFont(list->font());
    reference.setPalette(list->palette());
    reference.addItems({"0_Close", "1_NET", "2_RS485"});
    reference.setCurrentIndex(0);
    reference.setGeometry(list->geometry());
    reference.show();
    const QImage shown = list->grab().toImage();
    const QImage expected = reference.grab().toImage();
    EXPECT_FALSE(shown.isNull());
    EXPECT_EQ(shown, expected);
    reference.setCurrentIndex(1);
    EXPECT_NE(shown, reference.grab().toImage());  // the comparison can tell texts apart
}

// Once the collector has reported an interface type, a later read-back beyond the items
// leaves BRS485NX without a selection (its Set sends -1); it must not look like any item.
TEST_F(FormTest, InterfaceTypeLosingItsChoiceLooksLikeNoItem) {
    auto* list = w<QComboBox>("BRS485NX");
    ASSERT_NE(list, nullptr);
    kvtest::PtyPair line;
    openPort(line.path());
    const auto readBack = [&](const std::string& reply) {
        click("Button32");
        ASSERT_EQ(line.readText(15), "PPPPPP#CHEACK1#");
        line.writeText(reply);
        ASSERT_TRUE(kvtest::waitUntil([&] { return idle() && memo() == reply; }));
    };
    const auto looksLikeItem = [&](int item) {
        QComboBox reference(list->parentWidget());
        reference.setFont(list->font());
        reference.setPalette(list->palette());
        reference.addItems({"0_Close", "1_NET", "2_RS485"});
        reference.setCurrentIndex(item);
        reference.setGeometry(list->geometry());
        reference.show();
        return list->grab().toImage() == reference.grab().toImage();
    };

    readBack("BRS485X:1#");
    ASSERT_EQ(list->currentIndex(), 1);
    EXPECT_TRUE(looksLikeItem(1));  // the comparison recognises a chosen item
    readBack("BRS485X:7#");
    ASSERT_EQ(list->currentIndex(), -1);
    for (int item = 0; item < 3; ++item) EXPECT_FALSE(looksLikeItem(item)) << item;
    readBack("BRS485X:0#");  // a valid report shows its item again
    EXPECT_EQ(list->currentIndex(), 0);
    EXPECT_TRUE(looksLikeItem(0));
}

// The pages and group boxes show the window's silver wherever no control covers them.
TEST_F(FormTest, PagesAndGroupsAreSilver) {
    const QColor silver(0xC0, 0xC0, 0xC0);
    const struct {
        const char* area;
        int page;
    } rows[] = {
        {"TabSheet2", 0}, {"GroupBox14", 0}, {"GroupBox3", 0}, {"GroupBox39", 0}, {"TabSheet19", 1},
    };
    auto* pages = w<QTabWidget>("PageControl1");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.area);
        pages->setCurrentIndex(row.page);
        QWidget* area = w<QWidget>(row.area);
        ASSERT_TRUE(kvtest::waitUntil([&] { return area->isVisible(); }));
        // The whole window as it is drawn: a grab of the area alone would fill in its
        // background whether the window paints it or not.
        const QImage shown = window->grab().toImage();
        const qreal scale = shown.devicePixelRatio();
        int sampled = 0, silverPixels = 0;
        QStringList others;
        const QRect inside = area->contentsRect().adjusted(3, 3, -3, -3);
        for (int y = inside.top(); y <= inside.bottom(); y += 5)
            for (int x = inside.left(); x <= inside.right(); x += 5) {
                if (area->childAt(x, y)) continue;  // a control, not the area's own background
                const QPoint at = area->mapTo(window.get(), QPoint(x, y)) * scale;
                const QColor colour = shown.pixelColor(at);
                ++sampled;
                if (colour.rgb() == silver.rgb())
                    ++silverPixels;
                else if (others.size() < 3)
                    others << QStringLiteral("%1,%2: %3").arg(x).arg(y).arg(colour.name());
            }
        EXPECT_GE(sampled, 20);
        EXPECT_EQ(silverPixels, sampled) << others.join(QStringLiteral("; ")).toStdString();
    }
}

TEST_F(FormTest, FormCreateAndTimersLeaveTheStartState) {
    EXPECT_EQ(w<QTabWidget>("PageControl1")->currentWidget(), w<QWidget>("TabSheet2"));
    EXPECT_TRUE(w<QPushButton>("Button10")->isEnabled());
    EXPECT_TRUE(w<QComboBox>("SPREALCOM")->isEnabled());
    EXPECT_TRUE(w<QPushButton>("Button14")->isEnabled());
    EXPECT_TRUE(w<QPushButton>("Button19")->isEnabled());
    EXPECT_EQ(w<QPushButton>("Button10")->text(), QStringLiteral("Open"));

    auto* timer3 = w<QTimer>("Timer3");
    auto* timer6 = w<QTimer>("Timer6");
    ASSERT_NE(timer3, nullptr);
    ASSERT_NE(timer6, nullptr);
    EXPECT_FALSE(timer3->isActive());
    EXPECT_EQ(timer3->interval(), 1000);
    EXPECT_EQ(timer6->interval(), 200);
    // Timer6 starts enabled; its first tick finds nothing to do and stops it for good.
    {
        Tmainform1 fresh;
        EXPECT_TRUE(kvtest::control<QTimer>(fresh, "Timer6")->isActive());
        EXPECT_FALSE(kvtest::control<QTimer>(fresh, "Timer3")->isActive());
    }
    QTest::qWait(300);
    EXPECT_FALSE(timer6->isActive());
    EXPECT_FALSE(timer3->isActive());
}

void checkPlacement(QWidget& window, const std::vector<QWidget*>& widgets) {
    const QRect windowRect = window.rect();
    for (QWidget* widget : widgets) {
        SCOPED_TRACE(widget->objectName().toStdString());
        EXPECT_TRUE(widget->isVisible());
        const QRect geometry = widget->geometry();
        EXPECT_FALSE(geometry.isEmpty());
        EXPECT_TRUE(widget->parentWidget()->rect().contains(geometry));
        const QRect inWindow(widget->mapTo(&window, QPoint(0, 0)), widget->size());
        EXPECT_TRUE(windowRect.contains(inWindow));
        // Not squeezed: a caption fits, an entry field shows a line of text.
        const QFontMetrics metrics(widget->font());
        EXPECT_GE(widget->height(), metrics.height());
        if (auto* label = qobject_cast<QLabel*>(widget); label && label->pixmap().isNull()) {
            EXPECT_GE(label->width(), metrics.horizontalAdvance(label->text()));
        }
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_GE(button->width(), metrics.horizontalAdvance(button->text()) + 4);
        }
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            EXPECT_GE(edit->width(), metrics.horizontalAdvance(QStringLiteral("00000000")));
        }
    }
    for (size_t i = 0; i < widgets.size(); ++i)
        for (size_t j = i + 1; j < widgets.size(); ++j) {
            if (widgets[i]->parentWidget() != widgets[j]->parentWidget()) continue;
            EXPECT_FALSE(widgets[i]->geometry().intersects(widgets[j]->geometry()))
                << widgets[i]->objectName().toStdString() << " overlaps "
                << widgets[j]->objectName().toStdString();
        }
}

TEST_F(FormTest, LayoutFitsTheWindowOnBothPages) {
    // The outer size, frame included (the offscreen platform draws a thin frame too).
    EXPECT_TRUE(kvtest::waitUntil([&] {
        return window->frameGeometry().size() == QSize(1025, 599);
    })) << window->frameGeometry().width()
        << "x" << window->frameGeometry().height();
    EXPECT_LE(window->width(), 1025);
    EXPECT_LE(window->height(), 599);
    EXPECT_LE(window->minimumSizeHint().width(), 1025);
    EXPECT_LE(window->minimumSizeHint().height(), 599);
    std::vector<QWidget*> firstPage, secondPage;
    for (const ControlRow& row : controls()) {
        QWidget* widget = w<QWidget>(row.name);
        ASSERT_NE(widget, nullptr) << row.name;
        (row.page == 1 ? secondPage : firstPage).push_back(widget);
    }
    for (const char* name : {"Label9", "Label11", "Label12"}) firstPage.push_back(w<QWidget>(name));
    std::erase_if(firstPage, [](QWidget* widget) {
        return widget->objectName() == QStringLiteral("TabSheet19");
    });
    checkPlacement(*window, firstPage);

    w<QTabWidget>("PageControl1")->setCurrentIndex(1);
    ASSERT_TRUE(kvtest::waitUntil([&] { return w<QWidget>("Image1")->isVisible(); }));
    checkPlacement(*window, secondPage);
    EXPECT_EQ(w<QLabel>("Image1")->size(), QSize(521, 401));
}

TEST_F(FormTest, PicturesAreShown) {
    w<QTabWidget>("PageControl1")->setCurrentIndex(1);
    auto* wiring = w<QLabel>("Image1");
    ASSERT_NE(wiring, nullptr);
    EXPECT_FALSE(wiring->pixmap().isNull());
    EXPECT_EQ(wiring->pixmap().size(), QSize(516, 374));
    EXPECT_FALSE(wiring->hasScaledContents());

    auto* logo = w<QLabel>("Image2");
    ASSERT_NE(logo, nullptr);
    EXPECT_FALSE(logo->pixmap().isNull());
    EXPECT_EQ(logo->pixmap().size(), QSize(649, 259));
    EXPECT_TRUE(logo->hasScaledContents());
    EXPECT_EQ(logo->size(), QSize(105, 41));
    const QPoint corner = logo->mapTo(window.get(), QPoint(0, 0));  // top-left of the window
    EXPECT_LE(corner.x(), 8);
    EXPECT_LE(corner.y(), 8);

    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_TRUE(window->statusBar()->currentMessage().isEmpty());  // no picture failed
}

TEST_F(FormTest, ClearBufferEmptiesBothBuffers) {
    auto* memo = w<QPlainTextEdit>("Memo8");
    auto* sent = w<QLineEdit>("discomm");
    memo->setPlainText(QStringLiteral("TC1:123#\nMKT:020#"));
    sent->setText(QStringLiteral("PPPPPP#CHEACK1#"));
    QTest::mouseClick(w<QPushButton>("Button58"), Qt::LeftButton);
    EXPECT_TRUE(memo->toPlainText().isEmpty());
    EXPECT_TRUE(sent->text().isEmpty());
}

}  // namespace

namespace {

using PictureTest = kvtest::WindowTest;

// A truncated wiring diagram is reported in the status line; the rest of the window stays.
TEST_F(PictureTest, DamagedPictureIsReportedAndLeftOut) {
    const auto truncated = [](kvres::PictureId id, QString* error) {
        if (id != kvres::PictureId::WiringDiagram) return kvmain::loadPicture(id, error);
        const std::span<const std::uint8_t> whole = kvres::pictureBytes(id);
        return kvmain::decodeToQImage(whole.first(whole.size() / 2), error);
    };
    window->showPictures(truncated);
    EXPECT_TRUE(w<QLabel>("Image1")->pixmap().isNull());
    EXPECT_FALSE(w<QLabel>("Image2")->pixmap().isNull());
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_FALSE(window->statusBar()->currentMessage().isEmpty());
    EXPECT_TRUE(window->isVisible());

    window->showPictures(kvmain::loadPicture);  // and a good picture shows again
    EXPECT_EQ(w<QLabel>("Image1")->pixmap().size(), QSize(516, 374));
}

TEST_F(FormTest, AddPortPutsAPathIntoThePortListOnce) {
    auto* ports = w<QComboBox>("SPREALCOM");
    window->addPort(QStringLiteral("/dev/pts/77"), false);
    EXPECT_EQ(ports->currentText(), QStringLiteral("COM3"));
    window->addPort(QStringLiteral("/dev/pts/77"), true);
    EXPECT_EQ(ports->currentText(), QStringLiteral("/dev/pts/77"));
    EXPECT_EQ(ports->count(), 20);
    EXPECT_EQ(ports->itemText(19), QStringLiteral("/dev/pts/77"));
}

}  // namespace
