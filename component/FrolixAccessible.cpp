#include "FrolixAccessible.h"

#include "FrolixControl.h"

#include <QAccessibleWidget>

#include <mutex>

namespace frolix {
namespace {

class FrolixAccessible : public QAccessibleWidget {
public:
    explicit FrolixAccessible(FrolixControl* component)
        : QAccessibleWidget(component, QAccessible::Animation)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        auto* component = static_cast<FrolixControl*>(widget());
        switch (t) {
        case QAccessible::Name:
            return component->accessibleName().isEmpty() ? QStringLiteral("Animation") : component->accessibleName();
        case QAccessible::Description:
            if (component->FrameCount() == 0)
                return QStringLiteral("No animation loaded");
            return QStringLiteral("Frame %1 of %2").arg(component->CurrentFrame()).arg(component->FrameCount());
        default:
            return QAccessibleWidget::text(t);
        }
    }

    // An animation has no parts to go into: the widget its frame is painted on is not one.
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
};

QAccessibleInterface* frolixFactory(const QString&, QObject* object)
{
    auto* component = qobject_cast<FrolixControl*>(object);
    return component ? new FrolixAccessible(component) : nullptr;
}

} // namespace

void installFrolixAccessibility()
{
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(frolixFactory); });
}

} // namespace frolix
