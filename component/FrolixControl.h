#pragma once
// The members of the animation component that the window relies on, as automation
// would carry them: reads arrive as 32-bit values that the window narrows to 16-bit
// integers itself, booleans are 16-bit with -1 for True, and the two option writes take
// a 16-bit integer by reference. The window reaches the component only through this class.
//
// Loading a file never blocks the caller: the file is opened, read and its first frame
// drawn on a thread of its own, however slow or hung the file system it lies on.
//  - LoadFile(path) starts the load and returns -1 at once; it says nothing of the file.
//  - Loaded(result) follows, on the caller's thread, once the load ends: -1 when the
//    file was loaded (it is then shown and, with AutoPlay, playing), 0 when it was
//    refused (lastError() says why; what was shown before stays).
//  - A LoadFile supersedes every load still under way: only the newest one ends with
//    Loaded; the older ones end silently and change nothing, however they turn out.
//  - Until Loaded, the animation that was shown before goes on playing, and
//    FrameCount() and CurrentFrame() report it; they report the new one from Loaded on.

#include <QString>
#include <QWidget>

#include <cstdint>

namespace frolix {

using AutomationBool = std::int16_t;
inline constexpr AutomationBool kAutomationTrue = -1;
inline constexpr AutomationBool kAutomationFalse = 0;

class FrolixControl : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    virtual std::int32_t CurrentFrame() const = 0;
    virtual std::int32_t FrameCount() const = 0;
    virtual void setTransparent(AutomationBool value) = 0;
    virtual void Play() = 0;
    virtual void Stop() = 0;
    virtual std::int32_t LoadFile(const QString& path) = 0;
    virtual void setStretchMode(std::int16_t& value) = 0;
    virtual void setAutoSize(AutomationBool value) = 0;
    virtual void setSequence(std::int16_t& value) = 0;
    // Why the last load was refused, empty after a good one. Not an automation member:
    // the window writes it to its log, never into the message box.
    virtual QString lastError() const { return QString(); }

signals:
    // Raised each time the animation shows another frame.
    void Step();
    // The newest LoadFile has ended: -1 loaded, 0 refused (see above).
    void Loaded(std::int32_t result);
};

} // namespace frolix
