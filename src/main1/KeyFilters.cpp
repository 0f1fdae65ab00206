#include "main1/KeyFilters.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
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
