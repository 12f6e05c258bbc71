#pragma once
// The viewer's one window. Its controls come from Form1.ui; its event procedures
// pass the user's choices to the animation component and report on it in two labels.
// The procedures keep no state of their own, every value is read afresh, except the
// path of the file the window asked the component to load until the load ends.

#include "FileSystemLists.h"
#include "FrolixControl.h"

#include <QPixmap>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class Form1;
}

namespace frolix {

// Values read from the component are narrowed to 16-bit integers before use. A value
// outside that range is refused (nullopt) rather than wrapped or clamped.
std::optional<std::int16_t> toInt16(std::int32_t value);

class Form1 : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY(Form1)
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // Event procedures, named after their control and event.
    void Form_Load();
    void Frolix1_Step();
    void Frolix1_Loaded(std::int32_t result);
    void Drive1_Change();
    void Dir1_Change();
    void File1_Click();
    void cmdPlay_Click();
    void cmdStop_Click();
    void Check1_Click();
    void Check2_Click();
    void optStretch_Click(std::int16_t index);
    void optSequence_Click(std::int16_t index);

    // Opens `path` (NativePath form) as a pick from the lists would: a folder is shown in
    // the lists; a file is shown in its folder, selected there and loaded. A path that
    // cannot be opened gets the message the lists give, and the lists stay where they are.
    void openPath(const QString& path);
    // Of several paths (a drop), opens the first GIF file, else the first folder, else
    // the first file; with none of them, the message for the first path.
    void openFirst(const QStringList& paths);

protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void applyFrameCountRule();
    void connectProcedures();
    void reportListFailure(const QString& message);
    // Shows "Read Wrong" and returns at once; `dismissed` runs when the user closes it.
    // Modal to the application, so nothing else can be picked meanwhile, but with no
    // event loop of its own.
    void showReadWrong(std::function<void()> dismissed);
    void load(const QString& fullPath);
    bool isGifName(const QString& path) const;
    // The file system's answer about the path being opened.
    void pathChecked(quint64 question, int error);
    void showFolder(const QString& folder);
    void showFile(const QString& fullPath);
    void fileListShown();

    // The paths of an openFirst still to be asked, and what the asked ones turned out to be.
    struct Opening {
        QStringList waiting;
        QString folder;
        QString otherFile;
        QString failed;
        int error = 0;
    };
    Opening m_opening;
    // The question about m_opening.waiting's first; given up as a folder is, with a message.
    std::optional<PendingQuestion> m_pathAsked;
    QString m_selectWhenShown; // the file to select and load once its folder is listed

    std::unique_ptr<Ui::Form1> m_ui;
    frolix::FrolixControl* m_frolix = nullptr; // the component, reached only by its automation members
    QPixmap m_sky; // the part of the sky the window shows, in the display's format
    QString m_loading; // the file File1_Click asked for, until the component's load of it ends
};

} // namespace frolix
