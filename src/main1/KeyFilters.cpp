#include "main1/KeyFilters.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>
#include <array>

namespace kvmain {
namespace {

constexpr char16_t kBackspace = 8;

constexpr std::array kRules = {
    KeyFilterRule{"AD1LD", "AD1LDKeyPress", AcceptedSet::SignedDecimal, 4},
    KeyFilterRule{"AD2LD", "AD2LDKeyPress", AcceptedSet::SignedDecimal, 4},
    KeyFilterRule{"AD3LD", "AD3LDKeyPress", AcceptedSet::SignedDecimal, 4},
    KeyFilterRule{"AD4LD", "AD4LDKeyPress", AcceptedSet::SignedDecimal, 4},
    KeyFilterRule{"AD1L", "AD1LKeyPress", AcceptedSet::SignedDecimal, 5},
    KeyFilterRule{"AD2L", "AD2LKeyPress", AcceptedSet::SignedDecimal, 5},
    KeyFilterRule{"AD3L", "AD3LKeyPress", AcceptedSet::SignedDecimal, 5},
    KeyFilterRule{"AD4L", "AD4LKeyPress", AcceptedSet::SignedDecimal, 5},
    KeyFilterRule{"AD1H", "AD1HKeyPress", AcceptedSet::SignedDecimal, 5},
    KeyFilterRule{"AD2H", "AD2HKeyPress", AcceptedSet::SignedDecimal, 5},
    KeyFilterRule{"AD3H", "AD3HKeyPress", AcceptedSet::SignedDecimal, 5},
    KeyFilterRule{"AD4H", "AD4HKeyPress", AcceptedSet::SignedDecimal, 5},
    KeyFilterRule{"Edit1", "Edit1KeyPress", AcceptedSet::SignedDecimal, 4},
    KeyFilterRule{"PUSET1", "PUSET1KeyPress", AcceptedSet::Numeric, 7},
    KeyFilterRule{"PUSET2", "PUSET2KeyPress", AcceptedSet::Numeric, 7},
    KeyFilterRule{"PUSET3", "PUSET3KeyPress", AcceptedSet::Numeric, 7},
    KeyFilterRule{"PUSET1XIAO", "PUSET1XIAOKeyPress", AcceptedSet::Numeric, 2},
    KeyFilterRule{"Station", "StationKeyPress", AcceptedSet::Numeric, 5},
    KeyFilterRule{"Edit2", "Edit2KeyPress", AcceptedSet::Numeric, 2},
};

bool inAcceptedSet(AcceptedSet set, QChar c) {
    const char16_t u = c.unicode();
    if ((u >= u'0' && u <= u'9') || u == kBackspace) return true;
    return set == AcceptedSet::SignedDecimal && (u == u'.' || u == u'-');
}

}  // namespace

std::span<const KeyFilterRule> keyFilterRules() {
    return kRules;
}

const KeyFilterRule* keyFilterRuleFor(QStringView field) {
    for (const KeyFilterRule& rule : kRules)
        if (field == QLatin1StringView(rule.field)) return &rule;
    return nullptr;
}

std::optional<QChar> typedCharacter(const QKeyEvent& event) {
    const int key = event.key();
    switch (key) {
        case Qt::Key_Delete:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return std::nullopt;
        case Qt::Key_Backspace:
            return QChar(kBackspace);
        default:
            break;
    }
    const Qt::KeyboardModifiers mods = event.modifiers();
    if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier) && key >= Qt::Key_A &&
        key <= Qt::Key_Z)
        return QChar(char16_t(key - Qt::Key_A + 1));
    const QString text = event.text();
    if (text.isEmpty()) return std::nullopt;
    return text.front();
}

bool keyPasses(const KeyFilterRule& rule, QChar typed, qsizetype currentLength) {
    if (!inAcceptedSet(rule.accepted, typed)) return false;
    return currentLength <= rule.limit || typed.unicode() == kBackspace;
}

KeyPressFilter::KeyPressFilter(QWidget* root) : QObject(root) {
    for (QLineEdit* edit : root->findChildren<QLineEdit*>()) {
        if (!keyFilterRuleFor(edit->objectName())) continue;
        // Everything typed must come as key events, so an input method cannot slip text past.
        edit->setAttribute(Qt::WA_InputMethodEnabled, false);
        edit->installEventFilter(this);
        ++installed_;
    }
}

bool KeyPressFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    auto* edit = qobject_cast<QLineEdit*>(watched);
    const KeyFilterRule* rule = edit ? keyFilterRuleFor(edit->objectName()) : nullptr;
    if (!rule) return false;
    const auto* keyEvent = static_cast<QKeyEvent*>(event);
    const std::optional<QChar> typed = typedCharacter(*keyEvent);
    if (!typed) return false;
    const QString text = keyEvent->text();
    qsizetype length = edit->text().size();
    // Usually one character; a composed key may type several, each filtered in turn.
    if (text.size() > 1 && !(keyEvent->modifiers() & Qt::ControlModifier)) {
        for (QChar c : text)
            if (!keyPasses(*rule, c, length++)) return true;
        return false;
    }
    return !keyPasses(*rule, *typed, length);
}

}  // namespace kvmain
