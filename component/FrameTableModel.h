#pragma once
// The frames of an animation as a table, one row a frame: how each is stored and how
// long it plays. Rows are described when the view asks for them, so a file of tens of
// thousands of frames opens at once; only the rows shown are ever read.

#include "Animation.h"

#include <QAbstractTableModel>

#include <memory>

namespace frolix {

class FrameTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Number, StoredDelay, PlayedDelay, DisposalColumn, Rectangle, Transparent, LocalTable, Interlaced };
    static constexpr int kColumns = Interlaced + 1;

    explicit FrameTableModel(std::shared_ptr<const Animation> animation, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // How many times a row was read from the animation: what the view has asked for.
    std::size_t rowsRead() const { return m_rowsRead; }

private:
    const FrameInfo& info(int row) const;

    std::shared_ptr<const Animation> m_animation;
    // The row last read: a view asks for every column of a row in turn.
    mutable int m_cachedRow = -1;
    mutable FrameInfo m_cached;
    mutable std::size_t m_rowsRead = 0;
};

QString disposalText(Disposal disposal);

} // namespace frolix
