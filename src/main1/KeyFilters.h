// Key filters of the numeric entry fields: one rule per filtered parameter of the parameter
// table (its characters and width), one event filter for all.
//
// A filter sees each character the user types into its field before the field takes it and may
// swallow it: a character outside the field's accepted set is swallowed, and so is any
// character but backspace once the field's text is longer than the row's limit (the whole
// text counts, not a selection the character would replace). Keys that produce no character
// (arrows, Delete, Tab) never reach the filters; text set by the program is never filtered.
//
// Text that arrives in one piece without keys (dropped with the mouse, or pasted with the
// middle button from the X11 selection) is filtered as if its characters had been typed one
// by one; what none of them would pass is refused. Ctrl+V and the context menu's paste are
// left alone: Ctrl+V types a control character that the filter swallows, and the context
// menu's paste is not filtered.
#pragma once

#include <QChar>
#include <QObject>
#include <QString>
#include <QStringView>
#include <optional>
#include <span>
#include <string>
#include <string_view>

class QDropEvent;
class QKeyEvent;
class QLineEdit;
class QMouseEvent;
class QWidget;

namespace kvmain {

enum class AcceptedSet {
    Numeric,        // "0".."9" and backspace
    SignedDecimal,  // digits, backspace, "." and "-" anywhere, any number of them
};

struct KeyFilterRule {
    std::string_view field;  // objectName of the QLineEdit
    std::string handler;     // the field's key-press handler name, e.g. "AD1HKeyPress"
    AcceptedSet accepted;
    int limit;  // swallow (except backspace) when the text is longer than this
};

std::span<const KeyFilterRule> keyFilterRules();
const KeyFilterRule* keyFilterRuleFor(QStringView field);

// The character a key event types, as the field's key-press handler would see it; nothing for
// keys that type none. Ctrl+letter types its control character (Ctrl+V: 0x16).
std::optional<QChar> typedCharacter(const QKeyEvent& event);

// One filter decision: true when `typed` may reach a field of `rule` that holds
// `currentLength` characters.
bool keyPasses(const KeyFilterRule& rule, QChar typed, qsizetype currentLength);

// What a field of `rule` holding `currentLength` characters takes of `text` that arrives in
// one piece: the characters that would pass if typed one by one, each measured against the
// length the ones before it have grown the text to. Control characters (backspace among
// them) are editing keys rather than text and are left out.
QString filteredInsertion(const KeyFilterRule& rule, QStringView text, qsizetype currentLength);

// Installs itself on every QLineEdit below `root` that has a row in the table.
class KeyPressFilter : public QObject {
    Q_OBJECT
public:
    explicit KeyPressFilter(QWidget* root);
    int installedCount() const { return installed_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool filterDrop(QLineEdit* field, const KeyFilterRule& rule, QDropEvent* drop);
    bool filterSelectionPaste(QLineEdit* field, const KeyFilterRule& rule, QMouseEvent* release);

    int installed_ = 0;
};

}  // namespace kvmain
