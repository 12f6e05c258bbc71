#include "FrameDetailsDialog.h"

#include "FrameTableModel.h"
#include "Player.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace frolix {

namespace {

// Each value label keeps its caption, to be read with it.
const char* const kCaption = "caption";

QString onePassText(std::chrono::milliseconds total)
{
    const QLocale locale;
    return FrameDetailsDialog::tr("%1 s (%2 ms)")
        .arg(locale.toString(double(total.count()) / 1000.0, 'f', 2), locale.toString(qlonglong(total.count())));
}

QString loopsText(const std::optional<std::uint16_t>& stored)
{
    if (!stored)
        return FrameDetailsDialog::tr("none");
    if (*stored == 0)
        return FrameDetailsDialog::tr("0 (forever)");
    return FrameDetailsDialog::tr("%1 (plays %2 times)").arg(*stored).arg(int(*stored) + 1);
}

} // namespace

FrameDetailsDialog::FrameDetailsDialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Frame details"));
    setAccessibleName(tr("Frame details"));
    setSizeGripEnabled(true);

    auto* fields = new QFormLayout;
    m_file = addField(fields, tr("File:"), QStringLiteral("file"));
    m_size = addField(fields, tr("Size:"), QStringLiteral("size"));
    m_canvas = addField(fields, tr("Canvas:"), QStringLiteral("canvas"));
    m_frames = addField(fields, tr("Frames:"), QStringLiteral("frames"));
    m_onePass = addField(fields, tr("One pass:"), QStringLiteral("onePass"));
    m_loops = addField(fields, tr("Loops:"), QStringLiteral("loops"));

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("frameTable"));
    m_table->setAccessibleName(tr("Frames"));
    m_table->setAccessibleDescription(tr("One row per frame: how it is stored and how long it plays"));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setTabKeyNavigation(false); // Tab leaves the table for the button
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    // Rows of one height, never measured: a long table costs nothing until scrolled to.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(m_table, 1);
    layout->addWidget(buttons);
    setTabOrder(m_table, buttons);
    resize(920, 520);
}

QLabel* FrameDetailsDialog::addField(QFormLayout* fields, const QString& label, const QString& name)
{
    auto* value = new QLabel(this);
    value->setObjectName(name);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setProperty(kCaption, label);
    auto* caption = new QLabel(label, this);
    caption->setBuddy(value);
    fields->addRow(caption, value);
    return value;
}

// Each column as wide as its widest possible text, known without reading a row: a view
// measuring its rows would read them all while hidden.
void FrameDetailsDialog::sizeColumns()
{
    const QStringList widest { QStringLiteral("32767"), QStringLiteral("65535"), QStringLiteral("655350"),
        disposalText(Disposal::RestoreBackground), tr("%1 x %2 at %3, %4").arg(65535).arg(65535).arg(65535).arg(65535),
        QStringLiteral("255"), tr("%1 colours").arg(256), tr("yes") };
    const QFontMetrics metrics(m_table->font());
    const int margin = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_table) + 8;
    QHeaderView* header = m_table->horizontalHeader();
    for (int column = 0; column < FrameTableModel::kColumns; ++column)
        header->resizeSection(
            column, std::max(header->sectionSizeHint(column), metrics.horizontalAdvance(widest[column]) + margin));
}

void FrameDetailsDialog::present(std::shared_ptr<const Animation> animation, const QString& path)
{
    const QLocale locale;
    const int slash = int(path.lastIndexOf(QLatin1Char('/')));
    m_file->setText(path.isEmpty() ? tr("(held in memory)") : path.mid(slash + 1));
    m_file->setToolTip(path);
    m_size->setText(tr("%1 bytes").arg(locale.toString(qulonglong(animation->byteSize()))));
    m_canvas->setText(tr("%1 x %2 pixels").arg(animation->width()).arg(animation->height()));
    m_frames->setText(locale.toString(animation->frameCount()));
    const Timeline timeline = animation->timeline();
    std::chrono::milliseconds total {};
    for (std::uint16_t delay : timeline.storedDelaysCs)
        total += playedDelay(delay);
    m_onePass->setText(onePassText(total));
    m_loops->setText(loopsText(timeline.storedLoopCount));
    // A screen reader reads each value with its caption ("Frames: 380"), as it is seen.
    for (QLabel* value : { m_file, m_size, m_canvas, m_frames, m_onePass, m_loops })
        value->setAccessibleName(value->property(kCaption).toString() + QLatin1Char(' ') + value->text());

    auto* old = m_model;
    m_model = new FrameTableModel(std::move(animation), this);
    m_table->setModel(m_model);
    delete old;
    sizeColumns();
    m_table->setFocus();

    show();
    raise();
    activateWindow();
}

} // namespace frolix
