#include "ComponentState.h"

#include "ComponentLogging.h"
#include "Frolix.h"
#include "StateBlock.h"

#include <QFile>

#include <algorithm>
#include <cmath>

namespace frolix {

namespace {

// Extents are stored in hundredths of a millimetre; the window is laid out at 96 pixels
// to the inch (15 twips to the pixel).
int pixelsFromHimetric(std::uint32_t himetric) { return int(std::lround(double(himetric) * 96.0 / 2540.0)); }

Qt::CursorShape cursorFor(std::int32_t mousePointer)
{
    switch (mousePointer) {
    case 1:
        return Qt::ArrowCursor;
    case 2:
        return Qt::CrossCursor;
    case 3:
        return Qt::IBeamCursor;
    case 5:
    case 15:
        return Qt::SizeAllCursor;
    case 6:
        return Qt::SizeBDiagCursor;
    case 7:
        return Qt::SizeVerCursor;
    case 8:
        return Qt::SizeFDiagCursor;
    case 9:
        return Qt::SizeHorCursor;
    case 10:
        return Qt::UpArrowCursor;
    case 11:
        return Qt::WaitCursor;
    case 12:
        return Qt::ForbiddenCursor;
    case 13:
        return Qt::BusyCursor;
    case frolix::kMousePointerArrowQuestion:
        return Qt::WhatsThisCursor;
    case frolix::kMousePointerCustomIcon: // without an icon the default arrow stays
    default:
        return Qt::ArrowCursor;
    }
}

QImage pictureFrom(const frolix::DispatchObject& object)
{
    if (const auto* picture = std::get_if<frolix::StandardPicture>(&object); picture && !picture->bytes.empty())
        return QImage::fromData(picture->bytes.data(), int(picture->bytes.size()));
    return QImage();
}

// A stored start frame past the animation's end starts at its last frame.
void showStartFrame(frolix::Frolix& component, std::int32_t startFrame)
{
    if (component.FrameCount() > 0)
        component.showFrame(std::min<int>(startFrame, component.FrameCount()));
}

void showStored(frolix::Frolix& component, std::vector<std::uint8_t> animation, std::int32_t startFrame)
{
    if (!component.showAnimation(std::move(animation)))
        qCWarning(frolix::logComponent, "the stored animation cannot be shown: %s", qPrintable(component.lastError()));
    showStartFrame(component, startFrame);
}

void apply(frolix::Frolix& component, frolix::DesignState state)
{
    component.setDesignedSize(
        QSize(pixelsFromHimetric(state.extentWidthHimetric), pixelsFromHimetric(state.extentHeightHimetric)));
    component.setBackColor(
        QColor(int(state.backColor & 0xFF), int((state.backColor >> 8) & 0xFF), int((state.backColor >> 16) & 0xFF)));
    component.setTransparent(state.transparent ? frolix::kAutomationTrue : frolix::kAutomationFalse);
    std::int16_t stretch = frolix::optionIndex(state.stretchMode);
    component.setStretchMode(stretch);
    std::int16_t sequence = frolix::optionIndex(state.sequence);
    component.setSequence(sequence);
    component.setAutoSize(state.autoSize ? frolix::kAutomationTrue : frolix::kAutomationFalse);
    component.setAutoPlay(state.autoPlay);
    component.setToolTip(QString::fromStdU16String(state.toolTipText));
    component.setStatusTip(QString::fromStdU16String(state.statusText));
    component.setProperty("Tag", QString::fromStdU16String(state.tag));
    component.setPicture(pictureFrom(state.picture));
    QImage icon = pictureFrom(state.mouseIcon);
    if (state.mousePointer == frolix::kMousePointerCustomIcon && !icon.isNull())
        component.setCursor(QCursor(QPixmap::fromImage(icon)));
    else
        component.setCursor(cursorFor(state.mousePointer));

    if (state.fileName.empty()) {
        showStored(component, std::move(state.animation), state.startFrame);
        return;
    }
    // The stored file loads as any other, off the window's thread; the component shows
    // nothing until it ends. A load asked for meanwhile supersedes it, and this one then
    // does nothing more.
    const QString path = QString::fromStdU16String(state.fileName);
    component.LoadFile(path);
    auto* ending = new QObject(&component);
    QObject::connect(&component, &frolix::FrolixControl::Loaded, ending,
        [&component, ending, path, request = component.loadRequest(), animation = std::move(state.animation),
            startFrame = state.startFrame](std::int32_t result) mutable {
            QObject::disconnect(&component, &frolix::FrolixControl::Loaded, ending, nullptr);
            ending->deleteLater();
            if (component.loadRequest() != request)
                return;
            if (result == frolix::kAutomationTrue) {
                showStartFrame(component, startFrame);
                return;
            }
            qCWarning(frolix::logComponent, "the stored file name %s cannot be shown (%s); using the stored animation",
                qPrintable(path), qPrintable(component.lastError()));
            showStored(component, std::move(animation), startFrame);
        });
}

} // namespace

bool initialiseFromStateBlock(frolix::Frolix& component, std::span<const std::uint8_t> block)
{
    auto parsed = frolix::readStateBlock(block);
    auto state = parsed ? frolix::designStateFrom(parsed.value()) : frolix::Result<frolix::DesignState>(parsed.error());
    if (!state) {
        qCWarning(frolix::logComponent, "the component's start-up state is damaged (%s); it starts empty",
            state.error().message.c_str());
        return false;
    }
    apply(component, std::move(state).value());
    return true;
}

void initialiseFromStoredState(frolix::Frolix& component)
{
    QFile file(QStringLiteral(":/window/Frolix1.state"));
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    initialiseFromStateBlock(
        component, std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())));
}

} // namespace frolix
