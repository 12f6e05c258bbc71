#include "FrameTableModel.h"

#include "Player.h"

namespace frolix {

QString disposalText(Disposal disposal)
{
    switch (disposal) {
    case Disposal::None:
        return FrameTableModel::tr("Unspecified");
    case Disposal::Keep:
        return FrameTableModel::tr("Keep");
    case Disposal::RestoreBackground:
        return FrameTableModel::tr("Restore background");
    case Disposal::RestorePrevious:
        return FrameTableModel::tr("Restore previous");
    }
    return {};
}

FrameTableModel::FrameTableModel(std::shared_ptr<const Animation> animation, QObject* parent)
    : QAbstractTableModel(parent)
    , m_animation(std::move(animation))
{
}

int FrameTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_animation ? 0 : m_animation->frameCount();
}

int FrameTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

const FrameInfo& FrameTableModel::info(int row) const
{
    if (row != m_cachedRow) {
        m_cached = m_animation->frameInfo(row + 1);
        m_cachedRow = row;
        ++m_rowsRead;
    }
    return m_cached;
}

QVariant FrameTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumns)
        return {};
    const int column = index.column();
    const bool number = column == Number || column == StoredDelay || column == PlayedDelay;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return {};
    if (column == Number)
        return QString::number(index.row() + 1);
    const FrameInfo& frame = info(index.row());
    switch (Column(column)) {
    case Number:
        break;
    case StoredDelay:
        return QString::number(frame.storedDelayCs);
    case PlayedDelay:
        return QString::number(playedDelay(frame.storedDelayCs).count());
    case DisposalColumn:
        return disposalText(frame.disposal);
    case Rectangle:
        return tr("%1 x %2 at %3, %4")
            .arg(frame.area.width)
            .arg(frame.area.height)
            .arg(frame.area.left)
            .arg(frame.area.top);
    case Transparent:
        return frame.transparentIndex ? QString::number(*frame.transparentIndex) : tr("none");
    case LocalTable:
        return frame.localColourTableSize ? tr("%1 colours").arg(frame.localColourTableSize) : tr("no");
    case Interlaced:
        return frame.interlaced ? tr("yes") : tr("no");
    }
    return {};
}

QVariant FrameTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return QAbstractTableModel::headerData(section, orientation, role);
    const bool tip = role == Qt::ToolTipRole;
    switch (Column(section)) {
    case Number:
        return tr("Frame");
    case StoredDelay:
        return tip ? tr("The delay the file stores, in hundredths of a second") : tr("Delay (1/100 s)");
    case PlayedDelay:
        return tip ? tr("How long the frame is shown when played, in milliseconds") : tr("Played (ms)");
    case DisposalColumn:
        return tip ? tr("What happens to the frame's image before the next is drawn") : tr("Disposal");
    case Rectangle:
        return tip ? tr("The image's size and its place on the canvas") : tr("Rectangle");
    case Transparent:
        return tr("Transparent index");
    case LocalTable:
        return tip ? tr("A colour table of the frame's own, and its size") : tr("Local colour table");
    case Interlaced:
        return tr("Interlaced");
    }
    return {};
}

} // namespace frolix
