#include "FrameSurface.h"

#include <QPaintEvent>
#include <QPainter>

namespace frolix {

FrameSurface::FrameSurface(QWidget& component, std::function<void(QPainter&)> paint)
    : QWidget(&component)
    , m_paint(std::move(paint))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void FrameSurface::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setClipRegion(event->region());
    m_paint(painter);
}

} // namespace frolix
