#pragma once
// Whether an X11 window is wholly covered by others. Qt's X11 platform keeps a covered
// window exposed and says nothing of it, but the X server tells a client that selects
// visibility changes on the window. Under a compositing window manager every window
// reads as uncovered, and on other platforms (Wayland, offscreen) nothing is known:
// there is no watch and the window counts as uncovered.

#include <QAbstractNativeEventFilter>
#include <QWindow>

#include <cstdint>
#include <functional>
#include <memory>

namespace frolix {

class ObscuredWatch final : public QAbstractNativeEventFilter {
public:
    // Null unless the application runs on X11 and `window` has a native window.
    // `changed` is called when obscured() changes.
    static std::unique_ptr<ObscuredWatch> forWindow(QWindow& window, std::function<void()> changed);
    ~ObscuredWatch() override;
    ObscuredWatch(const ObscuredWatch&) = delete;
    ObscuredWatch& operator=(const ObscuredWatch&) = delete;

    std::uint32_t nativeId() const { return m_nativeId; }
    bool obscured() const { return m_obscured; }
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    ObscuredWatch(std::uint32_t nativeId, std::function<void()> changed);

    std::uint32_t m_nativeId;
    std::function<void()> m_changed;
    bool m_obscured = false;
};

} // namespace frolix
