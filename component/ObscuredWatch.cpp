#include "ObscuredWatch.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>

namespace frolix {

std::unique_ptr<ObscuredWatch> ObscuredWatch::forWindow(QWindow& window, std::function<void()> changed)
{
    // The offscreen platform answers as an X11 application too, with no connection.
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection || QGuiApplication::platformName() != QLatin1String("xcb") || !window.handle())
        return nullptr;
    const auto id = xcb_window_t(window.winId());
    // Added to the events Qt selected: setting the mask alone would replace them.
    xcb_get_window_attributes_reply_t* attributes
        = xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, id), nullptr);
    if (!attributes)
        return nullptr;
    const std::uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_VISIBILITY_CHANGE;
    std::free(attributes);
    xcb_change_window_attributes(connection, id, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);
    std::unique_ptr<ObscuredWatch> watch(new ObscuredWatch(id, std::move(changed)));
    qApp->installNativeEventFilter(watch.get());
    return watch;
}

ObscuredWatch::ObscuredWatch(std::uint32_t nativeId, std::function<void()> changed)
    : m_nativeId(nativeId)
    , m_changed(std::move(changed))
{
}

ObscuredWatch::~ObscuredWatch()
{
    if (qApp)
        qApp->removeNativeEventFilter(this);
}

bool ObscuredWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_VISIBILITY_NOTIFY)
        return false;
    const auto* visibility = reinterpret_cast<const xcb_visibility_notify_event_t*>(event);
    if (visibility->window != m_nativeId)
        return false;
    const bool obscured = visibility->state == XCB_VISIBILITY_FULLY_OBSCURED;
    if (obscured != m_obscured) {
        m_obscured = obscured;
        m_changed();
    }
    return false; // Qt may want it too
}

} // namespace frolix
