#pragma once
// The component's actions and its context menu. Every action has its key; the keys work
// while the component has the focus, so they never take a key from the window's lists.
// The menu lists every action with its key: Play/Stop and the steps, then Speed and Loop
// as groups of choices. It opens by popup(), which returns at once: no event loop of its
// own runs while it is open, and the animation plays on.

#include "DisplayOptions.h"

#include <QKeySequence>
#include <QObject>
#include <QPoint>

#include <array>

#include <functional>
#include <vector>

class QAction;
class QActionGroup;
class QMenu;

namespace frolix {

class Frolix;

class FrameMenu : public QObject {
    Q_OBJECT
public:
    // Made by the component, as its child.
    explicit FrameMenu(Frolix& component);

    // Adds an action at the end of the menu, its key working while the component has
    // the focus; `run` is called when it is chosen or its key pressed.
    QAction* add(const QString& text, const QKeySequence& key, std::function<void()> run);
    // Opens the menu with its top-left at `globalPos`, returning at once.
    void popup(QPoint globalPos);
    QMenu& menu() { return *m_menu; }

private:
    QAction* addTo(QMenu& menu, const QString& text, const QKeySequence& key, std::function<void()> run);
    // Brings Play/Stop's text and the ticked speed and loop mode up to the component's.
    void refresh();
    void greyWhatCannotRun(bool menuOpen);
    template <typename Option, std::size_t N>
    QActionGroup* addChoices(QMenu& menu, const std::array<Option, N>& options, const std::array<const char*, N>& texts,
        std::function<void(Option)> choose);

    Frolix& m_component;
    QMenu* m_menu;
    QAction* m_playStop = nullptr;
    QActionGroup* m_speeds = nullptr;
    QActionGroup* m_loopModes = nullptr;
    std::vector<QAction*> m_forFrame; // need a frame shown
    std::vector<QAction*> m_forFile; // need the file it came from
};

} // namespace frolix
