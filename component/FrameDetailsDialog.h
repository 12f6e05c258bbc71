#pragma once
// How an animation's file is built: its name, size, canvas, frame count, one pass's
// length and stored loop count, then a table of every frame. It reads only the loaded
// animation, never the file system, and is modeless: it opens with show().

#include "Animation.h"

#include <QDialog>

#include <memory>

class QFormLayout;
class QLabel;
class QTableView;

namespace frolix {

class FrameTableModel;

class FrameDetailsDialog final : public QDialog {
    Q_OBJECT
public:
    explicit FrameDetailsDialog(QWidget* parent = nullptr);

    // Shows `animation`, loaded from `path` (empty for one held in memory), and brings
    // the dialog to the front.
    void present(std::shared_ptr<const Animation> animation, const QString& path);

    FrameTableModel* model() const { return m_model; }
    QTableView* table() const { return m_table; }

private:
    void sizeColumns();
    QLabel* addField(QFormLayout* fields, const QString& label, const QString& name);

    QLabel* m_file = nullptr;
    QLabel* m_size = nullptr;
    QLabel* m_canvas = nullptr;
    QLabel* m_frames = nullptr;
    QLabel* m_onePass = nullptr;
    QLabel* m_loops = nullptr;
    QTableView* m_table = nullptr;
    FrameTableModel* m_model = nullptr;
};

} // namespace frolix
