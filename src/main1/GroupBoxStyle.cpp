#include "main1/GroupBoxStyle.h"

#include <QApplication>
#include <QPainter>
#include <QRegion>
#include <QStyleFactory>
#include <QWidget>

GroupBoxStyle::GroupBoxStyle()
    : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

void GroupBoxStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                  QPainter* painter, const QWidget* widget) const {
    if (element != PE_FrameGroupBox || !widget) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // The frame is drawn only where the contents are not: around them and under the title.
    painter->save();
    painter->setClipRegion(QRegion(widget->rect()) - QRegion(widget->contentsRect()),
                           Qt::IntersectClip);
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    painter->restore();
}
