// The key filters of the entry fields, driven by real key events on the real window.
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>

#include "WindowFixture.h"
#include "main1/KeyFilters.h"

namespace {

using kvmain::AcceptedSet;
using kvtest::WindowTest;

using KeyFilterTest = WindowTest;

struct FieldRow {
    const char* field;
    bool signedDecimal;
    int longest;  // longest text that typing can produce
};

const FieldRow kFields[] = {
    {"AD1LD", true, 5},       {"AD2LD", true, 5},    {"AD3LD", true, 5},   {"AD4LD", true, 5},
    {"AD1L", true, 6},        {"AD2L", true, 6},     {"AD3L", true, 6},    {"AD4L", true, 6},
    {"AD1H", true, 6},        {"AD2H", true, 6},     {"AD3H", true, 6},    {"AD4H", true, 6},
    {"Edit1", true, 5},       {"PUSET1", false, 8},  {"PUSET2", false, 8}, {"PUSET3", false, 8},
    {"PUSET1XIAO", false, 3}, {"Station", false, 6}, {"Edit2", false, 3},
};

TEST(KeyFilterTable, OneRowPerFilteredFieldWithItsHandlerName) {
    ASSERT_EQ(kvmain::keyFilterRules().size(), std::size(kFields));
    for (const FieldRow& row : kFields) {
        const kvmain::KeyFilterRule* rule =
            kvmain::keyFilterRuleFor(QString::fromLatin1(row.field));
        ASSERT_NE(rule, nullptr) << row.field;
        EXPECT_EQ(std::string(rule->handler), std::string(row.field) + "KeyPress");
    }
    EXPECT_EQ(kvmain::keyFilterRuleFor(u"AD1XISHU"), nullptr);
}

QLineEdit* emptied(QLineEdit* edit) {
    edit->clear();
    edit->setFocus();
    return edit;
}

TEST_F(KeyFilterTest, TypingStopsAtTheLongestTextOfEachField) {
    for (const FieldRow& row : kFields) {
        SCOPED_TRACE(row.field);
        QLineEdit* edit = emptied(w<QLineEdit>(row.field));
        QTest::keyClicks(edit, QStringLiteral("123456789012"));
        EXPECT_EQ(edit->text(), QStringLiteral("123456789012").left(row.longest));
        QTest::keyClick(edit, Qt::Key_Backspace);  // backspace always passes
        EXPECT_EQ(edit->text().size(), row.longest - 1);
        QTest::keyClick(edit, Qt::Key_9);  // and makes room for one more digit
        EXPECT_EQ(edit->text().size(), row.longest);
    }
}

TEST_F(KeyFilterTest, LettersAreSwallowedAndSignsOnlyInSignedFields) {
    for (const FieldRow& row : kFields) {
        SCOPED_TRACE(row.field);
        QLineEdit* edit = emptied(w<QLineEdit>(row.field));
        QTest::keyClicks(edit, QStringLiteral("aZx ,+"));
        EXPECT_EQ(edit->text(), QString());
        QTest::keyClicks(edit, QStringLiteral("-1.5-."));
        EXPECT_EQ(edit->text(), row.signedDecimal ? QStringLiteral("-1.5-.").left(row.longest)
                                                  : QStringLiteral("15"));
    }
}

TEST_F(KeyFilterTest, FullAd1hSwallowsADigitButTakesBackspace) {
    QLineEdit* edit = emptied(w<QLineEdit>("AD1H"));
    edit->setText(QStringLiteral("12345"));
    QTest::keyClick(edit, Qt::Key_6);
    EXPECT_EQ(edit->text(), QStringLiteral("123456"));
    QTest::keyClick(edit, Qt::Key_7);
    EXPECT_EQ(edit->text(), QStringLiteral("123456"));
    edit->selectAll();  // the whole text counts, not the selection a key would replace
    QTest::keyClick(edit, Qt::Key_7);
    EXPECT_EQ(edit->text(), QStringLiteral("123456"));
    edit->end(false);
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), QStringLiteral("12345"));
}

TEST_F(KeyFilterTest, InitialTextsOfDecimalPartAndPulseWidthAreAlreadyFull) {
    for (const char* name : {"PUSET1XIAO", "Edit2"}) {
        SCOPED_TRACE(name);
        QLineEdit* edit = w<QLineEdit>(name);
        const QString start = edit->text();
        ASSERT_EQ(start.size(), 3);
        edit->setFocus();
        edit->end(false);
        QTest::keyClick(edit, Qt::Key_5);
        EXPECT_EQ(edit->text(), start);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClick(edit, Qt::Key_5);
        EXPECT_EQ(edit->text(), start.left(2) + QLatin1Char('5'));
    }
}

TEST_F(KeyFilterTest, CtrlVIsSwallowedInFilteredFieldsOnly) {
    QApplication::clipboard()->setText(QStringLiteral("42"));
    QLineEdit* filtered = emptied(w<QLineEdit>("PUSET1"));
    QTest::keyClick(filtered, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(filtered->text(), QString());
    // The same keys paste into a field without a filter, so the swallowing is the filter's.
    QLineEdit* plain = emptied(w<QLineEdit>("AD1XISHU"));
    QTest::keyClick(plain, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(plain->text(), QStringLiteral("42"));
}

TEST_F(KeyFilterTest, ArrowsAndDeletePassEvenInAFullField) {
    QLineEdit* edit = emptied(w<QLineEdit>("AD1H"));
    edit->setText(QStringLiteral("123456"));
    edit->end(false);
    QTest::keyClick(edit, Qt::Key_Left);
    QTest::keyClick(edit, Qt::Key_Left);
    EXPECT_EQ(edit->cursorPosition(), 4);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(edit->text(), QStringLiteral("12346"));
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(edit->text(), QStringLiteral("2346"));
}

TEST_F(KeyFilterTest, ProgramSetTextAndUnfilteredFieldsAreNotFiltered) {
    QLineEdit* filtered = w<QLineEdit>("Station");
    filtered->setText(QStringLiteral("ab-12345678"));
    EXPECT_EQ(filtered->text(), QStringLiteral("ab-12345678"));
    for (const char* name : {"AD1XISHU", "AD4XISHU", "Edit3", "discomm"}) {
        SCOPED_TRACE(name);
        QLineEdit* edit = emptied(w<QLineEdit>(name));
        QTest::keyClicks(edit, QStringLiteral("x1.5-abcdefghij"));
        EXPECT_EQ(edit->text(), QStringLiteral("x1.5-abcdefghij"));
    }
}

}  // namespace
