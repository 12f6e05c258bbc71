#include "FileSystemLists.h"

#include "FileSystemCall.h"
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
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

struct DirEntry {
    QString name; // NativePath form
    bool isDirectory = false;
    bool isFile = false;
};

struct Listing {
    std::vector<DirEntry> entries;
    int error = 0; // errno when the folder could not be read
};

QString errorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Reads a folder's entries as bytes, following symbolic links to see what they name.
Listing listDirectory(const QString& path)
{
    Listing listing;
    std::string bytes = pathBytesFromText(path.isEmpty() ? QStringLiteral("/") : path);
    int fd = ::open(bytes.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        listing.error = errno;
        return listing;
    }
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(fd), &::closedir);
    if (!dir) {
        listing.error = errno;
        ::close(fd);
        return listing;
    }
    errno = 0;
    while (dirent* entry = ::readdir(dir.get())) {
        std::string_view name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        DirEntry item;
        item.name = pathTextFromBytes(name);
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN || type == DT_LNK) {
            struct stat info;
            if (::fstatat(::dirfd(dir.get()), entry->d_name, &info, 0) == 0) // dangling links fail here
                type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISREG(info.st_mode) ? DT_REG : DT_UNKNOWN;
            else
                type = DT_UNKNOWN;
        }
        item.isDirectory = type == DT_DIR;
        item.isFile = type == DT_REG;
        listing.entries.push_back(std::move(item));
        errno = 0;
    }
    if (errno != 0)
        listing.error = errno;
    return listing;
}

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

bool isDirectory(const QString& path)
{
    struct stat info;
    return ::stat(pathBytesFromText(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
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

// --- DriveListBox ---

DriveListBox::DriveListBox(QWidget* parent)
    : QComboBox(parent)
{
    reloadMounts();
    selectDriveHolding(QDir::currentPath());
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
    std::vector<MountPoint> candidates = browsableMounts(contents);
    std::vector<std::shared_ptr<fs_call::Pending<bool>>> probes;
    for (const MountPoint& mount : candidates)
        probes.push_back(fs_call::start<bool>([path = mount.path] { return isDirectory(path); }));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
    m_mounts.clear();
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        std::optional<bool> isFolder = fs_call::take(*probes[i], std::max(left, std::chrono::milliseconds(0)));
        if (!isFolder) {
            qCWarning(frolix::logLists).noquote()
                << "the file system at" << displayName(candidates[i].path) << "does not answer";
            candidates[i].answering = false;
        }
        if (!isFolder || *isFolder)
            m_mounts.push_back(candidates[i]);
    }
    if (m_mounts.empty())
        m_mounts.push_back(MountPoint { "/", "", "" });
    QSignalBlocker blocker(this);
    clear();
    const QIcon icon = list_icons::drive();
    for (const MountPoint& mount : m_mounts)
        addItem(icon, displayName(mount.path) + (mount.answering ? QString() : QStringLiteral(" (not answering)")),
            mount.path);
    m_lastIndex = -1;
}

void DriveListBox::showPopup()
{
    QString selected = Drive();
    reloadMounts();
    int row = findData(selected);
    {
        QSignalBlocker blocker(this);
        setCurrentIndex(row >= 0 ? row : 0);
        m_lastIndex = currentIndex();
    }
    // The drive shown is gone: the folder list must follow to the one now selected.
    if (row < 0)
        emit Change();
    QComboBox::showPopup();
}

QString DriveListBox::Drive() const { return currentData().toString(); }

void DriveListBox::selectDriveHolding(const QString& path)
{
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
{
    // Rows as high as their text: the pictures are drawn for 16 pixels and the style's
    // default room for larger ones showed barely four rows.
    setIconSize(QSize(16, 16));
    setUniformItemSizes(true);
    setPath(QDir::currentPath());
    connect(this, &QListWidget::itemActivated, this, &DirListBox::open);
}

bool DirListBox::viewportEvent(QEvent* event)
{
    return showWholeName(*this, event) || QListWidget::viewportEvent(event);
}

bool DirListBox::setPath(const QString& requested)
{
    QString path = normalised(requested);
    if (m_waiting)
        return false;
    m_waiting = true;
    std::optional<Listing> answer = fs_call::answerOrGiveUp<Listing>([path] { return listDirectory(path); });
    m_waiting = false;
    if (!answer) {
        emit failed(QStringLiteral("The folder %1 does not answer.").arg(displayName(path)));
        return false;
    }
    Listing& listing = *answer;
    if (listing.error != 0) {
        emit failed(QStringLiteral("Cannot open the folder %1: %2.").arg(displayName(path), errorText(listing.error)));
        return false;
    }
    std::vector<DirEntry> folders;
    for (DirEntry& entry : listing.entries)
        if (entry.isDirectory && !entry.name.startsWith('.'))
            folders.push_back(std::move(entry));
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

    bool changed = path != m_path;
    m_path = path;
    if (changed)
        emit Change();
    return true;
}

void DirListBox::open(QListWidgetItem* item)
{
    if (item)
        setPath(item->data(Qt::UserRole).toString());
}

// --- FileListBox ---

FileListBox::FileListBox(QWidget* parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    m_typeAhead.setSingleShot(true);
    m_typeAhead.setInterval(QApplication::keyboardInputInterval());
    connect(&m_typeAhead, &QTimer::timeout, this, &FileListBox::userSelected);
    m_refreshSoon.setSingleShot(true);
    m_refreshSoon.setInterval(100);
    connect(&m_refreshSoon, &QTimer::timeout, this, [this] { showDirectory(m_path, Report::Quietly); });
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_refreshSoon, qOverload<>(&QTimer::start));
    showDirectory(QDir::currentPath(), Report::Failures);
}

void FileListBox::userSelected()
{
    m_typeAhead.stop();
    QString path = joinPath(m_path, FileName());
    const std::optional<int> answer = fs_call::answerOrGiveUp<int>([bytes = pathBytesFromText(path)] {
        struct stat info;
        if (::stat(bytes.c_str(), &info) != 0)
            return errno;
        return S_ISREG(info.st_mode) ? 0 : S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    });
    const int error = answer.value_or(ETIMEDOUT);
    if (error != 0) {
        // Nothing stays selected that was not loaded, and the list shows the folder as
        // it is now (quietly: this action has had its one message).
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

bool FileListBox::refresh() { return showDirectory(m_path, Report::Failures); }

bool FileListBox::showDirectory(const QString& requested, Report report)
{
    QString path = normalised(requested);
    if (m_waiting)
        return false;
    m_waiting = true;
    std::optional<Listing> answer = fs_call::answerOrGiveUp<Listing>([path] { return listDirectory(path); });
    m_waiting = false;
    Listing listing = answer ? std::move(*answer) : Listing { {}, ETIMEDOUT };
    if (listing.error != 0) {
        QString message = answer
            ? QStringLiteral("Cannot list the files of %1: %2.").arg(displayName(path), errorText(listing.error))
            : QStringLiteral("The folder %1 does not answer.").arg(displayName(path));
        if (report == Report::Failures)
            emit failed(message);
        else
            qCInfo(frolix::logLists).noquote() << message;
        return false;
    }
    // The pattern matches regardless of case, as "*.gif" always has for this list.
    std::vector<DirEntry> files;
    for (DirEntry& entry : listing.entries)
        if (entry.isFile && wildcardMatch(displayName(entry.name), m_pattern))
            files.push_back(std::move(entry));
    sortByName(files);

    const bool samePath = path == m_path;
    const QString keep = samePath ? FileName() : QString();
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
    if (!samePath) {
        if (!m_path.isEmpty())
            m_watcher.removePath(m_path);
        m_watcher.addPath(path);
    }
    m_path = path;
    return true;
}
