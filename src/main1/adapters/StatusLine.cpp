#include "main1/adapters/StatusLine.h"

#include <QStatusBar>
#include <algorithm>

StatusLine::StatusLine(QStatusBar* bar, QObject* parent, std::chrono::milliseconds noteOverProblem)
    : QObject(parent), bar_(bar) {
    backToProblem_.setSingleShot(true);
    backToProblem_.setInterval(noteOverProblem);
    connect(&backToProblem_, &QTimer::timeout, this, &StatusLine::showStandingProblem);
}

void StatusLine::forget(Source source) {
    auto from = [source](std::vector<Message>& list) {
        std::erase_if(list, [source](const Message& m) { return m.source == source; });
    };
    from(problems_);
    from(notes_);
}

void StatusLine::note(Source source, const QString& text) {
    forget(source);
    notes_.push_back({source, text});
    show(text);
    if (!problems_.empty()) backToProblem_.start();
}

void StatusLine::problem(Source source, const QString& text) {
    forget(source);
    problems_.push_back({source, text});
    backToProblem_.stop();
    show(text);
}

void StatusLine::withdraw(Source source) {
    const auto standing = std::find_if(problems_.begin(), problems_.end(),
                                       [source](const Message& m) { return m.source == source; });
    if (standing == problems_.end()) return;
    const bool showing = !backToProblem_.isActive() && standing + 1 == problems_.end();
    problems_.erase(standing);
    if (!showing) return;
    if (problems_.empty())
        show({});
    else
        showStandingProblem();
}

void StatusLine::showStandingProblem() {
    if (!problems_.empty()) show(problems_.back().text);
}

void StatusLine::show(const QString& text) {
    if (text.isEmpty())
        bar_->clearMessage();
    else
        bar_->showMessage(text);
}

QString StatusLine::text() const {
    return bar_->currentMessage();
}

QString StatusLine::messageOf(Source source) const {
    for (const auto* list : {&problems_, &notes_})
        for (const Message& m : *list)
            if (m.source == source) return m.text;
    return {};
}
