#include "Form1.h"

#include "Accessibility.h"
#include "CommandLine.h"
#include "ComponentState.h"
#include "ControlLooks.h"
#include "FileSystemLists.h"
#include "Frolix.h"
#include "NativePath.h"
#include "WildcardMatch.h"
#include "WindowLogging.h"
#include "ui_Form1.h"

#include <QApplication>
#include <QButtonGroup>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QImage>
#include <QMessageBox>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

// Resources compiled into a static library must be registered by name.
static void registerResources() { Q_INIT_RESOURCE(resources); }

namespace frolix {

namespace {

QString decimalText(std::int16_t value) { return QString::number(value); }

// What the window does with a value it cannot narrow: leave the label as it was and
// say why in the window's log, instead of ending the program.
std::optional<std::int16_t> readInt16(std::int32_t value, const char* member)
{
    auto narrowed = toInt16(value);
    if (!narrowed)
        qCWarning(
            frolix::logWindow, "%s returned %ld, outside the 16-bit range; label left unchanged", member, long(value));
    return narrowed;
}

frolix::AutomationBool checkValueToBool(Qt::CheckState state)
{
    // Unchecked is False; checked and grayed are both True.
    return state == Qt::Unchecked ? frolix::kAutomationFalse : frolix::kAutomationTrue;
}

// Shows `box` modal to the application without an event loop of its own: the window's
// loop goes on serving the playing animation and the file system's answers.
void showModal(QMessageBox* box, std::function<void()> dismissed)
{
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    QObject::connect(box, &QDialog::finished, box, [dismissed = std::move(dismissed)] { dismissed(); });
    box->show();
}

} // namespace

std::optional<std::int16_t> toInt16(std::int32_t value)
{
    if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return std::int16_t(value);
}

Form1::Form1(QWidget* parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::Form1>())
{
    registerResources();
    installWindowAccessibility();
    m_ui->setupUi(this);
    setFixedSize(size()); // the window was designed at one size
    // A path opened on a share that does not answer: the file list, where it would show,
    // waits with a busy cursor, then one message; the rest of the paths are dropped.
    m_pathAsked.emplace(m_ui->File1, [this] {
        const QString path = m_opening.waiting.value(0);
        m_opening = Opening();
        reportListFailure(QStringLiteral("%1 does not answer.").arg(displayName(path)));
    });
    // Converted once: the sky is repainted under every frame of a transparent animation,
    // and converting from its palette each time cost more than a core's percent on a
    // large one. What lies past the window is never seen and not kept.
    QImage sky(QStringLiteral(":/assets/sky.bmp"));
    m_sky = QPixmap::fromImage(sky.copy(sky.rect() & rect()));
    // Each option button's id is the index of its option; one button per option.
    const std::array stretchButtons { m_ui->optStretch_0, m_ui->optStretch_1, m_ui->optStretch_2 };
    const std::array sequenceButtons { m_ui->optSequence_0, m_ui->optSequence_1, m_ui->optSequence_2 };
    static_assert(std::tuple_size_v<decltype(stretchButtons)> == frolix::kStretchModes.size());
    static_assert(std::tuple_size_v<decltype(sequenceButtons)> == frolix::kSequences.size());
    for (std::size_t i = 0; i < stretchButtons.size(); ++i)
        m_ui->optStretch->setId(stretchButtons[i], frolix::optionIndex(frolix::kStretchModes[i]));
    for (std::size_t i = 0; i < sequenceButtons.size(); ++i)
        m_ui->optSequence->setId(sequenceButtons[i], frolix::optionIndex(frolix::kSequences[i]));

    initialiseFromStoredState(*m_ui->Frolix1);
    m_frolix = m_ui->Frolix1;
    // An animation grown by AutoSize passes under the controls, never over them, and
    // their text stays readable on it.
    m_frolix->lower();
    new PlateUnderText(
        m_frolix, { m_ui->lblFrame, m_ui->Label1, m_ui->Check1, m_ui->Check2, m_ui->Frame1, m_ui->Frame2 }, this);
    auto* frameStyle = new FrameLineThroughTitle;
    frameStyle->setParent(this); // deleted after the frames, which were built before it
    m_ui->Frame1->setStyle(frameStyle);
    m_ui->Frame2->setStyle(frameStyle);
    connectProcedures();
    // After Frolix1_Step, so the label already shows the frame it announces.
    connect(m_frolix, &frolix::FrolixControl::Step, new ThrottledAnnouncer(*m_ui->Label1, std::chrono::seconds(1)),
        &ThrottledAnnouncer::textChanged);
    Form_Load();
    setAcceptDrops(true);
    // Keyboard use starts at the first control in Tab order, not at the last one built.
    m_ui->Drive1->setFocus(Qt::OtherFocusReason);
}

Form1::~Form1() = default;

void Form1::connectProcedures()
{
    connect(m_frolix, &frolix::FrolixControl::Step, this, &Form1::Frolix1_Step);
    connect(m_frolix, &frolix::FrolixControl::Loaded, this, &Form1::Frolix1_Loaded);
    connect(m_ui->Drive1, &DriveListBox::Change, this, &Form1::Drive1_Change);
    connect(m_ui->Dir1, &DirListBox::Change, this, &Form1::Dir1_Change);
    connect(m_ui->File1, &FileListBox::Click, this, &Form1::File1_Click);
    connect(m_ui->cmdPlay, &QPushButton::clicked, this, &Form1::cmdPlay_Click);
    connect(m_ui->cmdStop, &QPushButton::clicked, this, &Form1::cmdStop_Click);
    connect(m_ui->Check1, &QCheckBox::clicked, this, &Form1::Check1_Click);
    connect(m_ui->Check2, &QCheckBox::clicked, this, &Form1::Check2_Click);
    connect(m_ui->optStretch, &QButtonGroup::idClicked, this, [this](int id) { optStretch_Click(std::int16_t(id)); });
    connect(m_ui->optSequence, &QButtonGroup::idClicked, this, [this](int id) { optSequence_Click(std::int16_t(id)); });
    // Failures of the lists themselves; the procedures above have none of their own.
    connect(m_ui->Dir1, &DirListBox::failed, this, &Form1::reportListFailure);
    connect(m_ui->File1, &FileListBox::failed, this, &Form1::reportListFailure);
    // Opening a path from outside the lists.
    connect(&FileSystemWorker::shared(), &FileSystemWorker::checked, this, &Form1::pathChecked);
    connect(m_ui->File1, &FileListBox::shown, this, &Form1::fileListShown);
}

void Form1::paintEvent(QPaintEvent* event)
{
    // The sky at its own size from the top-left; what does not fit is not seen.
    QPainter painter(this);
    const QRect area = event->rect() & m_sky.rect();
    painter.drawPixmap(area.topLeft(), m_sky, area);
}

void Form1::applyFrameCountRule()
{
    if (auto count = readInt16(m_frolix->FrameCount(), "FrameCount"))
        m_ui->lblFrame->setText(decimalText(*count) + QStringLiteral(" Frames"));
}

void Form1::Form_Load() { applyFrameCountRule(); }

void Form1::Frolix1_Step()
{
    if (auto frame = readInt16(m_frolix->CurrentFrame(), "CurrentFrame"))
        m_ui->Label1->setText(QStringLiteral("Frame ") + decimalText(*frame));
}

void Form1::Drive1_Change() { m_ui->Dir1->setPath(m_ui->Drive1->Drive()); }

void Form1::Dir1_Change() { m_ui->File1->setFileName(m_ui->Dir1->Path()); }

void Form1::File1_Click() { load(joinPath(m_ui->File1->Path(), m_ui->File1->FileName())); }

void Form1::load(const QString& fullPath)
{
    // The file loads off the window's thread; Frolix1_Loaded reports on it.
    m_loading = fullPath;
    m_frolix->LoadFile(m_loading);
}

void Form1::openPath(const QString& path) { openFirst({ path }); }

void Form1::openFirst(const QStringList& paths)
{
    // GIF names are asked first: the first of them that is a file wins.
    QStringList ordered;
    for (const QString& path : paths)
        if (isGifName(path))
            ordered << path;
    for (const QString& path : paths)
        if (!isGifName(path))
            ordered << path;
    m_opening = Opening();
    m_opening.waiting = ordered;
    m_selectWhenShown.clear();
    m_pathAsked->forget();
    if (!ordered.isEmpty())
        m_pathAsked->ask(FileSystemWorker::shared().checkFile(ordered.front()));
}

bool Form1::isGifName(const QString& path) const
{
    return wildcardMatch(displayName(path.section('/', -1)), m_ui->File1->Pattern());
}

void Form1::pathChecked(quint64 question, int error)
{
    if (!m_pathAsked->answeredBy(question))
        return;
    const QString path = m_opening.waiting.takeFirst();
    if (error == 0 && isGifName(path)) {
        showFile(path);
        return;
    }
    QString& kept = error == 0 ? m_opening.otherFile : error == EISDIR ? m_opening.folder : m_opening.failed;
    if (kept.isEmpty()) {
        kept = path;
        if (error != 0 && error != EISDIR)
            m_opening.error = error;
    }
    if (!m_opening.waiting.isEmpty()) {
        m_pathAsked->ask(FileSystemWorker::shared().checkFile(m_opening.waiting.front()));
        return;
    }
    if (!m_opening.folder.isEmpty())
        showFolder(m_opening.folder);
    else if (!m_opening.otherFile.isEmpty())
        showFile(m_opening.otherFile); // loaded though its name is not a GIF's: Read Wrong if it is none
    else if (m_opening.error == EINVAL) // a device, a pipe, a socket: never opened, it could block
        reportListFailure(
            QStringLiteral("Cannot open %1: it is neither a file nor a folder.").arg(displayName(m_opening.failed)));
    else
        reportListFailure(
            QStringLiteral("Cannot open %1: %2.")
                .arg(displayName(m_opening.failed), QString::fromLocal8Bit(std::strerror(m_opening.error))));
}

void Form1::showFolder(const QString& folder)
{
    m_ui->Drive1->selectDriveHolding(folder);
    m_ui->Dir1->setPath(folder); // the file list follows on its Change
}

void Form1::showFile(const QString& fullPath)
{
    const qsizetype slash = fullPath.lastIndexOf('/');
    const QString folder = slash <= 0 ? QStringLiteral("/") : fullPath.left(slash);
    m_selectWhenShown = fullPath;
    showFolder(folder);
    // Asked here too: the folder list raises no Change when it already shows the folder.
    m_ui->File1->setFileName(folder);
}

void Form1::fileListShown()
{
    if (m_selectWhenShown.isEmpty()
        || joinPath(m_ui->File1->Path(), m_selectWhenShown.section('/', -1)) != m_selectWhenShown)
        return;
    const QString fullPath = std::exchange(m_selectWhenShown, QString());
    const QString name = fullPath.section('/', -1);
    m_ui->File1->setFileName(name);
    if (m_ui->File1->FileName() == name)
        File1_Click();
    else
        load(fullPath); // not listed: its name does not match the list's pattern
}

void Form1::dragEnterEvent(QDragEnterEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); }))
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) // the encoded form keeps names that are not UTF-8 as their bytes
            paths << pathFromArgument(url.toEncoded().toStdString(), QString());
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    openFirst(paths);
}

void Form1::Frolix1_Loaded(std::int32_t result)
{
    // A load the window did not ask for (the stored start-up file) has no message: the
    // component fell back on its stored animation. The count is new either way.
    const QString fullPath = std::exchange(m_loading, QString());
    auto loaded = toInt16(result);
    if (!fullPath.isEmpty() && (!loaded || ~*loaded != 0)) {
        qCWarning(frolix::logWindow).noquote() << "refused" << displayName(fullPath) + ":" << m_frolix->lastError();
        showReadWrong([this] { applyFrameCountRule(); });
        return;
    }
    applyFrameCountRule();
}

void Form1::showReadWrong(std::function<void()> dismissed)
{
    // No title of its own: the window manager shows the application's name. Qt sizes
    // the box to its two words, so narrow that the name was cut to a few letters; a strut
    // as wide as the name in a title bar's bold, with room for the frame's buttons,
    // keeps it whole.
    auto* box = new QMessageBox(QMessageBox::Critical, QString(), QStringLiteral("Read Wrong"), QMessageBox::Ok, this);
    QFont titleFont = box->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
    const QFontMetrics title(titleFont);
    const int width = title.horizontalAdvance(QApplication::applicationDisplayName()) + 6 * title.height();
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(new QSpacerItem(width, 0), grid->rowCount(), 0, 1, grid->columnCount());
    showModal(box, std::move(dismissed));
}

void Form1::cmdPlay_Click() { m_frolix->Play(); }

void Form1::cmdStop_Click() { m_frolix->Stop(); }

void Form1::Check1_Click() { m_frolix->setTransparent(checkValueToBool(m_ui->Check1->checkState())); }

void Form1::Check2_Click() { m_frolix->setAutoSize(checkValueToBool(m_ui->Check2->checkState())); }

void Form1::optStretch_Click(std::int16_t index) { m_frolix->setStretchMode(index); }

void Form1::optSequence_Click(std::int16_t index) { m_frolix->setSequence(index); }

void Form1::reportListFailure(const QString& message)
{
    m_selectWhenShown.clear(); // its folder did not come
    // The drive list goes back to the file system of the folder still shown.
    m_ui->Drive1->selectDriveHolding(m_ui->Dir1->Path());
    qCInfo(frolix::logLists, "%s", qPrintable(message));
    showModal(new QMessageBox(QMessageBox::Warning, QString(), message, QMessageBox::Ok, this), [] {});
}

} // namespace frolix
