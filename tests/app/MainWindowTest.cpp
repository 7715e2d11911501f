// The main window as a frame: what construction leaves, the wiring, the
// event filter, the preferences, the About box and the teardown of jobs.
#include "Application.h"
#include "AudioDeviceASFF.h"
#include "AudioSetupEditor.h"
#include "CKRMcore.h"
#include "KRMprotoSettings.h"
#include "MainWindowTestAccess.h"
#include "MessageDialog.h"
#include "ModalDialogs.h"
#include "ProgramRun.h"
#include "ProjectWindowTest.h"
#include "StyledWidgets.h"

#include <QDir>
#include <QFileOpenEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QRegExpValidator>
#include <QSignalSpy>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include <memory>
#include <set>

using Access = MainWindowTestAccess;

namespace {

void touchFile(const QString& path)
{
    QFile(path).open(QIODevice::WriteOnly);
}

// A fresh settings folder for each test, and every message box recorded.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_savedData = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
    }
    void TearDown() override
    {
        m_window.reset();
        qputenv("XDG_DATA_HOME", m_savedData);
    }
    MainWindow& window()
    {
        if (!m_window)
            m_window = std::make_unique<MainWindow>(QString());
        return *m_window;
    }
    void destroyWindow() { m_window.reset(); }
    QString iniPath() const { return m_data.filePath("Tanvek/Stelvano/Stelvano.ini"); }

    MessageDialogScript boxes;

private:
    QTemporaryDir m_data;
    QByteArray m_savedData;
    std::unique_ptr<MainWindow> m_window;
};

TEST_F(MainWindowTest, ConstructionNamesTheApplicationAndSetsFadesAndPixelSizes)
{
    MainWindow& w = window();
    EXPECT_EQ(QCoreApplication::organizationName(), "Tanvek Corp.");
    EXPECT_EQ(QCoreApplication::applicationName(), "Stelvano");
    EXPECT_EQ(w.windowTitle(), "Stelvano");
    EXPECT_FALSE(w.windowIcon().isNull());
    EXPECT_EQ(Access::core(w).getFadeLength(), 1147u);
    EXPECT_EQ(Access::work(w).getFadeLength(), 1147u);
    EXPECT_TRUE(w.mPickupFrame->isHidden());
    EXPECT_EQ(w.mFrameWav->m_pReceiver, &w);
    EXPECT_EQ(Access::projectState(w), 1u) << "a new project after construction";
    EXPECT_EQ(w.mLEditProjectFileName->text(), "New Audio Style");
    for (QWidget* tracked :
         std::vector<QWidget*> {&w, w.mTopFrame, w.mMiddleVerticalLayoutMiddle, w.mBottomVerticalFrame})
        EXPECT_TRUE(tracked->hasMouseTracking()) << tracked->objectName().toStdString();

    const std::pair<int, std::vector<QWidget*>> sizes[] = {
        {27, {w.mLEditProjectFileName, w.mLEditBeat, w.mSpinTempo}},
        {21, {w.mChkTimeStretch, w.mChkClick, w.mBtnBeatAnaHalf, w.mBtnBeatAnaDouble}},
        {19, {w.mCmbTrimSec, w.mChkManual, w.mSpinBars, w.mCmbWav, w.mBtnImport, w.mBtnUnlink}},
        {17, {w.mSectionLabel, w.mBarLabel, w.mWaveLabel}},
        {15,
         {w.mLEditTrimStart, w.mLEditTrimEnd, w.mChkFade, w.mBtnShiftBeatPosition, w.mChkBlank,
          w.mSpinPickup}},
        {13, {w.mStartTimeLabel, w.mEndTimeLabel, w.mPickupLabel, w.mBeatLabel, Access::statusLabel(w)}},
        // The window's direct children get the window's font at 12 pixels.
        {12, {w.Ui::MainWindow::centralWidget, w.Ui::MainWindow::statusBar, w.Ui::MainWindow::menuBar}},
    };
    for (const auto& entry : sizes) {
        for (QWidget* widget : entry.second)
            EXPECT_EQ(widget->font().pixelSize(), entry.first) << widget->objectName().toStdString();
    }
    EXPECT_EQ(w.Ui::MainWindow::centralWidget->font().family(), "Arial");
    EXPECT_TRUE(boxes.shown().isEmpty());
}

TEST_F(MainWindowTest, TrimFieldsTakeSecondsWithUpToSixDecimals)
{
    MainWindow& w = window();
    struct Case {
        const char* text;
        bool acceptable;
    };
    const Case cases[] = {{"0.5", true},   {".5", true},        {"99999.123456", true},
                          {"12.0", true},  {"100000.1", false}, {"1.1234567", false},
                          {"00.5", false}, {"-1.5", false},     {"1e3", false}};
    for (QLineEdit* field : {w.mLEditTrimStart, w.mLEditTrimEnd}) {
        ASSERT_TRUE(qobject_cast<const QRegExpValidator*>(field->validator()));
        for (const Case& c : cases) {
            QString text = c.text;
            int pos = 0;
            EXPECT_EQ(field->validator()->validate(text, pos) == QValidator::Acceptable, c.acceptable)
                << c.text;
        }
    }
    EXPECT_NE(w.mLEditTrimStart->validator(), w.mLEditTrimEnd->validator());
}

// The debug lines written while it lives; `onLine` sees each one as it is
// written.
class DebugLines {
public:
    explicit DebugLines(std::function<void(const QString&)> onLine = {})
    {
        current() = this;
        m_onLine = std::move(onLine);
        m_previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
            current()->lines << text;
            if (current()->m_onLine)
                current()->m_onLine(text);
        });
    }
    ~DebugLines()
    {
        qInstallMessageHandler(m_previous);
        current() = nullptr;
    }
    QStringList lines;

private:
    static DebugLines*& current()
    {
        static DebugLines* d = nullptr;
        return d;
    }
    QtMessageHandler m_previous;
    std::function<void(const QString&)> m_onLine;
};

TEST_F(MainWindowTest, TheNullOutputOpensAtStartWithTheClickSoundsOfTheCurrentFolder)
{
    const QString saved = QDir::currentPath();
    QTemporaryDir folder;
    touchFile(folder.filePath("Metro1.wav"));
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    DebugLines debug;
    MainWindow& w = window();
    QDir::setCurrent(saved);
    EXPECT_TRUE(boxes.shown().isEmpty());
    EXPECT_TRUE(Access::audioEnabled(w));
    const QString here = QDir(folder.path()).canonicalPath();
    EXPECT_TRUE(debug.lines.contains(" find Metro1.wav:  " + here + "/Metro1.wav"))
        << debug.lines.join('\n').toStdString();
    EXPECT_TRUE(debug.lines.contains(" find Metro2.wav:  " + here + "/Metro2.wav"))
        << "the second click's file is handed on even though it is missing";

    // The end of play and the play position reach the window.
    const QSharedPointer<AudioDeviceASFF> holder = Access::audition(w).audioDevice();
    ASSERT_TRUE(holder);
    EXPECT_TRUE(
        QObject::disconnect(&Access::audition(w), SIGNAL(signalStop()), &w, SLOT(releasedBtnStopped())));
    EXPECT_TRUE(QObject::disconnect(holder.data(), SIGNAL(signalLocation()), &w, SLOT(location())));

    destroyWindow();
    QSettings ini(iniPath(), QSettings::IniFormat);
    EXPECT_TRUE(ini.contains("Audio/AudioDeviceName")) << "the device name is stored at exit";
}

TEST_F(MainWindowTest, PreferencesAreWrittenWhileTheOutputIsStillOpen)
{
    window();
    const QSharedPointer<AudioDeviceASFF> holder = AudioDeviceASFF::instance();
    ASSERT_TRUE(holder);
    uint32_t openWhileSaving = 0;
    DebugLines debug([&](const QString& line) {
        if (line.startsWith("savePreference:"))
            openWhileSaving = holder->open(2048, 44100.0);
    });
    destroyWindow();
    EXPECT_EQ(openWhileSaving, 0x80000002u) << "a second open fails only while the output is open";
}

TEST_F(MainWindowTest, TheAudioSettingTakesTheChosenOutputOnlyOnOk)
{
    MainWindow& w = window();
    ASSERT_TRUE(Access::deviceName(w).isEmpty()) << "a first start names no device";
    {
        testutil::ModalAnswer<AudioSetupEditor> cancel(
            [](AudioSetupEditor& d) { d.m_pCancelButton->click(); });
        w.actionAudioDeviceSetting->trigger();
        EXPECT_TRUE(cancel.seen());
        EXPECT_TRUE(Access::deviceName(w).isEmpty());
    }
    {
        testutil::ModalAnswer<AudioSetupEditor> ok([](AudioSetupEditor& d) {
            EXPECT_EQ(d.m_pAudioOutBox->currentText(), "Null: paced output");
            d.m_pOkButton->click();
        });
        w.actionAudioDeviceSetting->trigger();
        EXPECT_TRUE(ok.seen());
    }
    EXPECT_EQ(Access::deviceName(w), "Null: paced output");
    EXPECT_EQ(AudioDeviceASFF::instance()->open(2048, 44100.0), 0x80000002u) << "the chosen output is open";
    EXPECT_TRUE(boxes.shown().isEmpty());
}

// Records which objects' events the window's filter sees.
class ProbeWindow : public MainWindow {
public:
    ProbeWindow() : MainWindow(QString()) { }
    std::set<QObject*> filtered;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        filtered.insert(watched);
        return MainWindow::eventFilter(watched, event);
    }
};

TEST_F(MainWindowTest, TheFilterSitsOnTheTwentyTwoWidgets)
{
    ProbeWindow w;
    const std::set<QObject*> expected = {w.mLEditBeat,      w.mSpinTempo,      w.mSpinPickup,
                                         w.mLEditTrimStart, w.mLEditTrimEnd,   w.mLEditProjectFileName,
                                         w.mPushButtonPlay, w.mSliderMetro,    w.mChkTimeStretch,
                                         w.mChkClick,       w.mBtnBeatAnaHalf, w.mBtnBeatAnaDouble,
                                         w.mCmbTrimSec,     w.mChkManual,      w.mSpinBars,
                                         w.mBtnImport,      w.mBtnUnlink,      w.mBtnHorZoomIn,
                                         w.mBtnHorZoomOut,  w.mChkFade,        w.mBtnShiftBeatPosition,
                                         w.mChkBlank};
    ASSERT_EQ(expected.size(), 22u);
    w.filtered.clear();
    for (QWidget* widget : w.findChildren<QWidget*>()) {
        QEvent probe(QEvent::User);
        QCoreApplication::sendEvent(widget, &probe);
    }
    EXPECT_EQ(w.filtered, expected);
}

TEST_F(MainWindowTest, TheThirtyNineConnectionsReachTheirSlots)
{
    MainWindow& w = window();
    struct Connection {
        QObject* sender;
        const char* signal;
        const char* slot;
    };
    const Connection table[] = {
        {w.actionNewAudioStyleProject, SIGNAL(triggered()), SLOT(newProject())},
        {w.actionNewAudioStyleProject_with_Import, SIGNAL(triggered()), SLOT(releasedBtnOpenWav())},
        {w.actionOpenAudioStyleProject, SIGNAL(triggered()), SLOT(openProject())},
        {w.actionSaveAudioStyleProject, SIGNAL(triggered()), SLOT(saveProject())},
        {w.actionSaveAudioStyleProject_as, SIGNAL(triggered()), SLOT(saveProjectAs())},
        {w.actionExport_as_AudioStyleFile, SIGNAL(triggered()), SLOT(releasedBtnExportSty())},
        {w.actionQuit, SIGNAL(triggered()), SLOT(close())},
        {w.actionUndo, SIGNAL(triggered()), SLOT(undo())},
        {w.actionRedo, SIGNAL(triggered()), SLOT(redo())},
        {w.actionSelectAll, SIGNAL(triggered()), SLOT(onSelectAll())},
        {w.actionSelectClear, SIGNAL(triggered()), SLOT(onClearAll())},
        {w.actionAudioDeviceSetting, SIGNAL(triggered()), SLOT(audioDeviceSetting())},
        {w.actionAbout, SIGNAL(triggered()), SLOT(openInformation())},
        {w.mLEditBeat, SIGNAL(textChanged(QString)), SLOT(beatTextChanged(QString))},
        {w.mLEditBeat, SIGNAL(editingFinished()), SLOT(beatEditingFinished())},
        {w.mSpinTempo, SIGNAL(valueChanged(int)), SLOT(valueChangedSpinTempo(int))},
        {w.mPushButtonPlay, SIGNAL(clicked()), SLOT(releasedBtnPlayLoop())},
        {w.mSliderMetro, SIGNAL(valueChanged(int)), SLOT(valueChangedSliderMetro(int))},
        {w.mChkTimeStretch, SIGNAL(clicked(bool)), SLOT(clickedChkTimeStretch(bool))},
        {w.mChkClick, SIGNAL(clicked(bool)), SLOT(clickedChkClick(bool))},
        {w.mBtnBeatAnaHalf, SIGNAL(clicked()), SLOT(releasedBtnBeatAnaHalf())},
        {w.mBtnBeatAnaDouble, SIGNAL(clicked()), SLOT(releasedBtnBeatAnaDouble())},
        {w.mCmbTrimSec, SIGNAL(currentIndexChanged(int)), SLOT(currentIdxChangedCmbTrimSec(int))},
        {w.mChkManual, SIGNAL(clicked(bool)), SLOT(clickedChkManual(bool))},
        {w.mSpinBars, SIGNAL(valueChanged(int)), SLOT(valueChangedSpinBars(int))},
        {w.mCmbWav, SIGNAL(currentIndexChanged(int)), SLOT(currentIdxChangedCmbWav())},
        {w.mBtnImport, SIGNAL(clicked()), SLOT(releasedBtnImportAudio())},
        {w.mBtnUnlink, SIGNAL(clicked()), SLOT(releasedBtnUnlinkAudio())},
        {w.mScrollBar, SIGNAL(valueChanged(int)), SLOT(valueChangedScrollBar(int))},
        {w.mBtnHorZoomIn, SIGNAL(clicked()), SLOT(releasedBtnHorZoomIn())},
        {w.mBtnHorZoomOut, SIGNAL(clicked()), SLOT(releasedBtnHorZoomOut())},
        {w.mLEditTrimStart, SIGNAL(textChanged(QString)), SLOT(trimStartTextChanged(QString))},
        {w.mLEditTrimStart, SIGNAL(editingFinished()), SLOT(trimStartEditingFinished())},
        {w.mLEditTrimEnd, SIGNAL(textChanged(QString)), SLOT(trimEndTextChanged(QString))},
        {w.mLEditTrimEnd, SIGNAL(editingFinished()), SLOT(trimEndEditingFinished())},
        {w.mChkFade, SIGNAL(clicked(bool)), SLOT(clickedChkFade(bool))},
        {w.mBtnShiftBeatPosition, SIGNAL(clicked()), SLOT(releasedBtnBeatToggleShift())},
        {w.mChkBlank, SIGNAL(clicked(bool)), SLOT(clickedChkBlank(bool))},
        {w.mSpinPickup, SIGNAL(valueChanged(int)), SLOT(valueChangedSpinPickup(int))},
    };
    ASSERT_EQ(std::size(table), 39u);
    // Each connection exists exactly once: the first disconnect finds it,
    // a second finds nothing.
    for (const Connection& c : table) {
        EXPECT_TRUE(QObject::disconnect(c.sender, c.signal, &w, c.slot)) << c.signal << " -> " << c.slot;
        EXPECT_FALSE(QObject::disconnect(c.sender, c.signal, &w, c.slot)) << c.signal << " -> " << c.slot;
    }
}

TEST_F(MainWindowTest, AFileOpenEventLoadsTheProjectIntoTheEngine)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("song.svproj");
    {
        CKRMcore saved;
        ASSERT_EQ(saved.updateTempo(97), 0u);
        ASSERT_EQ(saved.setTimeSignature(3, 4), 0u);
        ASSERT_EQ(saved.saveProject(path.toStdWString()), 0u);
    }
    MainWindow& w = window();
    QFileOpenEvent open(path);
    EXPECT_TRUE(QCoreApplication::sendEvent(&w, &open));
    CommonInfo* common = nullptr;
    ASSERT_EQ(Access::core(w).getProjectInfo()->getCommonInfo(&common), 0u);
    // A project without audio files opens as an empty new project (default
    // tempo and meter) under the file's name and path.
    EXPECT_EQ(common->tempo, 120u);
    EXPECT_EQ(common->beatsPerBar, 4);
    EXPECT_EQ(Access::projectPath(w), path);
    EXPECT_EQ(Access::projectState(w), 2u);
    EXPECT_EQ(w.mLEditProjectFileName->text(), "song");
    EXPECT_TRUE(boxes.shown().isEmpty());

    // A file that cannot be loaded says so and keeps the project.
    QFileOpenEvent broken(folder.filePath("missing.svproj"));
    EXPECT_TRUE(QCoreApplication::sendEvent(&w, &broken));
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_EQ(boxes.shown()[0].text, "Internal Error #0110 ");
    EXPECT_EQ(Access::projectPath(w), path);
    EXPECT_EQ(w.mLEditProjectFileName->text(), "song");
}

// A copy of the program in a folder of its own, started in another folder.
class ProgramCopy {
public:
    ProgramCopy()
    {
        QDir(folders.path(".")).mkpath("bin");
        QDir(folders.path(".")).mkpath("cwd");
        QFile::copy(STELVANO_BINARY, program());
    }
    QString program() const { return folders.path("bin/stelvano"); }
    QString programFolder() const { return folders.path("bin"); }
    QString currentFolder() const { return QDir(folders.path("cwd")).canonicalPath(); }
    // The output of one start up to its window.
    QString start()
    {
        testutil::Program p(folders.environment(), {}, program(), currentFolder());
        EXPECT_TRUE(p.waitForOutput("window shown", testutil::kStartMs)) << p.output().toStdString();
        return p.output();
    }

    testutil::ProgramFolders folders;
};

TEST(ResourceLookup, TheTemplateBesideTheProgramWinsOverTheOneInTheCurrentFolder)
{
    ProgramCopy copy;
    touchFile(copy.currentFolder() + "/Empty.sty");
    EXPECT_TRUE(copy.start().contains(" find Empty.sty:  " + copy.currentFolder()));
    touchFile(copy.programFolder() + "/Empty.sty");
    EXPECT_TRUE(copy.start().contains(" find Empty.sty:  " + copy.programFolder()));
    QFile::remove(copy.programFolder() + "/Empty.sty");
    QFile::remove(copy.currentFolder() + "/Empty.sty");
    EXPECT_FALSE(copy.start().contains("find Empty.sty")) << "with neither the engine keeps its own path";
}

TEST(ResourceLookup, TheFirstClickBesideTheProgramNamesBothClickSounds)
{
    ProgramCopy copy;
    touchFile(copy.programFolder() + "/Metro1.wav");
    touchFile(copy.currentFolder() + "/Metro1.wav");
    touchFile(copy.currentFolder() + "/Metro2.wav");
    const QString output = copy.start();
    EXPECT_TRUE(output.contains(" find Metro1.wav:  " + copy.programFolder() + "/Metro1.wav"))
        << output.toStdString();
    EXPECT_TRUE(output.contains(" find Metro2.wav:  " + copy.programFolder() + "/Metro2.wav"))
        << "Metro2.wav beside the program is named although only the current folder has one";
}

// The event filter on a job window: a progress dialog of the export.
class JobWindowTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        dialog = new MainWindow::ProgressDialog(&window());
        Access::exportDialog(window()) = dialog;
        dialog->installEventFilter(&window());
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    }
    void TearDown() override
    {
        releaseAlt();
        MainWindowTest::TearDown();
    }
    // Key events as X11 builds them: a key's own modifier is reported from
    // before the event.
    void pressAlt()
    {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Alt, Qt::NoModifier);
        QCoreApplication::sendEvent(dialog, &press);
    }
    void releaseAlt()
    {
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Alt, Qt::AltModifier);
        QCoreApplication::sendEvent(dialog, &release);
    }

    MainWindow::ProgressDialog* dialog = nullptr;
};

TEST_F(JobWindowTest, EscapeIsSwallowed)
{
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->wasCanceled());
}

TEST_F(JobWindowTest, TheCloseIsRefusedUntilMayCloseAndWhileAltIsHeld)
{
    EXPECT_FALSE(dialog->close());
    EXPECT_TRUE(dialog->isVisible());
    dialog->setMayClose(true);
    pressAlt();
    EXPECT_FALSE(dialog->close()) << "Alt+F4";
    releaseAlt();
    EXPECT_TRUE(dialog->close()) << "after Alt is released the window can be closed";
}

TEST_F(JobWindowTest, AResizeFixesTheSize)
{
    // Showing it resized it: from then on its size stays.
    const QSize shown = dialog->size();
    EXPECT_EQ(dialog->minimumSize(), shown);
    EXPECT_EQ(dialog->maximumSize(), shown);
    dialog->resize(shown + QSize(120, 80));
    EXPECT_EQ(dialog->size(), shown);
}

TEST_F(MainWindowTest, RangeToolTipsFollowTheStateOfTheirControl)
{
    MainWindow& w = window();
    const auto tipOf = [](QWidget* widget) {
        widget->setToolTip("stale");
        QHelpEvent help(QEvent::ToolTip, QPoint(1, 1), widget->mapToGlobal(QPoint(1, 1)));
        QCoreApplication::sendEvent(widget, &help);
        return widget->toolTip();
    };
    struct Case {
        QWidget* widget;
        uint8_t beatsPerBar;
        bool enabled;
        QString tip;
    };
    const Case cases[] = {
        {w.mSpinTempo, 4, true, "[5-500]"},
        {w.mSpinTempo, 4, false, ""},
        {w.mLEditBeat, 4, true, "[1-12] / [2,4,8]"},
        {w.mLEditBeat, 4, false, ""},
        {w.mSpinPickup, 4, true, "[1-7]"},
        {w.mSpinPickup, 3, true, "[1-5]"},
        {w.mSpinPickup, 3, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.widget->objectName().toStdString() + " " + std::to_string(c.beatsPerBar));
        ASSERT_EQ(Access::core(w).setTimeSignature(c.beatsPerBar, 4), 0u);
        c.widget->setEnabled(c.enabled);
        EXPECT_EQ(tipOf(c.widget), c.tip);
    }
}

TEST_F(MainWindowTest, TrimFieldsSelectAllOnFocusAndCommitOnReturn)
{
    MainWindow& w = window();
    for (QLineEdit* field : {w.mLEditTrimStart, w.mLEditTrimEnd}) {
        SCOPED_TRACE(field->objectName().toStdString());
        field->setText("2.25");
        field->deselect();
        QFocusEvent focusIn(QEvent::FocusIn, Qt::OtherFocusReason);
        QCoreApplication::sendEvent(field, &focusIn);
        EXPECT_EQ(field->selectedText(), "2.25");

        field->deselect();
        field->setModified(true);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(field, &release);
        EXPECT_FALSE(field->isModified()) << "the value was committed";
        EXPECT_EQ(field->selectedText(), "2.25");
    }
}

TEST_F(MainWindowTest, CtrlZInATrimFieldReachesTheWindowAndTheFieldLetsGo)
{
    MainWindow& w = window();
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    struct KeyRecorder : QObject {
        QList<std::pair<int, int>> keys;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::KeyPress) {
                auto* k = static_cast<QKeyEvent*>(e);
                keys.append({int(k->modifiers()), k->key()});
            }
            return false;
        }
    } recorder;
    w.installEventFilter(&recorder);
    // Without an audio file the field is disabled; the key routing is the
    // same once a file enables it.
    w.mLEditTrimStart->setEnabled(true);
    w.mLEditTrimStart->setFocus();
    QTest::keyClicks(w.mLEditTrimStart, "1.5");
    QTest::keyClick(w.mLEditTrimStart, Qt::Key_Z, Qt::ControlModifier);
    // The window's undo ran, not the field's own undo, which would have
    // left "1.".
    EXPECT_NE(w.mLEditTrimStart->text(), "1.");
    EXPECT_FALSE(w.mLEditTrimStart->hasFocus());
    EXPECT_TRUE(recorder.keys.contains(std::make_pair(int(Qt::ControlModifier), int(Qt::Key_Z))));
}

// Every shortcut of the menus, typed into the window's key path (shortcut
// override first, then the key press) with the focus in the view or in a
// styled control of each kind: each fires its own action once and nothing
// else. Text controls claim emacs-style keys such as Ctrl+E for themselves
// on this platform; the menu's keys must get through all the same. The
// actions are cut off from the window's slots, so only the firing is seen.
class MenuShortcutsTest : public projectwindow::ProjectWindowTest {
protected:
    struct Place {
        const char* name;
        QWidget* control;  // null: the view, no control focused
    };
    // The form's combo boxes, check boxes and buttons take no focus from
    // the mouse or Tab; given the focus by code they must behave the same.
    std::vector<Place> places()
    {
        return {
            {"view", nullptr},
            {"VLineEdit mLEditTrimStart", w().mLEditTrimStart},
            {"VLineEdit mLEditBeat", w().mLEditBeat},
            {"VSpinBox mSpinTempo", w().mSpinTempo},
            {"VSpinBox mSpinBars", w().mSpinBars},
            {"VComboBox mCmbTrimSec", w().mCmbTrimSec},
            {"VCheckBox mChkManual", w().mChkManual},
            {"VPushButton mBtnImport", w().mBtnImport},
        };
    }
    void focus(const Place& place)
    {
        if (place.control) {
            place.control->setEnabled(true);
            place.control->setFocus();
            ASSERT_TRUE(place.control->hasFocus());
        } else if (QWidget* focused = QApplication::focusWidget()) {
            focused->clearFocus();
        }
    }
    void type(const QKeySequence& keys)
    {
        const int combined = keys[0];
        QTest::keyClick(w().windowHandle(), Qt::Key(combined & ~int(Qt::KeyboardModifierMask)),
                        Qt::KeyboardModifiers(combined & int(Qt::KeyboardModifierMask)));
    }
    void show()
    {
        open(projectwindow::song().projectPath);
        w().show();
        QApplication::setActiveWindow(&w());
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));
    }
};

TEST_F(MenuShortcutsTest, EveryMenuShortcutFiresFromEveryStyledControlAsFromTheView)
{
    show();
    MainWindow& win = w();
    ASSERT_NE(qobject_cast<VLineEdit*>(win.mLEditTrimStart), nullptr);
    ASSERT_NE(qobject_cast<VSpinBox*>(win.mSpinTempo), nullptr);
    ASSERT_NE(qobject_cast<VComboBox*>(win.mCmbTrimSec), nullptr);
    ASSERT_NE(qobject_cast<VCheckBox*>(win.mChkManual), nullptr);
    ASSERT_NE(qobject_cast<VPushButton*>(win.mBtnImport), nullptr);
    // Two edits, one undone: undo and redo are both possible.
    ASSERT_EQ(Access::updateTempo(win, 100), 0u);
    ASSERT_EQ(Access::updateTempo(win, 110), 0u);
    QMetaObject::invokeMethod(&win, "undo");

    const QList<QAction*> actions = {
        win.actionNewAudioStyleProject,
        win.actionNewAudioStyleProject_with_Import,
        win.actionOpenAudioStyleProject,
        win.actionSaveAudioStyleProject,
        win.actionSaveAudioStyleProject_as,
        win.actionExport_as_AudioStyleFile,
        win.actionQuit,
        win.actionUndo,
        win.actionRedo,
    };
    // The table is every shortcut the menus hold.
    QList<QAction*> inMenus;
    for (QAction* menu : win.QMainWindow::menuBar()->actions()) {
        for (QAction* a : menu->menu()->actions()) {
            if (!a->shortcut().isEmpty())
                inMenus << a;
        }
    }
    ASSERT_EQ(inMenus, actions);
    std::vector<std::unique_ptr<QSignalSpy>> fired;
    for (QAction* a : actions) {
        ASSERT_TRUE(a->isEnabled()) << a->objectName().toStdString();
        QObject::disconnect(a, nullptr, &win, nullptr);
        fired.push_back(std::make_unique<QSignalSpy>(a, &QAction::triggered));
    }

    for (const Place& place : places()) {
        for (int k = 0; k < actions.size(); ++k) {
            SCOPED_TRACE(std::string(place.name) + " " + actions[k]->shortcut().toString().toStdString());
            focus(place);
            for (auto& spy : fired)
                spy->clear();
            type(actions[k]->shortcut());
            for (int j = 0; j < actions.size(); ++j)
                EXPECT_EQ(fired[size_t(j)]->count(), j == k ? 1 : 0)
                    << actions[j]->objectName().toStdString();
        }
    }
}

// Ctrl+A and Ctrl+Shift+A are the window's own keys (select all and clear):
// they reach the window once from every control, as from the view (a press
// handed up by a line edit or spin box used to arrive twice); a combo box
// keeps Ctrl+A for its own search.
TEST_F(MenuShortcutsTest, SelectAllKeysReachTheWindowOnceFromTheControlsThatHandThemUp)
{
    show();
    struct PressCounter : QObject {
        int presses = 0;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_A)
                ++presses;
            return false;
        }
    } counter;
    w().installEventFilter(&counter);
    for (const Place& place : places()) {
        for (const char* keys : {"Ctrl+A", "Ctrl+Shift+A"}) {
            SCOPED_TRACE(std::string(place.name) + " " + keys);
            focus(place);
            counter.presses = 0;
            type(QKeySequence(keys));
            const bool comboSearch = qobject_cast<QComboBox*>(place.control) && QString(keys) == "Ctrl+A";
            EXPECT_EQ(counter.presses, comboSearch ? 0 : 1);
        }
    }
}

TEST(WindowRect, IsFittedOntoTheScreen)
{
    struct Case {
        const char* name;
        QRect saved;
        bool applied;
        QRect result;
    };
    const QRect screen(0, 0, 1920, 1040);
    const Case cases[] = {
        {"inside", {100, 80, 800, 600}, true, {100, 80, 800, 600}},
        {"over the right edge: moved left, width kept", {1500, 80, 800, 600}, true, {1120, 80, 800, 600}},
        {"over the bottom edge: moved up", {100, 900, 800, 600}, true, {100, 440, 800, 600}},
        {"over the left edge: moved right", {-50, 80, 800, 600}, true, {0, 80, 800, 600}},
        {"wider than the screen: cut", {-10, 80, 2500, 600}, true, {0, 80, 1920, 600}},
        {"taller than the screen: cut", {100, -5, 800, 1200}, true, {100, 0, 800, 1040}},
        {"zero width", {100, 80, 0, 600}, false, {}},
        {"zero height", {100, 80, 800, 0}, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget window;
        window.setGeometry(7, 9, 300, 200);
        EXPECT_EQ(Access::applyRect(&window, c.saved, screen), c.applied);
        EXPECT_EQ(window.geometry(), c.applied ? c.result : QRect(7, 9, 300, 200));
    }
}

TEST_F(MainWindowTest, AFirstStartKeepsTheFormsSize)
{
    ASSERT_FALSE(QFile::exists(iniPath()));
    EXPECT_EQ(window().size(), QSize(666, 571));
    EXPECT_FALSE(window().isMaximized());
}

TEST_F(MainWindowTest, AWindowMaximisedAtExitKeepsItsStoredRectangle)
{
    MainWindow& first = window();
    first.setGeometry(40, 10, 700, 580);
    destroyWindow();
    const QRect stored = KRMprotoSettings::readRect(WindowGeometryKeys("MainWindow"));
    EXPECT_EQ(stored, QRect(40, 10, 700, 580));
    EXPECT_EQ(KRMprotoSettings::readString("MainWindow", "Maximized"), "false");

    window().showMaximized();
    ASSERT_TRUE(window().isMaximized());
    destroyWindow();
    EXPECT_EQ(KRMprotoSettings::readString("MainWindow", "Maximized"), "true");
    EXPECT_EQ(KRMprotoSettings::readRect(WindowGeometryKeys("MainWindow")), stored);

    // The next start restores the normal rectangle, then maximises.
    EXPECT_TRUE(window().isMaximized());
    window().show();
    window().showNormal();
    EXPECT_EQ(window().geometry(), stored);
}

TEST_F(MainWindowTest, AboutShowsTheCompiledVersionInformation)
{
    const Application::VersionInformation version;
    struct Seen {
        QString title, text;
        QStringList buttons;
        int minimumWidth = 0;
        bool defaultIsOk = false;
        QMessageBox::Icon icon = QMessageBox::Warning;
    } seen;
    MessageDialog::setResponder([&seen](MessageDialog& box) -> QAbstractButton* {
        seen = {box.windowTitle(),
                box.text(),
                box.buttonLabels(),
                box.minimumSizeHint().width(),
                box.defaultButton() == box.button(QMessageBox::Ok),
                box.icon()};
        return box.defaultButton();
    });
    window().actionAbout->trigger();
    MessageDialog::setResponder(nullptr);
    EXPECT_EQ(seen.title, "Application Information");
    EXPECT_EQ(seen.text,
              QString("%1  V%2\n\n%3")
                  .arg(version.fileDescription(0), version.productVersion(0), version.legalCopyright(0)));
    EXPECT_EQ(seen.buttons.size(), 1);
    EXPECT_TRUE(seen.defaultIsOk);
    EXPECT_GE(seen.minimumWidth, 450);
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
}

TEST_F(MainWindowTest, TeardownEndsJobThreadsThatStillRun)
{
    MainWindow& w = window();
    struct Job {
        QObject*& worker;
        QThread*& thread;
    };
    QList<QPointer<QObject>> alive;
    for (const Job& job : {Job {Access::exportWorker(w), Access::exportThread(w)},
                           Job {Access::stretchWorker(w), Access::stretchThread(w)}}) {
        job.worker = new QObject;
        job.thread = new QThread;
        job.worker->moveToThread(job.thread);
        job.thread->start();
        // The worker is still in its slot when the window goes.
        QMetaObject::invokeMethod(
            job.worker, [] { QThread::msleep(150); }, Qt::QueuedConnection);
        alive << job.worker << job.thread;
    }
    destroyWindow();
    for (const QPointer<QObject>& p : alive)
        EXPECT_TRUE(p.isNull());
}

}  // namespace
