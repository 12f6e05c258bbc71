#pragma once
// The animation component: plays an Animation inside its rectangle. Decoding and
// timing belong to the engine; this widget turns the engine's answers into one
// single-shot timer and paints the current frame. The frame to be shown next is
// composed on a worker thread meanwhile (FrameAhead.h), so a step backwards or a large
// image costs the UI thread only a copy of the pixels that changed. A file's bytes are
// never read on the UI thread (its file system may hang): a frame not composed in time
// is asked of the worker and shown when it comes, the one before staying meanwhile.
//
// Settings and what they do:
//  - Transparent on: the GIF's transparent pixels (and the area around the picture)
//    show what lies behind the component; off: the component's back colour.
//  - AutoSize on: the component takes the animation's own size, keeping its top-left
//    corner; off: it returns to its designed size.
//  - StretchMode 0: own size at the top-left, clipped; 1: scaled to fill; 2: the
//    largest size keeping the aspect ratio, centred. Whole-number scales stay crisp
//    (nearest pixel), other enlargements are smoothed, and a picture shown smaller
//    than its own size is area-averaged (each screen pixel the mean of the picture
//    pixels it covers), which keeps dithered pictures from turning grainy.
//  - Sequence 0 normal, 1 reverse, 2 ping-pong, switched without a jump.
//  - An option index outside its list (DisplayOptions.h) is ignored, with a warning.
//  - Play starts or resumes from the current frame, and after the last loop starts
//    again; Stop halts on the current frame. A loaded animation starts playing.
//  - Keys, while it has the focus (a click or Tab gives it): Right and Left the next and
//    the previous frame, Home and End the first and the last, Page Down and Page Up ten
//    frames on and back (Player.h says where each stops or wraps); Space Play or Stop;
//    `[` and `]` a speed down and up, Backspace back to 1x. The context menu (right
//    click, the Menu key, Shift+F10) lists them all with their keys (FrameMenu.h).
//  - A step stops playing and raises Step once its frame is shown; a frame not composed
//    yet is asked of the worker like a played one, and a key held down asks only for the
//    newest frame, never a queue of them. Play goes on from the frame stepped to.
//  - Speed and loop mode stay as they are when another animation is loaded.
//  - Unseen (hidden, minimised, its window not exposed or, on X11, wholly covered, as
//    far as the platform says), a playing animation holds its frame and no timer runs;
//    seen again, it goes on from that frame with the frame's whole delay, without
//    catching up.

#include "Animation.h"
#include "AnimationLoader.h"
#include "AreaShrinker.h"
#include "FrameAhead.h"
#include "FrameMenu.h"
#include "FrolixControl.h"
#include "ObscuredWatch.h"
#include "Player.h"

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QTimer>

class QMimeData;
#include <QWindow>

namespace frolix {
class FrameExportDialogs;
class FrameSurface;
}

#include <bit>
#include <memory>
#include <optional>

namespace frolix {

// Where a picture of `image` size is drawn inside `area` in each mode.
QRect targetRect(QSize image, QRect area, StretchMode mode);
// Frames are composed straight into the byte order the display paints fastest: on a
// little-endian machine that is premultiplied ARGB32. GIF pixels are opaque or fully
// transparent, so premultiplying changes nothing.
inline constexpr bool kLittleEndian = std::endian::native == std::endian::little;
inline constexpr PixelOrder kDisplayOrder = kLittleEndian ? PixelOrder::Bgra : PixelOrder::Rgba;
inline constexpr QImage::Format kDisplayFormat
    = kLittleEndian ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGBA8888_Premultiplied;

// Canvases up to this size are copied for showing; larger ones are shown in place.
inline constexpr std::size_t kMaxShownCopyBytes = 16u << 20;

// Brings `shown` up to date with a frame of `size` in kDisplayFormat's byte order, where
// only pixels `within` can differ, copying only what differs. Returns the smallest
// rectangle holding every changed pixel (all of it when `shown` had another size).
// Only that part is repainted.
QRect copyChangedPixels(QImage& shown, const std::uint8_t* pixels, QSize size, QRect within);

class Frolix : public FrolixControl {
    Q_OBJECT
    Q_DISABLE_COPY(Frolix)
public:
    explicit Frolix(QWidget* parent = nullptr);
    ~Frolix() override;

    std::int32_t CurrentFrame() const override;
    std::int32_t FrameCount() const override;
    void setTransparent(AutomationBool value) override;
    void Play() override;
    void Stop() override;
    std::int32_t LoadFile(const QString& path) override;
    void setStretchMode(std::int16_t& value) override;
    void setAutoSize(AutomationBool value) override;
    void setSequence(std::int16_t& value) override;

    // Shows an animation held in memory (the one stored with the window) before it
    // returns. False, with the reason in lastError(), when it cannot be read; the
    // component then keeps what it had. A LoadFile under way ends without Loaded.
    bool showAnimation(std::vector<std::uint8_t> gifBytes);
    // The number of the newest LoadFile (they count from 1; 0 before the first), and
    // whether it has yet to end.
    std::uint64_t loadRequest() const { return m_loadRequest; }
    bool isLoading() const { return m_loader.busy(); }
    // Shows an animation opened elsewhere; `bytes` says whether reading it may hang.
    void showAnimation(std::shared_ptr<Animation> animation, FrameAhead::Bytes bytes);
    // Stops and shows the frame `step` leads to, raising Step once it is shown.
    void stepFrame(FrameStep step);
    // Stop when playing (or held while unseen), else Play.
    void togglePlay();
    void setSpeed(Speed speed);
    Speed speed() const { return m_speed; }
    // `by` speeds faster (negative: slower), stopping at the fastest and the slowest.
    void changeSpeed(int by);
    // Takes effect from the end of the play under way.
    void setLoopMode(LoopMode mode);
    LoopMode loopMode() const { return m_loopMode; }
    // The actions with their keys and the context menu; add() adds one to both.
    FrameMenu& frameMenu() { return *m_frameMenu; }
    // The size the component returns to when AutoSize is switched off.
    void setDesignedSize(QSize size);
    void setBackColor(QColor color);
    void setAutoPlay(bool autoPlay) { m_autoPlay = autoPlay; }
    // A picture drawn behind the animation, at the component's top-left.
    void setPicture(QImage picture);
    // Opens the frame details of the animation shown, or brings them to the front showing
    // it; with nothing loaded there is nothing to describe and nothing opens.
    void showFrameDetails();
    // Shows frame `number` (1 to FrameCount(); any other is a caller's bug) without
    // raising Step; playback goes on from it. Nothing happens with nothing loaded.
    void showFrame(int number);
    // Times playback by `clock` from now on (tests drive a fake one). It must outlive
    // the widget or be replaced first.
    void useClock(const Clock& clock);
    QString lastError() const override { return m_lastError; }
    // What a drag out of the picture carries: the URL of the file shown, for the caller
    // to own; null when what is shown came from no file (the stored animation).
    QMimeData* dragData() const;
    // What is shown came from a file (the stored animation did not).
    bool hasFile() const { return !m_filePath.isEmpty(); }

    // Asks where to save the frame shown, at the picture's own size with its
    // transparency, and saves it as a PNG off this thread. Nothing with no frame shown.
    void saveFrameAs();
    // Asks for a folder and writes every frame of the file shown into it as a PNG, with
    // frames.csv; a progress dialog offers Cancel. Nothing without hasFile().
    void exportFrames();
    // Puts the frame shown on the clipboard as an image, at the picture's own size.
    void copyFrame();
    // Puts the file shown on the clipboard as a file; nothing without hasFile().
    void copyFile();

    bool isTransparent() const { return m_transparent; }
    // Playing, or held while unseen and to go on when seen.
    bool isPlaying() const;
    // A timer is set to move the animation on.
    bool isTickScheduled() const { return m_timer.isActive(); }
    // The frame due is being composed; the one before stays on screen until it comes.
    bool isComposing() const { return m_pendingFrame != 0; }
    StretchMode stretchMode() const { return m_stretchMode; }
    QSize animationSize() const;
    QSize sizeHint() const override;

public slots:
    // Moves the animation to the clock's time; the timer calls it, tests may too.
    void tick();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Anything not said to be in memory is read from a file that may hang.
    bool takeLoaded(const LoadResult& loaded, FrameAhead::Bytes bytes = FrameAhead::Bytes::MayHang);
    void loadEnded(std::uint64_t request, const LoadResult& loaded);
    void adopt(std::shared_ptr<Animation> animation, FrameAhead::Bytes bytes = FrameAhead::Bytes::MayHang);
    void setPlayerSequence();
    // Has the worker compose the frame the player will show next.
    void composeAhead();
    // Shows the player's current frame if it is composed, else asks for it.
    void showCurrentFrame(bool announce);
    // The frame asked for may be ready: shows it, and its delay starts then.
    void frameComposed();
    // Tells assistive technology the frame a step by hand has shown.
    void announceStep();
    void schedule();
    // Holds or resumes playing as the component becomes unseen or seen.
    void refreshSeen();
    void applyAutoSize();
    QRect pictureRect() const;
    // Brings m_frame up to date with a frame of `size` that differs only `drawn`, as
    // copyChangedPixels does, and returns what changed.
    QRect copyFrame(const std::uint8_t* pixels, QSize size, QRect drawn);
    // m_frame at `size` (smaller in at least one direction), made once per frame and size.
    const QImage& shrunkFrame(QSize size);
    // Lays the frame's surface over the picture, and tells Qt what paints every pixel it
    // covers, so what lies beneath (the window's sky) is not painted first under a frame.
    void placeSurface();
    // Paints the frame on its surface, in the surface's coordinates.
    void paintFrame(QPainter& painter);
    // A rectangle of the picture, in its surface's coordinates.
    QRect surfaceArea(const QRect& pictureArea) const;

    // Lets the clock be swapped under a running player.
    class ClockSwitch final : public Clock {
    public:
        Milliseconds now() const override { return m_source->now(); }
        const Clock* m_source = nullptr;
    };

    SteadyClock m_steadyClock;
    ClockSwitch m_clock;
    std::shared_ptr<Animation> m_animation;
    std::unique_ptr<Player> m_player;
    std::unique_ptr<FrameAhead> m_ahead; // the only user of m_animation's frames
    QImage m_frame; // premultiplied, converted once per shown frame
    int m_shownFrame = 0; // the frame m_frame holds, 0 for none
    int m_pendingFrame = 0; // asked for and being composed, 0 for none
    bool m_pendingAnnounce = false; // it is a step, to be announced when shown
    bool m_shownInPlace = false; // m_frame is the animation's own canvas
    AreaShrinker m_shrinker; // m_frame area-averaged to the size it is shown at, when smaller
    QRect m_shrinkChanged; // the part of m_frame changed since it was last shrunk
    bool m_frameOpaque = false; // every pixel of m_frame is opaque
    QImage m_picture;
    int m_reportedFrame = 0; // the frame the last Step announced
    QTimer m_timer;
    QString m_lastError;
    AnimationLoader m_loader { kDisplayOrder };
    std::uint64_t m_loadRequest = 0;
    QString m_loadingPath; // of the newest LoadFile
    QString m_filePath; // the file shown was loaded from; empty for one from memory
    std::optional<QPoint> m_pressedAt; // on the picture, where a drag may start
    bool m_cutShortLogged = false; // the animation's file was found cut short, and it was said
    QPointer<QWindow> m_watchedWindow; // the window whose exposure tells if we are seen
    std::unique_ptr<ObscuredWatch> m_obscuredWatch; // whether it is wholly covered, on X11
    bool m_everShown = false; // a component never shown is not held: tests drive it
    bool m_shown = false; // the last show or hide event was a show
    bool m_unseen = false;
    bool m_resumeWhenSeen = false;
    FrameExportDialogs* m_frameExport; // a child: its dialogs open over this widget
    FrameSurface* m_surface; // a child widget covering the picture

    bool m_transparent = true;
    bool m_autoSize = false;
    bool m_autoPlay = true;
    StretchMode m_stretchMode = StretchMode::None;
    Sequence m_sequence = Sequence::Normal;
    Speed m_speed = Speed::Normal;
    LoopMode m_loopMode = LoopMode::AsFile;
    // The last step by hand since playing last started; a key held down repeats it, so
    // the frame it leads to is composed ahead.
    std::optional<FrameStep> m_lastStep;
    bool m_steppedBackwards = false; // the engine was told to expect backward steps
    FrameMenu* m_frameMenu;
    QColor m_backColor { 0xC0, 0xC0, 0xFF };
    QSize m_designedSize;
};

} // namespace frolix
