// kvpresenter::Controls over the window's widgets, found by objectName below `root`:
//   QLineEdit       text get/set, clear
//   QComboBox       text = current text (set: the edit text, or the item with that text),
//                   item index get/set (an index outside the items selects nothing)
//   QPlainTextEdit  a memo: text get/set as plain text, clear (reading it back gives its
//                   line breaks as '\n', whatever ended the lines that were set)
//   QAbstractButton, QLabel  caption get/set
//   any QWidget     enable/disable
// A memo set several times within one turn of the event loop (a flood of blocks, each shown
// as it comes) is put on screen once, with its latest text, when the loop next runs and
// before anything is painted; reading it back gives the latest text at once.
// Text crosses as Latin-1 bytes (see Latin1.h). A name that matches no widget, or a widget
// of a kind the operation does not apply to, is a programming fault: std::logic_error.
// Main thread only.
#pragma once

#include <QString>
#include <QWidget>
#include <vector>

#include "presenter/WindowInterfaces.h"

class QComboBox;
class QPlainTextEdit;

class QtControls : public kvpresenter::Controls {
public:
    explicit QtControls(QWidget* root);

    std::string text(std::string_view control) const override;
    void setText(std::string_view control, std::string_view text) override;
    int itemIndex(std::string_view control) const override;
    void setItemIndex(std::string_view control, int index) override;
    void setEnabled(std::string_view control, bool enabled) override;
    void clear(std::string_view memo) override;

private:
    QWidget* widget(std::string_view name) const;
    QComboBox* list(std::string_view name) const;
    void showMemos();

    QWidget* root_;
    struct MemoText {
        QPlainTextEdit* memo;
        QString text;
    };
    std::vector<MemoText> memosToShow_;
};
