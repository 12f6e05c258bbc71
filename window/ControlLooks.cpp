#include "ControlLooks.h"

#include <QEvent>
#include <QPainter>
#include <QStyleOptionGroupBox>
#include <QWidget>

namespace frolix {

PlateUnderText::PlateUnderText(QWidget* under, const QList<QWidget*>& controls, QObject* parent)
    : QObject(parent)
    , m_under(under)
    , m_controls(controls)
{
    for (QWidget* control : m_controls)
        control->installEventFilter(this);
    // The controls repaint where the animation moved or grew under them.
    under->installEventFilter(this);
}

QColor PlateUnderText::plateColour() { return QColor(159, 197, 227); } // the sky's mean colour

bool PlateUnderText::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_under) {
        if (event->type() == QEvent::Move || event->type() == QEvent::Resize)
            for (QWidget* control : m_controls)
                control->update();
        return false;
    }
    if (event->type() != QEvent::Paint || !m_under)
        return false;
    // Painted before the control paints itself: the plate lies under its text.
    auto* control = static_cast<QWidget*>(watched);
    const QRect under = QRect(control->mapFrom(m_under->parentWidget(), m_under->pos()), m_under->size());
    const QRect plate = under & control->rect();
    if (!plate.isEmpty()) {
        QPainter painter(control);
        painter.fillRect(plate, plateColour());
    }
    return false;
}

QRect FrameLineThroughTitle::subControlRect(
    ComplexControl control, const QStyleOptionComplex* option, SubControl part, const QWidget* widget) const
{
    QRect rect = QProxyStyle::subControlRect(control, option, part, widget);
    if (control != CC_GroupBox)
        return rect;
    const QRect title = QProxyStyle::subControlRect(control, option, SC_GroupBoxLabel, widget);
    if (part == SC_GroupBoxFrame)
        rect.setTop(title.center().y());
    else if (part == SC_GroupBoxLabel)
        rect.translate(6, 0); // the border starts before the title
    return rect;
}

void FrameLineThroughTitle::drawComplexControl(
    ComplexControl control, const QStyleOptionComplex* option, QPainter* painter, const QWidget* widget) const
{
    const auto* group = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
    if (control != CC_GroupBox || !group || !(group->subControls & SC_GroupBoxFrame)) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    // The border, broken where the title stands; then the title without a border. Drawn
    // here: the style's own border places itself below a title's full height.
    const QRect frame = subControlRect(control, option, SC_GroupBoxFrame, widget).adjusted(0, 0, -1, -1);
    const QRect title = subControlRect(control, option, SC_GroupBoxLabel, widget).adjusted(-2, 0, 2, 0);
    painter->save();
    painter->setClipRegion(QRegion(group->rect) - title);
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(QColor(0, 0, 0, 80)); // darkens whatever lies behind, as the style's border does
    painter->drawRect(frame);
    painter->restore();
    QStyleOptionGroupBox rest = *group;
    rest.subControls &= ~SC_GroupBoxFrame;
    QProxyStyle::drawComplexControl(control, &rest, painter, widget);
}

} // namespace frolix
