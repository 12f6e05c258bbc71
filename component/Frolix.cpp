#include "Frolix.h"

#include "ComponentLogging.h"
#include "FileClipboard.h"
#include "FrameDetailsDialog.h"
#include "FrameExportDialogs.h"
#include "FrameSurface.h"
#include "FrolixAccessible.h"
#include "NativePath.h"
#include "OpenAnimation.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QTransform>
#include <QUrl>

#include <chrono>
#include <cstring>

namespace frolix {

QRect targetRect(QSize image, QRect area, StretchMode mode)
{
    switch (mode) {
    case StretchMode::Stretch:
        return area;
    case StretchMode::Proportional: {
        if (image.isEmpty())
            return QRect(area.topLeft(), QSize(0, 0));
        QSize size = image.scaled(area.size(), Qt::KeepAspectRatio);
        QPoint offset((area.width() - size.width()) / 2, (area.height() - size.height()) / 2);
        return QRect(area.topLeft() + offset, size);
    }
    case StretchMode::None:
        break;
    }
    return QRect(area.topLeft(), image);
}

Frolix::Frolix(QWidget* parent)
    : FrolixControl(parent)
    , m_frameExport(new FrameExportDialogs(this))
    , m_surface(new FrameSurface(*this, [this](QPainter& painter) { paintFrame(painter); }))
{
    installFrolixAccessibility();
    m_clock.m_source = &m_steadyClock;
    // Tab and a click give it the focus, for its keys.
    setFocusPolicy(Qt::StrongFocus);
    m_frameMenu = new FrameMenu(*this);
    connect(this, &FrolixControl::Step, this, &Frolix::announceStep);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Frolix::tick);
    connect(&m_loader, &AnimationLoader::loaded, this, &Frolix::loadEnded);
}

Frolix::~Frolix() = default;

void Frolix::useClock(const Clock& clock)
{
    m_clock.m_source = &clock;
    if (m_player && m_player->state() == Player::State::Playing) {
        m_player->stop();
        m_player->play(); // the current frame's delay starts again on the new clock
    }
    schedule();
}

std::int32_t Frolix::CurrentFrame() const
{
    // The frame shown, not one the player has come to that is still being composed.
    if (!m_player)
        return 0;
    return m_shownFrame != 0 ? m_shownFrame : m_player->currentFrame();
}

std::int32_t Frolix::FrameCount() const { return m_animation ? m_animation->frameCount() : 0; }

void Frolix::setTransparent(AutomationBool value)
{
    bool transparent = value != kAutomationFalse;
    if (transparent == m_transparent)
        return;
    m_transparent = transparent;
    placeSurface();
    update();
}

void Frolix::Play()
{
    if (!m_player)
        return;
    m_lastStep.reset();
    m_player->play();
    schedule();
}

void Frolix::Stop()
{
    if (!m_player)
        return;
    m_resumeWhenSeen = false;
    m_player->stop();
    m_timer.stop();
}

void Frolix::togglePlay() { isPlaying() ? Stop() : Play(); }

void Frolix::stepFrame(FrameStep step)
{
    if (!m_player)
        return;
    Stop();
    const bool backwards = step == FrameStep::Previous || step == FrameStep::TenBack
        || (step == FrameStep::First && m_player->currentFrame() != 1);
    if (backwards && !m_steppedBackwards) {
        m_steppedBackwards = true; // key frames from here on make the next ones cheap
        m_ahead->expectBackwardSteps();
    }
    m_lastStep = step;
    m_player->step(step); // shows it, or asks the worker for it and shows it when it comes
    composeAhead();
}

void Frolix::setSpeed(Speed speed)
{
    m_speed = speed;
    if (!m_player)
        return;
    m_player->setSpeed(speed);
    schedule();
}

void Frolix::changeSpeed(int by)
{
    const int index = std::clamp(int(optionIndex(m_speed)) + by, 0, int(kSpeeds.size()) - 1);
    setSpeed(*speedAt(std::int16_t(index)));
}

void Frolix::setLoopMode(LoopMode mode)
{
    m_loopMode = mode;
    if (!m_player)
        return;
    m_player->setLoopMode(mode);
    schedule(); // what comes after the frame shown may have changed
}

void Frolix::announceStep()
{
    if (!m_lastStep || !QAccessible::isActive())
        return;
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

bool Frolix::isPlaying() const { return m_player && (m_resumeWhenSeen || m_player->state() == Player::State::Playing); }

bool Frolix::event(QEvent* event)
{
    bool handled = FrolixControl::event(event);
    if (event->type() == QEvent::Show || event->type() == QEvent::Hide) {
        QWindow* window = this->window()->windowHandle();
        if (window != m_watchedWindow) {
            if (m_watchedWindow)
                m_watchedWindow->removeEventFilter(this);
            m_watchedWindow = window;
            if (window)
                window->installEventFilter(this);
        }
        // A minimised window's widgets get a hide event but stay "visible".
        m_shown = event->type() == QEvent::Show;
        if (!window)
            m_obscuredWatch.reset();
        else if (m_shown && window->handle() && (!m_obscuredWatch || m_obscuredWatch->nativeId() != window->winId()))
            m_obscuredWatch = ObscuredWatch::forWindow(*window, [this] { refreshSeen(); });
        m_everShown = m_everShown || m_shown;
        refreshSeen();
    }
    return handled;
}

bool Frolix::eventFilter(QObject* watched, QEvent* event)
{
    // The window's exposure is updated before its expose event is delivered; a
    // minimised window is unexposed on the platforms that say so.
    if (watched == m_watchedWindow && (event->type() == QEvent::Expose || event->type() == QEvent::WindowStateChange))
        refreshSeen();
    return FrolixControl::eventFilter(watched, event);
}

void Frolix::refreshSeen()
{
    bool exposed = !m_watchedWindow
        || (m_watchedWindow->isExposed() && m_watchedWindow->visibility() != QWindow::Minimized
            && !(m_obscuredWatch && m_obscuredWatch->obscured()));
    bool unseen = m_everShown && !(m_shown && exposed);
    if (unseen == m_unseen)
        return;
    m_unseen = unseen;
    if (!m_player)
        return;
    if (m_unseen) {
        m_resumeWhenSeen = m_player->state() == Player::State::Playing;
        m_player->stop();
        m_timer.stop();
    } else if (m_resumeWhenSeen) {
        m_resumeWhenSeen = false;
        m_player->play(); // the frame shown gets its whole delay again
        schedule();
    }
}

std::int32_t Frolix::LoadFile(const QString& path)
{
    m_loadingPath = path;
    m_loader.load(path, ++m_loadRequest);
    return kAutomationTrue; // started; Loaded tells how it ended
}

void Frolix::loadEnded(std::uint64_t request, const LoadResult& loaded)
{
    Q_ASSERT(request == m_loadRequest); // the loader answers only the newest
    const bool taken = takeLoaded(loaded);
    if (taken)
        m_filePath = m_loadingPath;
    emit Loaded(taken ? kAutomationTrue : kAutomationFalse);
}

bool Frolix::showAnimation(std::vector<std::uint8_t> gifBytes)
{
    m_loader.cancel(); // a file still loading must not replace it
    if (!takeLoaded(openAnimation(std::move(gifBytes), kDisplayOrder), FrameAhead::Bytes::InMemory))
        return false;
    m_filePath.clear();
    return true;
}

void Frolix::showAnimation(std::shared_ptr<Animation> animation, FrameAhead::Bytes bytes)
{
    m_loader.cancel();
    m_lastError.clear();
    m_filePath.clear();
    adopt(std::move(animation), bytes);
}

void Frolix::showFrameDetails()
{
    if (!m_animation)
        return;
    auto* dialog = findChild<FrameDetailsDialog*>(QString(), Qt::FindDirectChildrenOnly);
    if (!dialog) {
        dialog = new FrameDetailsDialog(this);
        dialog->setAttribute(Qt::WA_DeleteOnClose); // it lets go of the animation it holds
    }
    dialog->present(m_animation, m_filePath);
}

bool Frolix::takeLoaded(const LoadResult& loaded, FrameAhead::Bytes bytes)
{
    if (!loaded) {
        m_lastError = QString::fromStdString(loaded.error().message);
        qCInfo(logComponent, "not loaded: %s", qPrintable(m_lastError));
        return false; // what was playing goes on
    }
    m_lastError.clear();
    adopt(loaded.value(), bytes);
    return true;
}

void Frolix::adopt(std::shared_ptr<Animation> animation, FrameAhead::Bytes bytes)
{
    m_timer.stop();
    m_resumeWhenSeen = false;
    m_ahead.reset(); // a worker still reading the old animation is let go, not waited for
    m_frame = QImage(); // it shows the old animation's canvas
    m_shownFrame = 0;
    m_pendingFrame = 0;
    m_pendingAnnounce = false;
    m_shrinker.forget();
    m_animation = std::move(animation);
    // Called on the worker's thread: the frame is taken on this one.
    m_ahead = std::make_unique<FrameAhead>(
        m_animation, bytes, [this] { QMetaObject::invokeMethod(this, &Frolix::frameComposed, Qt::QueuedConnection); });
    m_cutShortLogged = false;
    m_player = std::make_unique<Player>(m_clock, m_animation->timeline());
    m_player->setSpeed(m_speed);
    m_player->setLoopMode(m_loopMode);
    m_lastStep.reset();
    m_steppedBackwards = false;
    setPlayerSequence();
    m_player->setStepCallback([this] { showCurrentFrame(true); });
    // Showing the first frame is not a step: Step means the animation advanced, so the
    // window's frame label keeps what it said until this animation moves on.
    m_reportedFrame = m_player->currentFrame();
    showCurrentFrame(false);
    applyAutoSize();
    update();
    m_surface->update();
    if (m_autoPlay)
        m_player->play();
    m_timer.start(0);
}

void Frolix::setStretchMode(std::int16_t& value)
{
    auto mode = stretchModeAt(value);
    if (!mode) {
        qCWarning(
            logComponent, "StretchMode %d is not between 0 and %d; ignored", value, int(kStretchModes.size()) - 1);
        return;
    }
    if (*mode == m_stretchMode)
        return;
    m_stretchMode = *mode;
    placeSurface();
    update();
    m_surface->update();
}

void Frolix::setAutoSize(AutomationBool value)
{
    m_autoSize = value != kAutomationFalse;
    applyAutoSize();
}

void Frolix::setSequence(std::int16_t& value)
{
    auto sequence = sequenceAt(value);
    if (!sequence) {
        qCWarning(logComponent, "Sequence %d is not between 0 and %d; ignored", value, int(kSequences.size()) - 1);
        return;
    }
    m_sequence = *sequence;
    if (m_player)
        setPlayerSequence();
}

void Frolix::setPlayerSequence()
{
    m_player->setSequence(m_sequence);
    if (m_sequence != Sequence::Normal)
        m_ahead->expectBackwardSteps();
    composeAhead();
}

void Frolix::composeAhead()
{
    // A canvas shown in place must stay as it is until the next frame is asked for.
    auto next = m_player->nextFrame();
    if (!next && m_lastStep)
        next = m_player->frameAfter(*m_lastStep); // a key held down asks for it next
    if (next && !m_unseen && !m_shownInPlace && m_pendingFrame == 0)
        m_ahead->ahead(*next);
}

void Frolix::setDesignedSize(QSize size)
{
    m_designedSize = size;
    applyAutoSize();
}

void Frolix::setPicture(QImage picture)
{
    m_picture = std::move(picture);
    update();
}

void Frolix::showFrame(int number)
{
    if (!m_player)
        return;
    m_player->jumpToFrame(number);
    showCurrentFrame(false);
}

void Frolix::setBackColor(QColor color)
{
    m_backColor = color;
    update();
}

QSize Frolix::animationSize() const
{
    return m_animation ? QSize(m_animation->width(), m_animation->height()) : QSize();
}

// The component's own size when it has no animation to take one from.
constexpr QSize kDefaultSize(96, 56);

QSize Frolix::sizeHint() const
{
    QSize own = animationSize();
    return own.isValid() ? own : kDefaultSize;
}

void Frolix::applyAutoSize()
{
    QSize wanted = m_autoSize && m_animation ? animationSize() : m_designedSize;
    if (wanted.isValid() && wanted != size())
        resize(wanted);
}

void Frolix::tick()
{
    // While the frame due is being composed the one shown stays, and its delay with it.
    if (!m_player || m_pendingFrame != 0)
        return;
    m_player->update();
    if (m_reportedFrame != m_player->currentFrame())
        showCurrentFrame(true);
    schedule();
}

void Frolix::schedule()
{
    if (m_unseen && m_player && m_player->state() == Player::State::Playing) {
        m_resumeWhenSeen = true;
        m_player->stop();
    }
    auto next = m_player && m_pendingFrame == 0 ? m_player->nextChangeAt() : std::nullopt;
    if (!next) {
        m_timer.stop();
        if (m_player)
            composeAhead(); // the frame a step by hand leads to next, if any
        return;
    }
    auto wait = *next - m_clock.now();
    m_timer.start(std::chrono::milliseconds(std::max<std::int64_t>(0, wait.count())));
    composeAhead();
}

void Frolix::frameComposed()
{
    if (m_pendingFrame == 0 || !m_player)
        return; // news of a frame asked for by an animation since replaced
    showCurrentFrame(m_pendingAnnounce);
    if (m_pendingFrame != 0)
        return; // the player moved on (a jump) while it was composed: that one is asked for
    if (m_player->state() == Player::State::Playing) {
        m_player->stop();
        m_player->play(); // the late frame gets its whole delay
    }
    schedule();
}

void Frolix::showCurrentFrame(bool announce)
{
    int number = m_player->currentFrame();
    if (m_shownInPlace && number != m_shownFrame) {
        // The canvas shown is about to be written by the worker: keep a copy on screen.
        m_frame = m_frame.copy();
        m_shownInPlace = false;
    }
    auto taken = m_ahead->take(number);
    if (!taken) {
        // Being composed: frameComposed() shows it. What is on screen stays meanwhile.
        m_pendingFrame = number;
        m_pendingAnnounce = m_pendingAnnounce || announce;
        m_timer.stop();
        return;
    }
    m_pendingFrame = 0;
    m_pendingAnnounce = false;
    const FrameAhead::Frame& next = *taken;
    // The animation is this thread's until the next take() or ahead(), so its warnings
    // can be read.
    if (!m_cutShortLogged && m_animation->fileCutShort()) {
        m_cutShortLogged = true;
        for (const Warning& warning : m_animation->warnings())
            if (warning.kind == Warning::Kind::FileCutShort)
                qCWarning(logComponent, "%s", warning.message.c_str());
    }
    QSize size(m_animation->width(), m_animation->height());
    // The change is known against the frame composed before, which is not always the one
    // shown (a frame composed ahead and passed over); then all of it may differ.
    QRect drawn(QPoint(0, 0), size);
    if (m_shownFrame != 0 && next.changedSince == m_shownFrame)
        drawn = QRect(int(next.change.left), int(next.change.top), int(next.change.width), int(next.change.height));
    QRect changed;
    m_shownInPlace = next.pixels.size() > kMaxShownCopyBytes;
    if (m_shownInPlace) {
        // A very large canvas is shown in place rather than copied (at the size limit it
        // is 128 MiB); it stays valid until the next frame is asked for, here.
        m_frame = QImage(next.pixels.data(), size.width(), size.height(), qsizetype(size.width()) * 4, kDisplayFormat);
        changed = drawn;
        m_shrinkChanged |= changed;
    } else {
        // A copy lets the repaint shrink to the pixels that really changed: encoders
        // often redraw a whole rectangle to change a few pixels in it.
        changed = copyFrame(next.pixels.data(), size, drawn);
    }
    m_shownFrame = number;
    m_frameOpaque = next.opaque;
    placeSurface();
    if (!changed.isEmpty())
        m_surface->update(surfaceArea(changed));
    if (announce && number != m_reportedFrame) {
        m_reportedFrame = number;
        emit Step();
    }
}

// Source rows copied and shrunk at a time: few enough to be still in the processor's
// second-level cache when they are averaged.
constexpr std::size_t kShrinkBandBytes = 128u << 10;

QRect Frolix::copyFrame(const std::uint8_t* pixels, QSize size, QRect drawn)
{
    // A frame shown smaller is shrunk band by band as it is copied: read back from memory
    // at the next paint instead, its pixels cost as much again as the averaging itself.
    const QSize shown = targetRect(size, rect(), m_stretchMode).size();
    const bool shrunk = shown.width() < size.width() || shown.height() < size.height();
    if (!shrunk || !isVisible() || m_frame.size() != size) {
        const QRect changed = copyChangedPixels(m_frame, pixels, size, drawn);
        m_shrinkChanged |= changed;
        return changed;
    }
    drawn &= QRect(QPoint(0, 0), size);
    const int bandRows = std::max(8, int(kShrinkBandBytes / (std::size_t(size.width()) * 4)));
    QRect changed;
    for (int top = drawn.top(); top <= drawn.bottom(); top += bandRows) {
        const QRect band = copyChangedPixels(m_frame, pixels, size, drawn & QRect(0, top, size.width(), bandRows));
        // An output row reaching into the next band is averaged again with it.
        m_shrinker.shrink(m_frame, shown, m_shrinkChanged | band);
        m_shrinkChanged = QRect();
        changed |= band;
    }
    return changed;
}

QRect copyChangedPixels(QImage& shown, const std::uint8_t* pixels, QSize size, QRect within)
{
    if (shown.size() != size || shown.format() != kDisplayFormat) {
        shown = QImage(size, kDisplayFormat);
        for (int y = 0; y < size.height(); ++y)
            std::memcpy(shown.scanLine(y), pixels + std::size_t(y) * size.width() * 4, std::size_t(size.width()) * 4);
        return shown.rect();
    }
    within &= shown.rect();
    int top = -1, bottom = -1, left = size.width(), right = -1;
    const auto rowBytes = std::size_t(size.width()) * 4;
    const auto spanBytes = std::size_t(within.width()) * 4;
    for (int y = within.top(); y <= within.bottom(); ++y) {
        const auto* next = reinterpret_cast<const std::uint32_t*>(pixels + std::size_t(y) * rowBytes);
        auto* row = reinterpret_cast<std::uint32_t*>(shown.scanLine(y));
        if (std::memcmp(row + within.left(), next + within.left(), spanBytes) == 0)
            continue;
        int x0 = within.left();
        while (row[x0] == next[x0])
            ++x0;
        int x1 = within.right();
        while (row[x1] == next[x1])
            --x1;
        std::memcpy(row + x0, next + x0, std::size_t(x1 - x0 + 1) * 4);
        if (top < 0)
            top = y;
        bottom = y;
        left = std::min(left, x0);
        right = std::max(right, x1);
    }
    if (top < 0)
        return QRect();
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

QRect Frolix::surfaceArea(const QRect& pictureArea) const
{
    const QSize target = pictureRect().size();
    if (m_frame.isNull() || m_frame.width() == 0 || m_frame.height() == 0)
        return QRect(QPoint(0, 0), target);
    QTransform toSurface
        = QTransform::fromScale(double(target.width()) / m_frame.width(), double(target.height()) / m_frame.height());
    // Smoothing blends each picture pixel into its neighbours, which a scale above 1
    // spreads over several widget pixels: grow by one picture pixel before mapping, and
    // by one widget pixel after it for rounding.
    return toSurface.mapRect(QRectF(pictureArea.adjusted(-1, -1, 1, 1))).toAlignedRect().adjusted(-1, -1, 1, 1)
        & QRect(QPoint(0, 0), target);
}

QRect Frolix::pictureRect() const { return targetRect(m_frame.size(), rect(), m_stretchMode); }

const QImage& Frolix::shrunkFrame(QSize size)
{
    // Painting with smoothing would sample only the nearest four pixels; averaging only
    // what changed since the last paint keeps a large animation cheap to show small.
    const QImage& shrunk = m_shrinker.shrink(m_frame, size, m_shrinkChanged);
    m_shrinkChanged = QRect();
    return shrunk;
}

void Frolix::placeSurface()
{
    setAttribute(Qt::WA_OpaquePaintEvent, !m_transparent);
    const QRect target = pictureRect();
    m_surface->setGeometry(target);
    m_surface->setOpaque(m_frameOpaque);
    m_surface->setVisible(!m_frame.isNull() && !target.isEmpty());
}

void Frolix::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeSurface();
}

void Frolix::focusInEvent(QFocusEvent* event)
{
    FrolixControl::focusInEvent(event);
    m_surface->update(); // the focus mark runs over the picture
}

void Frolix::focusOutEvent(QFocusEvent* event)
{
    FrolixControl::focusOutEvent(event);
    m_surface->update();
}

namespace {

// Black dashes on white: one of the two stands out on the sky and on any picture.
void drawFocusMark(QPainter& painter, QRect around)
{
    const QRect mark = around.adjusted(0, 0, -1, -1);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawRect(mark);
    painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
    painter.drawRect(mark);
}

} // namespace

void Frolix::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setClipRegion(event->region());
    if (!m_transparent)
        painter.fillRect(rect(), m_backColor);
    if (!m_picture.isNull())
        painter.drawImage(0, 0, m_picture);
    if (hasFocus())
        drawFocusMark(painter, rect());
}

void Frolix::paintFrame(QPainter& painter)
{
    if (m_frame.isNull())
        return;
    const QRect placed = pictureRect();
    const QRect target(QPoint(0, 0), placed.size());
    if (target.width() < m_frame.width() || target.height() < m_frame.height()) {
        painter.drawImage(0, 0, shrunkFrame(target.size()));
    } else {
        bool wholeScale = target.width() % m_frame.width() == 0 && target.height() % m_frame.height() == 0;
        painter.setRenderHint(QPainter::SmoothPixmapTransform, !wholeScale);
        painter.drawImage(target, m_frame);
    }
    if (hasFocus())
        drawFocusMark(painter, rect().translated(-placed.topLeft()));
}

} // namespace frolix

namespace frolix {

QMimeData* Frolix::dragData() const
{
    if (m_filePath.isEmpty())
        return nullptr;
    // From the name's bytes, so a name that is not UTF-8 reaches the receiver as it is.
    const QByteArray bytes = QByteArray::fromStdString(pathBytesFromText(m_filePath));
    auto* data = new QMimeData;
    data->setUrls({ QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/")) });
    return data;
}

void Frolix::saveFrameAs()
{
    // A copy: a canvas shown in place changes with the next frame.
    if (!m_frame.isNull())
        m_frameExport->saveFrame(m_frame.copy(), m_filePath, CurrentFrame(), FrameCount());
}

void Frolix::exportFrames() { m_frameExport->exportFrames(m_filePath); }

void Frolix::copyFrame()
{
    if (!m_frame.isNull())
        QApplication::clipboard()->setImage(m_frame.convertToFormat(QImage::Format_ARGB32));
}

void Frolix::copyFile()
{
    if (QMimeData* data = dragData()) {
        addCopiedFileFormats(*data);
        QApplication::clipboard()->setMimeData(data);
    }
}

void Frolix::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton && !m_filePath.isEmpty() && pictureRect().contains(at))
        m_pressedAt = at;
    FrolixControl::mousePressEvent(event);
}

void Frolix::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressedAt || !(event->buttons() & Qt::LeftButton)
        || (event->position().toPoint() - *m_pressedAt).manhattanLength() < QApplication::startDragDistance()) {
        FrolixControl::mouseMoveEvent(event);
        return;
    }
    m_pressedAt.reset();
    QMimeData* data = dragData();
    if (!data)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    if (!m_frame.isNull())
        drag->setPixmap(
            QPixmap::fromImage(m_frame.scaled(QSize(64, 64), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    // exec() runs an event loop of its own until the drop: Qt offers a drag no other way.
    // The animation goes on playing meanwhile, as that loop serves its timers.
    drag->exec(Qt::CopyAction);
}

void Frolix::contextMenuEvent(QContextMenuEvent* event)
{
    // From the keyboard the menu opens over the part of the component in sight, not
    // wherever the mouse pointer happens to be.
    QPoint at = event->globalPos();
    if (event->reason() == QContextMenuEvent::Keyboard) {
        // Qt leaves an opaque child's area out of the region seen.
        QRegion seen = visibleRegion();
        if (m_surface->isVisible())
            seen += m_surface->visibleRegion().translated(m_surface->pos());
        at = mapToGlobal(seen.boundingRect().center());
    }
    m_frameMenu->popup(at);
    event->accept();
}

void Frolix::keyPressEvent(QKeyEvent* event)
{
    // Shift+F10 opens the context menu as the Menu key does; Qt leaves it to the widget.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, rect().center(), mapToGlobal(rect().center()));
        contextMenuEvent(&menuEvent);
        return;
    }
    FrolixControl::keyPressEvent(event);
}

void Frolix::mouseReleaseEvent(QMouseEvent* event)
{
    m_pressedAt.reset();
    FrolixControl::mouseReleaseEvent(event);
}

} // namespace frolix
