// GroupBoxStyle: the application's style for the window's group boxes, except that a group
// box's frame leaves its inside alone, so the page's silver shows through it (some styles,
// Fusion among them, shade the inside of the frame). Set it with QWidget::setStyle on each
// group box; it does not reach their children.
#pragma once

#include <QProxyStyle>

class GroupBoxStyle : public QProxyStyle {
    Q_OBJECT
public:
    GroupBoxStyle();
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};
