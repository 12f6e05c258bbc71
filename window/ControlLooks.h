#pragma once
// How the window's controls stay readable over the animation and the sky.
//
// Labels, check boxes, option buttons and frames draw no background of their own, so an
// animation grown by AutoSize shows through their text. PlateUnderText puts a plate of
// the sky's own colour behind a control, only where the animation lies under it: the sky
// elsewhere stays in sight, and dark text on the plate keeps a contrast above 10:1.
//
// FrameLineThroughTitle draws a frame's border through the middle of its title, as the
// window was laid out for; the style's default puts the border under the title, where
// the first option button sat on it.

#include <QObject>
#include <QPointer>
#include <QProxyStyle>

class QWidget;

namespace frolix {

class PlateUnderText : public QObject {
public:
    // Watches `controls` (they must outlive this) for the area `under` covers of them.
    PlateUnderText(QWidget* under, const QList<QWidget*>& controls, QObject* parent);
    bool eventFilter(QObject* watched, QEvent* event) override;
    static QColor plateColour();

private:
    QPointer<QWidget> m_under;
    QList<QWidget*> m_controls;
};

class FrameLineThroughTitle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
        const QWidget* widget) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
        const QWidget* widget) const override;
};

} // namespace frolix
