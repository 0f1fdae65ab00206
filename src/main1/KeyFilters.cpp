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
#include <vector>

#include "protocol/Parameters.h"

namespace kvmain {
namespace {

constexpr char16_t kBackspace = 8;

std::vector<KeyFilterRule> deriveRules() {
    std::vector<KeyFilterRule> rules;
    for (const kvproto::Parameter& p : kvproto::parameters()) {
        if (!p.keyFilter) continue;
        const AcceptedSet accepted = p.chars == kvproto::CharSet::Numeric
                                         ? AcceptedSet::Numeric
                                         : AcceptedSet::SignedDecimal;
        // The filter swallows once the text is longer than the limit, so the longest text
        // typed is one more than the limit.
        rules.push_back({p.control, std::string(p.control) + "KeyPress", accepted, p.width - 1});
    }
    return rules;
}

const std::vector<KeyFilterRule>& rules() {
    static const std::vector<KeyFilterRule> table = deriveRules();
    return table;
}

bool inAcceptedSet(AcceptedSet set, QChar c) {
    const char16_t u = c.unicode();
    if ((u >= u'0' && u <= u'9') || u == kBackspace) return true;
    return set == AcceptedSet::SignedDecimal && (u == u'.' || u == u'-');
}

}  // namespace

std::span<const KeyFilterRule> keyFilterRules() {
    return rules();
}

const KeyFilterRule* keyFilterRuleFor(QStringView field) {
    for (const KeyFilterRule& rule : rules())
        if (field == QLatin1StringView(rule.field.data(), rule.field.size())) return &rule;
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
