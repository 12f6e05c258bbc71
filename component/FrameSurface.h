#pragma once
// The part of the component its frame is painted on, a widget of its own. The component
// shows what lies beneath it around the picture, so Qt would paint the window under it
// first at every frame; this widget covers only the picture, and says it is opaque when
// the frame is, so a new frame repaints it alone. It takes no focus and no mouse:
// clicks, drags and drops reach the component beneath, and it has no accessible part
// of its own.

#include <QWidget>

#include <functional>

class QPainter;

namespace frolix {

class FrameSurface final : public QWidget {
public:
    // `paint` draws the frame over the whole widget, in the widget's coordinates.
    FrameSurface(QWidget& component, std::function<void(QPainter&)> paint);

    // Opaque: `paint` covers every pixel, so nothing beneath need be painted first.
    void setOpaque(bool opaque) { setAttribute(Qt::WA_OpaquePaintEvent, opaque); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<void(QPainter&)> m_paint;
};

} // namespace frolix
