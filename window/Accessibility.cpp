#include "Accessibility.h"

#include <QAccessibleWidget>
#include <QLabel>

#include <mutex>

namespace frolix {

namespace {

class StatusTextAccessible : public QAccessibleWidget {
public:
    explicit StatusTextAccessible(QLabel* label)
        : QAccessibleWidget(label, QAccessible::StatusBar)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        auto* label = static_cast<QLabel*>(widget());
        if (t == QAccessible::Name)
            return label->accessibleName().isEmpty() ? label->text() : label->accessibleName();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* windowFactory(const QString& className, QObject* object)
{
    // A plain widget as a window would be a "filler"; a screen reader looks for a frame
    // to read the title from.
    if (className == QLatin1String("frolix::Form1"))
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    auto* label = qobject_cast<QLabel*>(object);
    if (label && label->property("statusText").toBool())
        return new StatusTextAccessible(label);
    return nullptr;
}

} // namespace

void installWindowAccessibility()
{
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(windowFactory); });
}

ThrottledAnnouncer::ThrottledAnnouncer(QLabel& label, std::chrono::milliseconds interval)
    : QObject(&label)
    , m_label(label)
{
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(interval);
    connect(&m_quiet, &QTimer::timeout, this, [this] {
        if (m_pending)
            announce();
    });
}

void ThrottledAnnouncer::textChanged()
{
    if (m_quiet.isActive())
        m_pending = true;
    else
        announce();
}

void ThrottledAnnouncer::announce()
{
    m_pending = false;
    // Raises the name-change event; and a label with a name of its own no longer raises
    // one for each text it is given.
    m_label.setAccessibleName(m_label.text());
    m_quiet.start();
}

} // namespace frolix
