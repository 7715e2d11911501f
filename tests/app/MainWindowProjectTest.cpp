// The project workflows of the main window over projects of our making:
// the save question before New, Open and Close, Save and Save As (with a
// write that fails part-way through), moved audio files, unreadable and
// empty project files, drops, and the folders the settings keep. File
// dialogs are answered by a script and message boxes by MessageDialogScript.
#include "KRMprotoSettings.h"
#include "MainWindowTestAccess.h"
#include "MessageDialog.h"
#include "ProjectWindowTest.h"
#include "TestProject.h"
#include "WindowDrop.h"

#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileOpenEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <sys/resource.h>

using Access = MainWindowTestAccess;

namespace {

using projectwindow::fileBytes;
using projectwindow::song;

// A file dialog answered from a list; records what each call was offered.
struct ChooserScript {
    QStringList answers;
    QList<MainWindow::FileChoice> calls;

    ChooserScript()
    {
        MainWindow::setFileChooser([this](const MainWindow::FileChoice& choice) {
            calls.append(choice);
            return answers.isEmpty() ? QString() : answers.takeFirst();
        });
    }
    ~ChooserScript() { MainWindow::setFileChooser(nullptr); }
};

class ProjectWorkflowTest : public projectwindow::ProjectWindowTest {
protected:
    void SetUp() override
    {
        ProjectWindowTest::SetUp();
        // A copy of the song's project beside its audio, under a name of
        // its own.
        m_project = dir.filePath("take.one.svproj");
        ASSERT_TRUE(QFile::copy(song().projectPath, m_project));
    }

    MainWindow& open(const QString& project = QString()) { return ProjectWindowTest::open(project); }
    // Changes the tempo: one undo step, the project is modified.
    void modify(int bpm = 100)
    {
        ASSERT_EQ(Access::updateTempo(w(), bpm), 0u);
        ASSERT_TRUE(core().isModified());
    }
    uint32_t tempo()
    {
        CommonInfo* c = nullptr;
        core().getProjectInfo()->getCommonInfo(&c);
        return c ? c->tempo : 0;
    }
    int waves() { return int(core().getProjectInfo()->waveCount()); }
    QStringList texts() const
    {
        QStringList t;
        for (const MessageDialogScript::Shown& s : boxes.shown())
            t << s.text;
        return t;
    }
    // A project at `path` whose audio file is `wav` (the song's audio).
    static void writeProjectWith(const QString& path, const QString& wav)
    {
        CKRMcore c;
        ASSERT_EQ(c.loadProject(song().projectPath.toStdWString()), 0u);
        ASSERT_EQ(c.setWavPath(0, wav.toStdWString()), 0u);
        ASSERT_EQ(c.saveProject(path.toStdWString()), 0u);
    }

    QString m_project;
};

const char* const kSaveQuestion = "Project data have been changed. Do you wish to proceed without saving?";

TEST_F(ProjectWorkflowTest, NewAndOpenAskOnlyWhenModifiedAndFollowTheAnswer)
{
    struct Case {
        const char* workflow;
        const char* answer;
        bool replaced;
    };
    const Case cases[] = {
        {"newProject", "Yes", true},  {"newProject", "Cancel", false},  {"newProject", "No", false},
        {"openProject", "Yes", true}, {"openProject", "Cancel", false}, {"openProject", "No", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.workflow) + " " + c.answer);
        open(m_project);
        modify();
        MessageDialogScript script;
        script.answer(QString(c.answer));
        ChooserScript chooser;
        // Open asks for a project after the question; Save As (after "No")
        // is cancelled.
        chooser.answers << (QString(c.answer) == "No" ? QString() : song().projectPath);
        QMetaObject::invokeMethod(&w(), c.workflow);
        ASSERT_GE(script.shown().size(), 1);
        EXPECT_EQ(script.shown()[0].text, kSaveQuestion);
        EXPECT_EQ(script.shown()[0].buttons, QStringList({"Yes", "No", "Cancel"}));
        if (c.replaced) {
            EXPECT_EQ(tempo(), 120u);
            EXPECT_FALSE(core().isModified());
        } else {
            EXPECT_EQ(tempo(), 100u);
            EXPECT_EQ(Access::projectPath(w()), m_project);
            EXPECT_EQ(w().mLEditProjectFileName->text(), "take.one");
            if (QString(c.answer) == "No") {
                ASSERT_EQ(chooser.calls.size(), 1);
                EXPECT_TRUE(chooser.calls[0].save);
            }
        }
    }
    // Unmodified: nothing is asked.
    open(m_project);
    MessageDialogScript script;
    QMetaObject::invokeMethod(&w(), "newProject");
    EXPECT_TRUE(script.shown().isEmpty());
    EXPECT_EQ(waves(), 0);
    EXPECT_EQ(w().mLEditProjectFileName->text(), "New Audio Style");
}

TEST_F(ProjectWorkflowTest, SaveOfANewProjectOffersTheDefaultNameInTheStoredFolder)
{
    open();
    KRMprotoSettings::setProjectFilePath(dir.path());
    ChooserScript chooser;
    QMetaObject::invokeMethod(&w(), "saveProject");
    ASSERT_EQ(chooser.calls.size(), 1);
    EXPECT_EQ(chooser.calls[0].folder, dir.path() + "/New Audio Style.svproj");
    EXPECT_EQ(chooser.calls[0].caption, "Save Project File");
    EXPECT_TRUE(Access::projectPath(w()).isEmpty());
    EXPECT_EQ(Access::projectState(w()), 1u);

    // A name typed without a suffix gets the project suffix.
    chooser.answers << dir.filePath("typed");
    QMetaObject::invokeMethod(&w(), "saveProjectAs");
    EXPECT_EQ(Access::projectPath(w()), dir.filePath("typed.svproj"));
    EXPECT_TRUE(QFile::exists(dir.filePath("typed.svproj")));
    EXPECT_EQ(Access::projectState(w()), 2u);
    EXPECT_EQ(w().mLEditProjectFileName->text(), "typed");
}

TEST_F(ProjectWorkflowTest, AnOpenedProjectSavesWithoutADialogAndTheFoldersFollow)
{
    KRMprotoSettings::setProjectFilePath(QDir::tempPath());
    open(m_project);
    EXPECT_EQ(w().mLEditProjectFileName->text(), "take.one");
    EXPECT_EQ(Access::projectState(w()), 2u);
    EXPECT_EQ(KRMprotoSettings::readString("Project", "ProjectFilePath"), dir.path());
    modify(90);
    ChooserScript chooser;
    KRMprotoSettings::setProjectFilePath(QDir::tempPath());
    QMetaObject::invokeMethod(&w(), "saveProject");
    EXPECT_TRUE(chooser.calls.isEmpty());
    EXPECT_TRUE(boxes.shown().isEmpty());
    EXPECT_FALSE(core().isModified());
    EXPECT_EQ(KRMprotoSettings::readString("Project", "ProjectFilePath"), dir.path());
    CKRMcore reread;
    ASSERT_EQ(reread.loadProject(m_project.toStdWString()), 0u);
    CommonInfo* c = nullptr;
    reread.getProjectInfo()->getCommonInfo(&c);
    EXPECT_EQ(c->tempo, 90u);

    // Save As starts at the stored folder joined with the full path as it is.
    QMetaObject::invokeMethod(&w(), "saveProjectAs");
    ASSERT_EQ(chooser.calls.size(), 1);
    EXPECT_EQ(chooser.calls[0].folder, dir.path() + "/" + m_project);
}

TEST_F(ProjectWorkflowTest, AMovedAudioFileIsAskedForAndRelinkedOrKept)
{
    const QString wav = dir.filePath("a.wav");
    ASSERT_TRUE(QFile::copy(song().wavPath, wav));
    const QString project = dir.filePath("a.svproj");
    writeProjectWith(project, wav);
    QDir(dir.path()).mkpath("moved");
    const QString moved = dir.filePath("moved/a.wav");
    ASSERT_TRUE(QFile::rename(wav, moved));

    for (const bool search : {true, false}) {
        SCOPED_TRACE(search ? "Yes" : "No");
        MessageDialogScript script;
        ChooserScript chooser;
        if (search) {
            script.answer(QMessageBox::Yes);
            // A name that does not exist asks again.
            script.answer(QMessageBox::Yes);
            chooser.answers << dir.filePath("missing.wav") << moved;
        } else {
            script.answer(QMessageBox::No);
        }
        open(project);
        ASSERT_GE(script.shown().size(), 1);
        EXPECT_EQ(script.shown()[0].text, "Cannot find the audio file \"a.wav\". Search the file now?");
        WaveInfoRecord* wave = nullptr;
        ASSERT_EQ(core().getWavInfo(0, &wave), 0u);
        if (search) {
            EXPECT_EQ(chooser.calls.size(), 2);
            EXPECT_EQ(script.shown().size(), 2);
            EXPECT_EQ(QString::fromStdWString(wave->path), moved);
            EXPECT_EQ(KRMprotoSettings::readString("Audio", "AudioFilePath"), dir.filePath("moved"));
        } else {
            ASSERT_EQ(script.shown().size(), 2);
            EXPECT_EQ(script.shown()[1].text, "Cannot find the audio file \"a.wav\". - fileNo[0]");
            EXPECT_EQ(QString::fromStdWString(wave->path), wav);
        }
        EXPECT_EQ(Access::projectState(w()), 2u);
        EXPECT_EQ(w().mCmbTrimSec->currentIndex(), 3);
    }
}

TEST_F(ProjectWorkflowTest, AnUnreadableProjectKeepsTheOldOneAndAnEmptyOneOpensEmpty)
{
    open(m_project);
    const QString garbage = dir.filePath("garbage.svproj");
    {
        QFile f(garbage);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a project at all");
    }
    {
        MessageDialogScript script;
        ChooserScript chooser;
        chooser.answers << garbage;
        QMetaObject::invokeMethod(&w(), "openProject");
        ASSERT_EQ(script.shown().size(), 1);
        EXPECT_EQ(script.shown()[0].text, "Internal Error #0110 ");
        EXPECT_EQ(waves(), 1);
        EXPECT_EQ(Access::projectPath(w()), m_project);
        EXPECT_EQ(w().mLEditProjectFileName->text(), "take.one");
    }
    const QString empty = dir.filePath("empty.svproj");
    {
        CKRMcore c;
        ASSERT_EQ(c.updateTempo(90), 0u);
        ASSERT_EQ(c.saveProject(empty.toStdWString()), 0u);
    }
    MessageDialogScript script;
    QFileOpenEvent event(empty);
    QApplication::sendEvent(&w(), &event);
    EXPECT_TRUE(script.shown().isEmpty());
    EXPECT_EQ(waves(), 0);
    EXPECT_EQ(tempo(), 120u);
    EXPECT_EQ(Access::projectPath(w()), empty);
    EXPECT_EQ(Access::projectState(w()), 2u);
    EXPECT_EQ(w().mLEditProjectFileName->text(), "empty");
}

TEST_F(ProjectWorkflowTest, AFailedOpenKeepsTheUnsavedMarkSoEveryWayOutStillAsks)
{
    // Damaged copies of the project: cut short, and with a flipped bit that
    // the reader refuses only after it has begun to fill the project.
    const QByteArray good = fileBytes(m_project);
    const QString cut = dir.filePath("cut.svproj");
    const QString flipped = dir.filePath("flipped.svproj");
    {
        QFile f(cut);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(good.left(good.size() - 5));
    }
    {
        QByteArray bytes = good;
        const int blockC = int(uint8_t(bytes[24])) << 24 | int(uint8_t(bytes[25])) << 16 |
                           int(uint8_t(bytes[26])) << 8 | int(uint8_t(bytes[27]));
        ASSERT_LT(blockC + 7, bytes.size());
        bytes[blockC + 7] = char(bytes[blockC + 7] ^ 0x10);  // beats per bar out of range
        QFile f(flipped);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    struct Case {
        const char* damaged;
        const char* wayOut;
    };
    const Case cases[] = {
        {"cut.svproj", "newProject"}, {"flipped.svproj", "newProject"}, {"cut.svproj", "openProject"},
        {"flipped.svproj", "drop"},   {"flipped.svproj", "close"},      {"missing.svproj", "close"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.damaged) + " then " + c.wayOut);
        open(m_project);
        modify(100);
        {
            // Yes: go on without saving; then the file cannot be read.
            MessageDialogScript script;
            script.answer("Yes");
            ChooserScript chooser;
            chooser.answers << dir.filePath(c.damaged);
            QMetaObject::invokeMethod(&w(), "openProject");
            ASSERT_EQ(script.shown().size(), 2);
            EXPECT_EQ(script.shown()[0].text, kSaveQuestion);
            EXPECT_EQ(script.shown()[1].text, "Internal Error #0110 ");
        }
        EXPECT_TRUE(core().isModified());
        EXPECT_TRUE(core().canUndo());
        EXPECT_EQ(tempo(), 100u);
        EXPECT_EQ(Access::projectPath(w()), m_project);

        // Every way out of the project asks first; Cancel keeps the work.
        MessageDialogScript script;
        script.answer("Cancel");
        ChooserScript chooser;
        chooser.answers << song().projectPath;
        const std::string wayOut = c.wayOut;
        if (wayOut == "drop") {
            testutil::dropFile(w(), song().projectPath);
        } else if (wayOut == "close") {
            QCloseEvent event;
            QApplication::sendEvent(&w(), &event);
            EXPECT_FALSE(event.isAccepted());
        } else {
            QMetaObject::invokeMethod(&w(), c.wayOut);
        }
        ASSERT_EQ(script.shown().size(), 1);
        EXPECT_EQ(script.shown()[0].text, kSaveQuestion);
        EXPECT_TRUE(chooser.calls.isEmpty()) << "Cancel asks for no file";
        EXPECT_EQ(tempo(), 100u);
        EXPECT_TRUE(core().isModified());
    }
}

TEST_F(ProjectWorkflowTest, CloseAsksToExitOrToSaveAndKeepsTheWindowUnlessAllowed)
{
    struct Case {
        bool modified;
        QStringList answers;  // message box answers in order
        bool closes;
        int questions;  // boxes shown
    };
    const Case cases[] = {
        {false, {"No"}, false, 1},
        {false, {"Yes"}, true, 1},
        // No with a cancelled Save As asks again; Cancel then keeps it.
        {true, {"No", "Cancel"}, false, 2},
        {true, {"Cancel"}, false, 1},
        {true, {"Yes"}, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answers.join(",").toStdString());
        open(m_project);
        if (c.modified)
            modify();
        MessageDialogScript script;
        for (const QString& a : c.answers)
            script.answer(a);
        ChooserScript chooser;
        QCloseEvent event;
        QApplication::sendEvent(&w(), &event);
        EXPECT_EQ(event.isAccepted(), c.closes);
        ASSERT_EQ(script.shown().size(), c.questions);
        EXPECT_EQ(script.shown()[0].text, c.modified ? kSaveQuestion : "Do you wish to exit?");
        if (!c.modified) {
            EXPECT_EQ(script.shown()[0].buttons, QStringList({"Yes", "No"}));
        }
    }
    // "Yes" closes without writing.
    EXPECT_EQ(fileBytes(m_project), fileBytes(song().projectPath));
}

// Writes that fail part-way through: the file-size limit makes every write
// past a few bytes fail (also for root).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved {};
    void (*m_handler)(int) = nullptr;
};

TEST_F(ProjectWorkflowTest, AFailedSaveKeepsTheFileThePathAndTheUndoHistory)
{
    open(m_project);
    const QString other = dir.filePath("other.svproj");
    ASSERT_TRUE(QFile::copy(song().projectPath, other));
    const QByteArray before = fileBytes(m_project);
    const QByteArray otherBefore = fileBytes(other);
    const QStringList filesBefore = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    modify();
    {
        MessageDialogScript script;
        ChooserScript chooser;
        chooser.answers << other;
        FileSizeLimit limit(64);
        QMetaObject::invokeMethod(&w(), "saveProject");
        QMetaObject::invokeMethod(&w(), "saveProjectAs");
        ASSERT_EQ(script.shown().size(), 2);
        for (const MessageDialogScript::Shown& s : script.shown())
            EXPECT_TRUE(s.text.startsWith("Internal Error #0078 ")) << s.text.toStdString();
    }
    EXPECT_EQ(fileBytes(m_project), before);
    EXPECT_EQ(fileBytes(other), otherBefore);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), filesBefore);
    EXPECT_TRUE(core().isModified());
    EXPECT_TRUE(core().canUndo());
    // The window stays on the file it came from.
    EXPECT_EQ(Access::projectPath(w()), m_project);
    EXPECT_EQ(w().mLEditProjectFileName->text(), "take.one");
    EXPECT_EQ(Access::projectState(w()), 2u);

    // Closing still asks.
    MessageDialogScript script;
    script.answer(QString("Cancel"));
    QCloseEvent event;
    QApplication::sendEvent(&w(), &event);
    EXPECT_FALSE(event.isAccepted());
    ASSERT_EQ(script.shown().size(), 1);
    EXPECT_EQ(script.shown()[0].text, kSaveQuestion);
}

QMimeData* uriList(const QStringList& files)
{
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& f : files)
        urls << QUrl::fromLocalFile(f);
    data->setUrls(urls);
    return data;
}

TEST_F(ProjectWorkflowTest, DropsTakeOneAudioOrProjectFileAndRunLater)
{
    open();
    struct Case {
        QStringList files;
        bool accepted;
        Qt::DropAction action;
        uint32_t kind;
    };
    const Case cases[] = {
        {{"/x/song.WAV"}, true, Qt::LinkAction, 1},
        {{"/x/song.aif"}, true, Qt::LinkAction, 1},
        {{"/x/a.SvProj"}, true, Qt::CopyAction, 2},
        {{"/x/a.wav", "/x/b.wav"}, false, Qt::IgnoreAction, 0},
        {{"/x/notes.txt"}, false, Qt::IgnoreAction, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.files.join(",").toStdString());
        Access::dropKind(w()) = 0;
        std::unique_ptr<QMimeData> data(uriList(c.files));
        QDragEnterEvent event(QPoint(10, 10), Qt::CopyAction | Qt::LinkAction, data.get(), Qt::LeftButton,
                              Qt::NoModifier);
        event.setAccepted(false);
        QApplication::sendEvent(&w(), &event);
        EXPECT_EQ(event.isAccepted(), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(event.dropAction(), c.action);
        }
        EXPECT_EQ(Access::dropKind(w()), c.kind);
    }

    // A dropped project opens 600 ms later, not before.
    std::unique_ptr<QMimeData> data(uriList({m_project}));
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w(), &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_TRUE(Access::dropTimer(w()).isActive());
    EXPECT_EQ(Access::dropTimer(w()).interval(), 600);
    QTest::qWait(400);
    EXPECT_EQ(waves(), 0);
    QTest::qWait(400);
    EXPECT_EQ(waves(), 1);
    EXPECT_EQ(Access::projectPath(w()), m_project);
}

}  // namespace
