#include "main1/KeyFilters.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDropEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
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

QString filteredInsertion(const KeyFilterRule& rule, QStringView text, qsizetype currentLength) {
    QString taken;
    for (QChar c : text) {
        if (c.unicode() == kBackspace) continue;
        if (keyPasses(rule, c, currentLength + taken.size())) taken += c;
    }
    return taken;
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
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::MouseButtonRelease:
            break;
        default:
            return false;
    }
    auto* edit = qobject_cast<QLineEdit*>(watched);
    const KeyFilterRule* rule = edit ? keyFilterRuleFor(edit->objectName()) : nullptr;
    if (!rule) return false;
    if (event->type() == QEvent::MouseButtonRelease)
        return filterSelectionPaste(edit, *rule, static_cast<QMouseEvent*>(event));
    if (event->type() != QEvent::KeyPress)
        return filterDrop(edit, *rule, static_cast<QDropEvent*>(event));
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

bool KeyPressFilter::filterDrop(QLineEdit* field, const KeyFilterRule& rule, QDropEvent* drop) {
    const QMimeData* data = drop->mimeData();
    if (!data || !data->hasText() || field->isReadOnly()) return false;  // the field refuses it
    // Text moved within the field adds nothing to it.
    if (drop->source() == field && drop->dropAction() == Qt::MoveAction) return false;
    const QString text = data->text();
    const QString taken = filteredInsertion(rule, text, field->text().size());
    if (taken == text) return false;
    if (taken.isEmpty()) {  // nothing of it would pass: the field refuses the drop
        drop->ignore();
        return true;
    }
    if (drop->type() != QEvent::Drop) return false;  // part of it lands: the field shows where
    // The field takes the passing part as it takes any drop. Since the rest does not land,
    // the source is asked to keep the text (copy rather than move) where it allows that.
    QMimeData passing;
    passing.setText(taken);
    const Qt::DropActions actions = (drop->possibleActions() & Qt::CopyAction)
                                        ? Qt::DropActions(Qt::CopyAction)
                                        : drop->possibleActions();
    QDropEvent partial(drop->position(), actions, &passing, drop->buttons(), drop->modifiers());
    QCoreApplication::sendEvent(field, &partial);
    drop->setDropAction(partial.dropAction());
    drop->setAccepted(partial.isAccepted());
    return true;
}

bool KeyPressFilter::filterSelectionPaste(QLineEdit* field, const KeyFilterRule& rule,
                                          QMouseEvent* release) {
    // A middle click pastes the selection where the platform has one (X11).
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (release->button() != Qt::MiddleButton || field->isReadOnly() ||
        !clipboard->supportsSelection())
        return false;
    const QString text = clipboard->text(QClipboard::Selection);
    const QString taken = filteredInsertion(rule, text, field->text().size());
    if (taken == text) return false;
    // What the field does on a middle click, with the text the filter lets through.
    field->deselect();
    field->insert(taken);
    return true;
}

}  // namespace kvmain
