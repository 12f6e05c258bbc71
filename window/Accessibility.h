#pragma once
// What a screen reader hears from the window beyond Qt's defaults: the window is a frame
// named by its title, the labels that report on the animation speak as status text, and the label that changes with
// every frame is announced at most about once a second instead of fifty times.

#include <QObject>
#include <QTimer>

#include <chrono>

class QLabel;

namespace frolix {

// Form1 gets the window role. Labels carrying the dynamic property "statusText" (set in
// Form1.ui) get the status role; their name is what they show. Installed once, before
// the first control asks.
void installWindowAccessibility();

// Keeps `label`'s accessible name (what is announced and read back) at its text, but
// changes it at most once per `interval`: the first change at once, later ones when the
// interval has passed, the last one always. Owned by the label.
class ThrottledAnnouncer : public QObject {
    Q_OBJECT
public:
    ThrottledAnnouncer(QLabel& label, std::chrono::milliseconds interval);

    void textChanged();

private:
    void announce();

    QLabel& m_label;
    QTimer m_quiet; // running while no announcement may be made
    bool m_pending = false;
};

} // namespace frolix
