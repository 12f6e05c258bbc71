#include "ListIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace frolix {

namespace list_icons {

namespace {

const QColor kFolderFill(236, 196, 84);
const QColor kFolderFront(250, 222, 128);
const QColor kFolderEdge(150, 112, 28);

// Draws on a 16 x 16 grid, at 1x and 2x so the pictures stay sharp on dense screens.
QIcon drawn(const std::function<void(QPainter&)>& draw)
{
    QIcon icon;
    for (int scale : { 1, 2 }) {
        QPixmap pixmap(16 * scale, 16 * scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(scale, scale);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QPainterPath folderBack()
{
    QPainterPath back;
    back.moveTo(1.5, 3.5);
    back.lineTo(6, 3.5);
    back.lineTo(7.5, 5);
    back.lineTo(14.5, 5);
    back.lineTo(14.5, 13.5);
    back.lineTo(1.5, 13.5);
    back.closeSubpath();
    return back;
}

} // namespace

QIcon closedFolder()
{
    return drawn([](QPainter& p) {
        p.setPen(QPen(kFolderEdge, 1));
        p.setBrush(kFolderFill);
        p.drawPath(folderBack());
        p.drawLine(QPointF(1.5, 6.5), QPointF(14.5, 6.5));
    });
}

QIcon openFolder()
{
    return drawn([](QPainter& p) {
        p.setPen(QPen(kFolderEdge, 1));
        p.setBrush(kFolderFill);
        p.drawPath(folderBack());
        QPainterPath front; // the flap, tipped forwards
        front.moveTo(3.5, 7.5);
        front.lineTo(15.5, 7.5);
        front.lineTo(13.5, 13.5);
        front.lineTo(1.5, 13.5);
        front.closeSubpath();
        p.setBrush(kFolderFront);
        p.drawPath(front);
    });
}

QIcon drive()
{
    return drawn([](QPainter& p) {
        p.setPen(QPen(QColor(90, 90, 96), 1));
        p.setBrush(QColor(196, 198, 204));
        p.drawRoundedRect(QRectF(1.5, 5.5, 13, 6), 1.5, 1.5);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 180, 60)); // the light
        p.drawRect(QRectF(11, 8, 2, 1.5));
    });
}

} // namespace list_icons

} // namespace frolix
