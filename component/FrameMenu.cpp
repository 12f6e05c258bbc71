#include "FrameMenu.h"

#include "Frolix.h"

#include <QActionGroup>
#include <QMenu>

namespace frolix {

FrameMenu::FrameMenu(Frolix& component)
    : QObject(&component)
    , m_component(component)
    , m_menu(new QMenu(&component))
{
    m_menu->setTitle(tr("Animation"));
    m_menu->setAccessibleName(m_menu->title());
    connect(m_menu, &QMenu::aboutToShow, this, [this] {
        refresh();
        greyWhatCannotRun(true);
    });
    connect(m_menu, &QMenu::aboutToHide, this, [this] { greyWhatCannotRun(false); });

    m_playStop = add(tr("Play"), Qt::Key_Space, [this] { m_component.togglePlay(); });
    add(tr("Next frame"), Qt::Key_Right, [this] { m_component.stepFrame(FrameStep::Next); });
    add(tr("Previous frame"), Qt::Key_Left, [this] { m_component.stepFrame(FrameStep::Previous); });
    add(tr("First frame"), Qt::Key_Home, [this] { m_component.stepFrame(FrameStep::First); });
    add(tr("Last frame"), Qt::Key_End, [this] { m_component.stepFrame(FrameStep::Last); });
    add(tr("Ten frames on"), Qt::Key_PageDown, [this] { m_component.stepFrame(FrameStep::TenOn); });
    add(tr("Ten frames back"), Qt::Key_PageUp, [this] { m_component.stepFrame(FrameStep::TenBack); });
    m_menu->addSeparator();

    QMenu* speed = m_menu->addMenu(tr("Speed"));
    addTo(*speed, tr("Slower"), Qt::Key_BracketLeft, [this] { m_component.changeSpeed(-1); });
    addTo(*speed, tr("Faster"), Qt::Key_BracketRight, [this] { m_component.changeSpeed(+1); });
    speed->addSeparator();
    m_speeds = addChoices<Speed>(
        *speed, kSpeeds, { "0.25x", "0.5x", "1x", "2x", "4x" }, [this](Speed chosen) { m_component.setSpeed(chosen); });
    // Back to the file's own speed, whatever it was.
    QAction* normal = m_speeds->actions().at(optionIndex(Speed::Normal));
    normal->setShortcut(Qt::Key_Backspace);
    normal->setShortcutContext(Qt::WidgetShortcut);
    m_component.addAction(normal);

    QMenu* loop = m_menu->addMenu(tr("Loop"));
    m_loopModes = addChoices<LoopMode>(*loop, kLoopModes, { "As the file says", "Forever", "Once" },
        [this](LoopMode chosen) { m_component.setLoopMode(chosen); });
    m_menu->addSeparator();

    m_forFrame.push_back(add(tr("Save this frame as PNG…"), QKeySequence::Save, [this] { m_component.saveFrameAs(); }));
    m_forFile.push_back(add(tr("Export all frames…"), Qt::CTRL | Qt::Key_E, [this] { m_component.exportFrames(); }));
    m_forFrame.push_back(add(tr("Copy frame"), QKeySequence::Copy, [this] { m_component.copyFrame(); }));
    m_forFile.push_back(add(tr("Copy file"), Qt::CTRL | Qt::SHIFT | Qt::Key_C, [this] { m_component.copyFile(); }));
    m_menu->addSeparator();
    m_forFrame.push_back(add(tr("Frame details…"), Qt::CTRL | Qt::Key_I, [this] { m_component.showFrameDetails(); }));
    refresh();
}

QAction* FrameMenu::add(const QString& text, const QKeySequence& key, std::function<void()> run)
{
    return addTo(*m_menu, text, key, std::move(run));
}

QAction* FrameMenu::addTo(QMenu& menu, const QString& text, const QKeySequence& key, std::function<void()> run)
{
    auto* action = new QAction(text, &m_component);
    action->setShortcut(key);
    action->setShortcutContext(Qt::WidgetShortcut);
    connect(action, &QAction::triggered, this, [run = std::move(run)] { run(); });
    m_component.addAction(action);
    menu.addAction(action);
    return action;
}

template <typename Option, std::size_t N>
QActionGroup* FrameMenu::addChoices(QMenu& menu, const std::array<Option, N>& options,
    const std::array<const char*, N>& texts, std::function<void(Option)> choose)
{
    auto* group = new QActionGroup(this);
    for (std::size_t i = 0; i < N; ++i) {
        QAction* action = menu.addAction(QString::fromUtf8(texts[i]));
        action->setCheckable(true);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [choose, option = options[i]] { choose(option); });
    }
    return group;
}

void FrameMenu::refresh()
{
    m_playStop->setText(m_component.isPlaying() ? tr("Stop") : tr("Play"));
    m_speeds->actions().at(optionIndex(m_component.speed()))->setChecked(true);
    m_loopModes->actions().at(optionIndex(m_component.loopMode()))->setChecked(true);
}

void FrameMenu::greyWhatCannotRun(bool menuOpen)
{
    // Only while the menu is open: the keys stay live, and the component's entry points
    // do nothing when there is nothing to act on.
    for (QAction* action : m_forFrame)
        action->setEnabled(!menuOpen || m_component.FrameCount() > 0);
    for (QAction* action : m_forFile)
        action->setEnabled(!menuOpen || m_component.hasFile());
}

void FrameMenu::popup(QPoint globalPos)
{
    refresh();
    m_menu->popup(globalPos);
}

} // namespace frolix
