// QtControls over real widgets: text in both directions as Latin-1 bytes, list indices,
// memo, enable, and faults for unknown names or kinds.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <memory>
#include <stdexcept>
#include <string>

#include "main1/adapters/QtControls.h"

namespace {

using namespace std::string_literals;

class ControlsTest : public testing::Test {
protected:
    void SetUp() override {
        root = std::make_unique<QWidget>();
        auto* page = new QWidget(root.get());  // controls sit deeper than the root
        edit = make<QLineEdit>(page, "AD1H");
        list = make<QComboBox>(page, "MR485JN");
        list->addItems({"None", "Odd", "Even"});
        editableList = make<QComboBox>(page, "SPREALCOM");
        editableList->setEditable(true);
        editableList->addItems({"COM1", "COM2", "COM3"});
        memo = make<QPlainTextEdit>(page, "Memo8");
        button = make<QPushButton>(page, "Button10");
        label = make<QLabel>(page, "Label4");
        controls = std::make_unique<QtControls>(root.get());
    }
    template <class W>
    W* make(QWidget* parent, const char* name) {
        auto* w = new W(parent);
        w->setObjectName(QLatin1StringView(name));
        return w;
    }

    std::unique_ptr<QWidget> root;
    QLineEdit* edit = nullptr;
    QComboBox* list = nullptr;
    QComboBox* editableList = nullptr;
    QPlainTextEdit* memo = nullptr;
    QPushButton* button = nullptr;
    QLabel* label = nullptr;
    std::unique_ptr<QtControls> controls;
};

struct TextCase {
    const char* what;
    QString shown;      // what the widget holds
    std::string bytes;  // what the protocol sees
    bool bothWays;      // bytes -> widget gives `shown` back
};

const TextCase kTextCases[] = {
    {"ascii", QStringLiteral("KORVEL#AD1H:100#"), "KORVEL#AD1H:100#", true},
    {"empty", QString(), "", true},
    {"latin1 letters", QString::fromUtf8("\xC3\xA9t\xC3\xA9 \xC2\xB5"), "\xE9t\xE9 \xB5", true},
    {"byte 0xFF", QString(QChar(0xFF)), "\xFF", true},
    {"zero byte inside", QString::fromLatin1("a\0b", 3), "a\0b"s, true},
    {"euro sign", QString::fromUtf8("5\xE2\x82\xAC"), "5?", false},
    {"cjk", QString::fromUtf8("\xE6\x97\xA5\xE6\x9C\xAC"), "??", false},
    {"outside the BMP is one character", QString::fromUtf8("x\xF0\x9F\x98\x80y"), "x?y", false},
};

TEST_F(ControlsTest, TextCrossesAsLatin1BytesForEveryKind) {
    struct Kind {
        const char* name;
        std::function<void(const QString&)> put;
        std::function<QString()> get;
    };
    const Kind kinds[] = {
        {"AD1H", [&](const QString& s) { edit->setText(s); }, [&] { return edit->text(); }},
        {"SPREALCOM", [&](const QString& s) { editableList->setEditText(s); },
         [&] { return editableList->currentText(); }},
        {"Memo8", [&](const QString& s) { memo->setPlainText(s); },
         [&] {
             QCoreApplication::processEvents();  // on screen when the loop runs
             return memo->toPlainText();
         }},
        {"Button10", [&](const QString& s) { button->setText(s); }, [&] { return button->text(); }},
        {"Label4", [&](const QString& s) { label->setText(s); }, [&] { return label->text(); }},
    };
    for (const Kind& kind : kinds)
        for (const TextCase& c : kTextCases) {
            SCOPED_TRACE(std::string(kind.name) + ": " + c.what);
            kind.put(c.shown);
            EXPECT_EQ(controls->text(kind.name), c.bytes);
            controls->setText(kind.name, c.bytes);
            if (c.bothWays) {
                EXPECT_EQ(kind.get(), c.shown);
                EXPECT_EQ(kind.get().size(), static_cast<qsizetype>(c.bytes.size()));
            } else {
                EXPECT_EQ(kind.get(), QString::fromLatin1(c.bytes.data(), c.bytes.size()));
            }
        }
}

TEST_F(ControlsTest, ListTextIsTheCurrentItemAndSetTextPicksTheItem) {
    list->setCurrentIndex(2);
    EXPECT_EQ(controls->text("MR485JN"), "Even");
    controls->setText("MR485JN", "Odd");
    EXPECT_EQ(list->currentIndex(), 1);
    controls->setText("SPREALCOM", "/dev/ttyUSB0");  // editable: typed text
    EXPECT_EQ(editableList->currentText(), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(editableList->count(), 3);
}

TEST_F(ControlsTest, ItemIndexOutsideTheItemsSelectsNothing) {
    struct Case {
        int set, expected;
    };
    const Case cases[] = {{1, 1}, {0, 0}, {2, 2}, {3, -1}, {1, 1}, {100, -1}, {-1, -1}, {-7, -1}};
    for (QComboBox* box : {list, editableList}) {
        const std::string name = box->objectName().toStdString();
        for (const Case& c : cases) {
            SCOPED_TRACE(name + " index " + std::to_string(c.set));
            controls->setItemIndex(name, c.set);
            EXPECT_EQ(box->currentIndex(), c.expected);
            EXPECT_EQ(controls->itemIndex(name), c.expected);
            if (c.expected == -1) {
                EXPECT_EQ(controls->text(name), "");
            }
        }
    }
}

TEST_F(ControlsTest, MemoAndEditClearAndEnableReachesAnyWidget) {
    memo->setPlainText(QStringLiteral("PPPPPP#READ#\nline two"));
    edit->setText(QStringLiteral("123"));
    controls->clear("Memo8");
    controls->clear("AD1H");
    EXPECT_TRUE(memo->toPlainText().isEmpty());
    EXPECT_TRUE(edit->text().isEmpty());
    // Set twice in one turn of the event loop: read back at once, shown once, the latest.
    controls->setText("Memo8", "first");
    controls->setText("Memo8", "a\nb");
    EXPECT_EQ(controls->text("Memo8"), "a\nb");
    int shown = 0;
    QObject::connect(memo, &QPlainTextEdit::textChanged, [&] { ++shown; });
    QCoreApplication::processEvents();
    EXPECT_EQ(memo->blockCount(), 2);
    EXPECT_EQ(shown, 1);
    // Cleared before it was shown: it stays clear.
    controls->setText("Memo8", "late");
    controls->clear("Memo8");
    QCoreApplication::processEvents();
    EXPECT_TRUE(memo->toPlainText().isEmpty());
    EXPECT_EQ(controls->text("Memo8"), "");

    for (const char* name : {"AD1H", "MR485JN", "Memo8", "Button10", "Label4"}) {
        SCOPED_TRACE(name);
        auto* w = root->findChild<QWidget*>(QLatin1StringView(name));
        controls->setEnabled(name, false);
        EXPECT_FALSE(w->isEnabled());
        controls->setEnabled(name, true);
        EXPECT_TRUE(w->isEnabled());
    }
}

TEST_F(ControlsTest, UnknownNamesAndWrongKindsAreProgrammingFaults) {
    EXPECT_THROW(controls->text("NoSuchControl"), std::logic_error);
    EXPECT_THROW(controls->setText("NoSuchControl", "x"), std::logic_error);
    EXPECT_THROW(controls->setEnabled("NoSuchControl", true), std::logic_error);
    EXPECT_THROW(controls->itemIndex("AD1H"), std::logic_error);
    EXPECT_THROW(controls->setItemIndex("Memo8", 0), std::logic_error);
    EXPECT_THROW(controls->clear("Label4"), std::logic_error);
    EXPECT_THROW(controls->text("AD1"), std::logic_error);  // names match whole, not by prefix
}

}  // namespace
