#include "FileSystemLists.h"

#include "ListIcons.h"
#include "NameOrder.h"
#include "NativePath.h"
#include "WildcardMatch.h"
#include "WindowLogging.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <QToolTip>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace frolix {

namespace {

using frolix::DirEntry;
using frolix::Listing;

QString errorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

void sortByName(std::vector<DirEntry>& entries)
{
    std::vector<QString> names;
    names.reserve(entries.size());
    for (const DirEntry& entry : entries)
        names.push_back(entry.name);
    std::vector<DirEntry> sorted;
    sorted.reserve(entries.size());
    for (std::size_t at : nameOrder(names))
        sorted.push_back(std::move(entries[at]));
    entries = std::move(sorted);
}

// "/a/b/../c/" -> "/a/c": lexical, so a folder reached through a link keeps its path.
QString normalised(const QString& path)
{
    QString clean = QDir::cleanPath(path.isEmpty() ? QStringLiteral("/") : path);
    return clean.isEmpty() ? QStringLiteral("/") : clean;
}

QString decodeMountField(const QByteArray& field)
{
    // The table escapes space, tab, newline and backslash as \ooo.
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            int value = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out.append(char(value));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return pathTextFromBytes(std::string_view(out.constData(), std::size_t(out.size())));
}

// A name the row cuts short ("…") is shown whole in a tooltip; a name that fits has none.
bool showWholeName(QListWidget& list, QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return false;
    auto* help = static_cast<QHelpEvent*>(event);
    QListWidgetItem* item = list.itemAt(help->pos());
    // The row's rectangle is as wide as its text; the viewport is what is seen of it.
    const QRect row = item ? list.visualItemRect(item) & list.viewport()->rect() : QRect();
    const int iconRoom = item && !item->icon().isNull() ? list.iconSize().width() + 6 : 0;
    const int margins = 2 * (list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &list) + 1);
    if (item && list.fontMetrics().horizontalAdvance(item->text()) > row.width() - iconRoom - margins)
        QToolTip::showText(help->globalPos(), item->text().trimmed(), list.viewport());
    else
        QToolTip::hideText();
    return true;
}

} // namespace

std::vector<MountPoint> browsableMounts(const QByteArray& mountsTable)
{
    static const QStringList kNetworkTypes = { "nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "9p", "virtiofs" };
    static const QStringList kSystemTrees = { "/proc", "/sys", "/dev", "/run", "/boot", "/snap", "/var/lib", "/tmp" };
    std::vector<MountPoint> mounts;
    for (const QByteArray& line : mountsTable.split('\n')) {
        QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 3)
            continue;
        MountPoint mount { decodeMountField(fields[1]), decodeMountField(fields[0]), QString::fromLatin1(fields[2]) };
        bool realDevice = mount.device.startsWith("/dev/") && mount.type != "squashfs";
        bool wanted = mount.path == "/" || realDevice || kNetworkTypes.contains(mount.type);
        // Removable media appear under /run/media; the rest of those trees is the system's.
        if (!mount.path.startsWith("/run/media/") && !mount.path.startsWith("/media/")) {
            for (const QString& tree : kSystemTrees)
                if (mount.path == tree || mount.path.startsWith(tree + "/"))
                    wanted = false;
        }
        if (!wanted)
            continue;
        auto same
            = std::find_if(mounts.begin(), mounts.end(), [&](const MountPoint& m) { return m.path == mount.path; });
        if (same != mounts.end())
            *same = mount; // the later mount hides the earlier one
        else
            mounts.push_back(mount);
    }
    std::sort(mounts.begin(), mounts.end(), [](const MountPoint& a, const MountPoint& b) { return a.path < b.path; });
    return mounts;
}

std::optional<std::size_t> mountHolding(const std::vector<MountPoint>& mounts, const QString& path)
{
    std::optional<std::size_t> best;
    for (std::size_t i = 0; i < mounts.size(); ++i) {
        const QString& mount = mounts[i].path;
        bool holds = mount == "/" || path == mount || path.startsWith(mount + "/");
        if (holds && (!best || mount.size() > mounts[*best].path.size()))
            best = i;
    }
    return best;
}

QString joinPath(const QString& directory, const QString& name)
{
    if (directory.endsWith('/'))
        return directory + name;
    return directory + '/' + name;
}

// --- PendingQuestion ---

PendingQuestion::PendingQuestion(QAbstractItemView* busy, std::function<void()> givenUp)
    : m_busy(busy)
{
    m_giveUp.setSingleShot(true);
    m_giveUp.setInterval(std::chrono::seconds(3));
    QObject::connect(&m_giveUp, &QTimer::timeout, [this, givenUp = std::move(givenUp)] {
        forget();
        givenUp();
    });
}

void PendingQuestion::ask(quint64 question)
{
    m_question = question;
    m_giveUp.start();
    if (m_busy)
        m_busy->viewport()->setCursor(Qt::BusyCursor);
}

bool PendingQuestion::answeredBy(quint64 question)
{
    if (question == 0 || question != m_question)
        return false;
    forget();
    return true;
}

void PendingQuestion::forget()
{
    m_question = 0;
    m_giveUp.stop();
    if (m_busy)
        m_busy->viewport()->unsetCursor();
}

// --- DriveListBox ---

DriveListBox::DriveListBox(QWidget* parent)
    : QComboBox(parent)
{
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(50);
    connect(&m_deadline, &QTimer::timeout, this, &DriveListBox::settle);
    connect(&frolix::FileSystemWorker::shared(), &frolix::FileSystemWorker::probed, this, &DriveListBox::probed);
    m_holding = QDir::currentPath();
    reloadMounts();
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index != m_lastIndex) {
            m_lastIndex = index;
            emit Change();
        }
    });
}

void DriveListBox::reloadMounts()
{
    // The table comes from the kernel and never waits on a mount. QStorageInfo's list of
    // volumes asks each file system for its size instead, so one hung share would hang
    // the whole list; here each is asked apart, all at once, within one deadline.
    QFile table(QStringLiteral("/proc/self/mounts"));
    QByteArray contents;
    if (table.open(QIODevice::ReadOnly))
        contents = table.readAll();
    m_candidates = browsableMounts(contents);
    m_isFolder.assign(m_candidates.size(), std::nullopt);
    m_asked.clear();
    frolix::FileSystemWorker& worker = frolix::FileSystemWorker::shared();
    for (std::size_t i = 0; i < m_candidates.size(); ++i)
        m_asked.push_back({ worker.probe(m_candidates[i].path), i });
    m_deadline.start();
    if (m_asked.empty())
        settle();
}

void DriveListBox::probed(quint64 question, int error)
{
    auto asked = std::find_if(m_asked.begin(), m_asked.end(), [&](const auto& a) { return a.first == question; });
    if (asked == m_asked.end())
        return;
    // No folder there, or none of ours, is a no. Any other failure (EIO, ENOTCONN: a share
    // whose link is gone) is no answer: the share stays listed, as not answering.
    switch (error) {
    case 0:
        m_isFolder[asked->second] = true;
        break;
    case ENOTDIR:
    case ENOENT:
    case EACCES:
    case EPERM:
    case ELOOP:
        m_isFolder[asked->second] = false;
        break;
    default:
        break;
    }
    m_asked.erase(asked);
    if (m_asked.empty())
        settle();
}

void DriveListBox::settle()
{
    m_deadline.stop();
    m_asked.clear(); // answers after the deadline are dropped
    const QString selected = Drive();
    m_mounts.clear();
    for (std::size_t i = 0; i < m_candidates.size(); ++i) {
        MountPoint& candidate = m_candidates[i];
        if (!m_isFolder[i]) {
            qCWarning(frolix::logLists).noquote()
                << "the file system at" << displayName(candidate.path) << "does not answer";
            candidate.answering = false;
        }
        if (m_isFolder[i].value_or(true))
            m_mounts.push_back(candidate);
    }
    if (m_mounts.empty())
        m_mounts.push_back(MountPoint { "/", "", "" });
    {
        QSignalBlocker blocker(this);
        clear();
        const QIcon icon = list_icons::drive();
        for (const MountPoint& mount : m_mounts)
            addItem(icon, displayName(mount.path) + (mount.answering ? QString() : QStringLiteral(" (not answering)")),
                mount.path);
    }
    m_lastIndex = -1;
    if (!std::exchange(m_listed, true)) {
        selectDriveHolding(m_holding);
    } else {
        int row = findData(selected);
        {
            QSignalBlocker blocker(this);
            setCurrentIndex(row >= 0 ? row : 0);
            m_lastIndex = currentIndex();
        }
        // The drive shown is gone: the folder list must follow to the one now selected.
        if (row < 0)
            emit Change();
    }
    if (std::exchange(m_popupWanted, false))
        QComboBox::showPopup();
}

void DriveListBox::showPopup()
{
    // It opens once the mounts have been asked again (within the deadline).
    m_popupWanted = true;
    reloadMounts();
}

void DriveListBox::hidePopup()
{
    m_popupWanted = false; // closed before it opened
    QComboBox::hidePopup();
}

QString DriveListBox::Drive() const { return currentData().toString(); }

void DriveListBox::selectDriveHolding(const QString& path)
{
    if (!m_listed) {
        m_holding = path; // selected when the list is first filled
        return;
    }
    auto index = mountHolding(m_mounts, path);
    int row = index ? int(*index) : 0;
    if (row == currentIndex() && m_lastIndex == row)
        return;
    QSignalBlocker blocker(this);
    setCurrentIndex(row);
    m_lastIndex = row;
}

// --- DirListBox ---

DirListBox::DirListBox(QWidget* parent)
    : QListWidget(parent)
    , m_asked(this, [this] { report(QStringLiteral("The folder %1 does not answer.").arg(displayName(m_askedPath))); })
{
    // Rows as high as their text: the pictures are drawn for 16 pixels and the style's
    // default room for larger ones showed barely four rows.
    setIconSize(QSize(16, 16));
    setUniformItemSizes(true);
    connect(&frolix::FileSystemWorker::shared(), &frolix::FileSystemWorker::listed, this, &DirListBox::listed);
    // Nobody listens yet, and the window must not open on a message: a start-up folder
    // that cannot be read goes to the log.
    ask(QDir::currentPath(), Report::Quietly);
    connect(this, &QListWidget::itemActivated, this, &DirListBox::open);
}

bool DirListBox::viewportEvent(QEvent* event)
{
    return showWholeName(*this, event) || QListWidget::viewportEvent(event);
}

void DirListBox::setPath(const QString& path) { ask(path, Report::Failures); }

void DirListBox::ask(const QString& path, Report report)
{
    m_askedPath = normalised(path);
    m_askedReport = report;
    m_asked.ask(frolix::FileSystemWorker::shared().list(m_askedPath));
}

void DirListBox::report(const QString& message)
{
    if (m_askedReport == Report::Failures)
        emit failed(message);
    else
        qCInfo(frolix::logLists).noquote() << message;
}

void DirListBox::listed(quint64 question, const frolix::Listing& listing)
{
    if (!m_asked.answeredBy(question))
        return;
    const QString path = m_askedPath;
    if (listing.error != 0) {
        report(QStringLiteral("Cannot open the folder %1: %2.").arg(displayName(path), errorText(listing.error)));
        return;
    }
    std::vector<DirEntry> folders;
    for (const DirEntry& entry : listing.entries)
        if (entry.isDirectory && !entry.name.startsWith('.'))
            folders.push_back(entry);
    sortByName(folders);

    setUpdatesEnabled(false);
    clear();
    const QIcon openIcon = list_icons::openFolder();
    const QIcon closedIcon = list_icons::closedFolder();
    QStringList parts = path.split('/', Qt::SkipEmptyParts);
    QString walked = QStringLiteral("/");
    auto addRow = [this](const QIcon& icon, const QString& label, int depth, const QString& target) {
        auto* item = new QListWidgetItem(icon, QString(depth * 2, ' ') + displayName(label), this);
        item->setData(Qt::UserRole, target);
    };
    addRow(openIcon, QStringLiteral("/"), 0, walked);
    int depth = 1;
    for (const QString& part : parts) {
        walked = joinPath(walked, part);
        addRow(openIcon, part, depth++, walked);
    }
    setCurrentRow(count() - 1);
    for (const DirEntry& folder : folders)
        addRow(closedIcon, folder.name, depth, joinPath(path, folder.name));
    // The folder opened goes to the top, under its parent, so its subfolders show.
    scrollToItem(item(std::max(0, currentRow() - 1)), QAbstractItemView::PositionAtTop);
    setUpdatesEnabled(true);

    // The start-up folder is no change: the file list asked for it itself.
    const bool changed = path != m_path && m_askedReport == Report::Failures;
    m_path = path;
    if (changed)
        emit Change();
}

void DirListBox::open(QListWidgetItem* item)
{
    if (item)
        setPath(item->data(Qt::UserRole).toString());
}

// --- FileListBox ---

FileListBox::FileListBox(QWidget* parent)
    : QListWidget(parent)
    , m_asked(this,
          [this] {
              report(QStringLiteral("The folder %1 does not answer.").arg(displayName(m_askedPath)), m_askedReport);
          })
    , m_checking(nullptr, [this] { checked(0, ETIMEDOUT); })
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    m_typeAhead.setSingleShot(true);
    m_typeAhead.setInterval(QApplication::keyboardInputInterval());
    connect(&m_typeAhead, &QTimer::timeout, this, &FileListBox::userSelected);
    m_refreshSoon.setSingleShot(true);
    m_refreshSoon.setInterval(100);
    connect(&m_refreshSoon, &QTimer::timeout, this, [this] {
        // A folder being asked brings its files fresh anyway.
        if (!m_asked.waiting())
            showDirectory(m_path, Report::Quietly);
    });
    connect(&m_watch, &frolix::FolderWatch::changed, &m_refreshSoon, qOverload<>(&QTimer::start));
    frolix::FileSystemWorker& worker = frolix::FileSystemWorker::shared();
    connect(&worker, &frolix::FileSystemWorker::listed, this, &FileListBox::listed);
    connect(&worker, &frolix::FileSystemWorker::checked, this, &FileListBox::checked);
    // Nobody listens yet, and the window must not open on a message.
    showDirectory(QDir::currentPath(), Report::Quietly);
}

void FileListBox::userSelected()
{
    m_typeAhead.stop();
    m_checkingName = FileName();
    m_checking.ask(frolix::FileSystemWorker::shared().checkFile(joinPath(m_path, m_checkingName)));
}

void FileListBox::checked(quint64 question, int error)
{
    // 0: given up, as the file system did not answer.
    if (question != 0 && !m_checking.answeredBy(question))
        return;
    // Selected from code meanwhile, or another folder shown: this answer is for nothing shown.
    if (FileName() != m_checkingName)
        return;
    if (error != 0) {
        // Nothing stays selected that was not loaded, and the list shows the folder as
        // it is now (quietly: this action has had its one message).
        const QString path = joinPath(m_path, m_checkingName);
        clearSelection();
        m_refreshSoon.start(0);
        emit failed(QStringLiteral("Cannot open %1: %2.").arg(displayName(path), errorText(error)));
        return;
    }
    emit Click();
}

void FileListBox::keyPressEvent(QKeyEvent* event)
{
    const QString before = FileName();
    m_searched = false;
    // Focus puts the cursor on the first row without selecting it: the first arrow
    // selects that row instead of stepping past it.
    const bool arrow = event->key() == Qt::Key_Down || event->key() == Qt::Key_Up;
    if (arrow && before.isEmpty() && currentItem() && event->modifiers() == Qt::NoModifier) {
        setCurrentItem(currentItem());
        if (!FileName().isEmpty())
            userSelected();
        return;
    }
    QListWidget::keyPressEvent(event);
    const QString after = FileName();
    if (after.isEmpty() || after == before)
        return;
    // Letters typed quickly refine one search: load where it ends, not every file passed.
    // Space selects the row under the cursor unless it continues a search.
    const bool searching = m_searched && (event->key() != Qt::Key_Space || m_typeAhead.isActive());
    if (searching)
        m_typeAhead.start();
    else
        userSelected();
}

void FileListBox::keyboardSearch(const QString& search)
{
    m_searched = true;
    QListWidget::keyboardSearch(search);
}

void FileListBox::mousePressEvent(QMouseEvent* event)
{
    m_selectedAtPress = FileName();
    QListWidget::mousePressEvent(event);
}

void FileListBox::mouseReleaseEvent(QMouseEvent* event)
{
    QListWidget::mouseReleaseEvent(event);
    if (std::exchange(m_releaseAfterDoubleClick, false))
        return; // the double click's first click loaded it
    QListWidgetItem* under = itemAt(event->position().toPoint());
    const QString selected = FileName();
    // A click on the file already selected loads it again, as a click does.
    if (!selected.isEmpty() && (selected != m_selectedAtPress || (under && under->isSelected())))
        userSelected();
}

void FileListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    QListWidget::mouseDoubleClickEvent(event);
    m_releaseAfterDoubleClick = true;
}

QString FileListBox::FileName() const
{
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->data(Qt::UserRole).toString();
}

void FileListBox::setFileName(const QString& value)
{
    if (value.startsWith('/') || value.isEmpty()) {
        showDirectory(value.isEmpty() ? QStringLiteral("/") : value, Report::Failures);
        return;
    }
    for (int row = 0; row < count(); ++row) {
        if (item(row)->data(Qt::UserRole).toString() == value) {
            setCurrentRow(row);
            return;
        }
    }
}

bool FileListBox::viewportEvent(QEvent* event)
{
    return showWholeName(*this, event) || QListWidget::viewportEvent(event);
}

void FileListBox::refresh() { showDirectory(m_path, Report::Failures); }

void FileListBox::showDirectory(const QString& path, Report report)
{
    m_askedPath = normalised(path);
    m_askedReport = report;
    m_asked.ask(frolix::FileSystemWorker::shared().list(m_askedPath, m_watch.descriptor()));
}

void FileListBox::report(const QString& message, Report how)
{
    if (how == Report::Failures)
        emit failed(message);
    else
        qCInfo(frolix::logLists).noquote() << message;
}

void FileListBox::listed(quint64 question, const frolix::Listing& listing)
{
    if (!m_asked.answeredBy(question)) {
        if (listing.watchedOn == m_watch.descriptor())
            m_watch.drop(listing.watch, m_asked.waiting());
        return;
    }
    const QString path = m_askedPath;
    if (listing.error != 0) {
        report(QStringLiteral("Cannot list the files of %1: %2.").arg(displayName(path), errorText(listing.error)),
            m_askedReport);
        return;
    }
    // The pattern matches regardless of case, as "*.gif" always has for this list.
    std::vector<DirEntry> files;
    for (const DirEntry& entry : listing.entries)
        if (entry.isFile && wildcardMatch(displayName(entry.name), m_pattern))
            files.push_back(entry);
    sortByName(files);

    const bool samePath = path == m_path;
    const QString keep = samePath ? FileName() : QString();
    if (!samePath)
        m_checking.forget(); // a file of the folder no longer shown loads nothing
    const int scrolled = verticalScrollBar()->value();
    setUpdatesEnabled(false);
    clear();
    QListWidgetItem* kept = nullptr;
    for (const DirEntry& file : files) {
        auto* item = new QListWidgetItem(displayName(file.name), this);
        item->setData(Qt::UserRole, file.name);
        if (!keep.isEmpty() && file.name == keep)
            kept = item;
    }
    if (kept)
        setCurrentItem(kept);
    if (samePath)
        verticalScrollBar()->setValue(scrolled);
    setUpdatesEnabled(true);
    m_watch.follow(listing.watch);
    m_path = path;
    emit shown();
}

} // namespace frolix
