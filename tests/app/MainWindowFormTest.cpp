// The main window's form on a plain window: the widget table, the section
// combo, the actions and the menus.
#include "MainWindowForm.h"

#include <QAbstractButton>
#include <QSpinBox>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

constexpr int M = QWIDGETSIZE_MAX;
using P = QSizePolicy;

class Form : public ::testing::Test {
protected:
    void SetUp() override { ui.setupUi(&window); }
    template <typename W = QWidget> W* widget(const char* name) { return window.findChild<W*>(name); }

    QMainWindow window;
    Ui::MainWindow ui;
};

// One row per control: what setupUi and retranslateUi leave. A policy of -1,
// a size of -1 or a point size of 0 is not checked; a null text or tooltip
// is not set by the form (it stays empty as well).
struct Row {
    const char* name;
    const char* className;
    int hPolicy, vPolicy;
    QSize min, max;
    int pointSize;
    int focus;
    const char* text;
    const char* toolTip;
};

TEST_F(Form, ControlsHaveTheirClassSizesFocusTextsAndTooltips)
{
    const QSize none(-1, -1);
    const int dflt = -1;
    const Row rows[] = {
        {"mLEditProjectFileName",
         "QLineEdit",
         P::Expanding,
         P::Fixed,
         {180, 0},
         none,
         20,
         Qt::NoFocus,
         "",
         ""},
        {"mLEditBeat", "VLineEdit", P::Fixed, P::Fixed, {65, 0}, {65, M}, 20, Qt::ClickFocus, "4/4", ""},
        {"mLabelTempo", "QLabel", dflt, dflt, {24, 0}, {24, M}, 20, dflt, "", nullptr},
        {"mSpinTempo", "VSpinBox", P::Fixed, P::Fixed, {85, 35}, {M, 35}, 20, Qt::ClickFocus, nullptr, ""},
        {"mChkClick", "VCheckBox", P::Fixed, P::Preferred, {71, 0}, {71, M}, 14, Qt::NoFocus, "Click", ""},
        {"mBtnBeatAnaHalf",
         "VPushButton",
         P::Fixed,
         P::Fixed,
         {45, 30},
         {45, 30},
         14,
         Qt::NoFocus,
         " /2",
         ""},
        {"mBtnBeatAnaDouble",
         "VPushButton",
         P::Fixed,
         P::Fixed,
         {45, 30},
         {45, 30},
         14,
         Qt::NoFocus,
         "x2",
         nullptr},
        {"mPushButtonPlay", "VPushButton", P::Fixed, P::Fixed, {105, 30}, {105, 30}, 14, Qt::NoFocus, "", ""},
        {"mSliderMetro", "QSlider", P::Preferred, P::Fixed, {0, 28}, {M, 28}, 14, Qt::NoFocus, nullptr, ""},
        {"mChkTimeStretch",
         "VCheckBox",
         P::Fixed,
         P::Preferred,
         {140, 0},
         {140, M},
         14,
         Qt::NoFocus,
         "Time stretch",
         ""},
        {"mSectionLabel", "QLabel", P::Preferred, P::Fixed, {0, 18}, {M, 18}, 12, dflt, "Section", nullptr},
        {"mCmbTrimSec",
         "VComboBox",
         P::Preferred,
         P::Preferred,
         {105, 0},
         {105, M},
         14,
         Qt::NoFocus,
         nullptr,
         ""},
        {"mChkManual",
         "VCheckBox",
         P::Preferred,
         P::Preferred,
         {0, 0},
         {M, M},
         14,
         Qt::NoFocus,
         "Manual",
         ""},
        {"mBarLabel", "QLabel", P::Preferred, P::Fixed, {0, 18}, {M, 18}, 12, dflt, "Bar", nullptr},
        {"mSpinBars",
         "VSpinBox",
         P::Preferred,
         P::Preferred,
         {74, 30},
         {74, 30},
         0,
         Qt::ClickFocus,
         nullptr,
         ""},
        {"mWaveLabel", "QLabel", P::Preferred, P::Fixed, {0, 18}, {M, 18}, 12, dflt, "Wave file", nullptr},
        {"mCmbWav",
         "VComboBox",
         P::Preferred,
         P::Preferred,
         {0, 0},
         {M, M},
         0,
         Qt::NoFocus,
         nullptr,
         "select audio file for section assign"},
        {"mBtnImport", "VPushButton", P::Fixed, P::Fixed, {45, 30}, {45, 30}, 0, Qt::NoFocus, "", ""},
        {"mBtnUnlink", "VPushButton", P::Fixed, P::Fixed, {45, 30}, {45, 30}, 0, Qt::NoFocus, "", ""},
        {"mFrameWav", "VFrame", P::Preferred, P::Expanding, {630, 228}, none, 9, dflt, nullptr, nullptr},
        {"mScrollBar", "QScrollBar", P::Expanding, P::Fixed, {0, 17}, none, 0, dflt, nullptr, nullptr},
        {"mBtnHorZoomIn", "VPushButton", dflt, dflt, {24, 24}, {24, 24}, 0, Qt::NoFocus, "", ""},
        {"mBtnHorZoomOut", "VPushButton", dflt, dflt, {24, 24}, {24, 24}, 0, Qt::NoFocus, "", ""},
        {"mStartTimeLabel", "QLabel", dflt, dflt, none, none, 10, dflt, "Start time (sec.)", nullptr},
        {"mEndTimeLabel", "QLabel", dflt, dflt, none, none, 10, dflt, "End time (sec.)", nullptr},
        {"mLEditTrimStart",
         "VLineEdit",
         P::Preferred,
         P::Fixed,
         {0, 24},
         {M, 24},
         11,
         Qt::StrongFocus,
         "",
         ""},
        {"mLEditTrimEnd",
         "VLineEdit",
         P::Preferred,
         P::Fixed,
         {0, 24},
         {M, 24},
         11,
         Qt::StrongFocus,
         "",
         "trimming end point [sec.]"},
        {"mChkFade", "VCheckBox", P::Fixed, P::Preferred, {52, 0}, {52, M}, 10, Qt::NoFocus, "Fade", ""},
        {"mBtnShiftBeatPosition",
         "VPushButton",
         P::Preferred,
         P::Preferred,
         {160, 30},
         {M, 30},
         10,
         Qt::NoFocus,
         "Shift Beat Position",
         nullptr},
        {"mPickupLabel", "QLabel", P::Preferred, P::Preferred, none, none, 10, dflt, "Pickup", nullptr},
        {"mBeatLabel", "QLabel", P::Preferred, P::Fixed, {0, 24}, {M, 24}, 10, dflt, "Beat ", nullptr},
        {"mSpinPickup",
         "VSpinBox",
         P::Preferred,
         P::Fixed,
         {50, 24},
         {M, 24},
         11,
         Qt::ClickFocus,
         nullptr,
         "Number of beat pickup (half beat unit)"},
        {"mChkBlank", "VCheckBox", P::Fixed, P::Preferred, {57, 0}, {57, M}, 10, Qt::NoFocus, "Blank", ""},
        // Frames.
        {"mTopFrame", "QFrame", P::Preferred, P::Maximum, {0, 96}, {M, 93}, 0, dflt, nullptr, nullptr},
        {"mFrameProjectFile", "QFrame", P::Preferred, P::Fixed, {0, 40}, {M, 40}, 20, dflt, nullptr, nullptr},
        {"mBeatFrameTempo", "QFrame", P::Preferred, P::Fixed, {0, 40}, {M, 40}, 20, dflt, nullptr, nullptr},
        {"horizontalFrame", "QFrame", P::Preferred, P::Fixed, {0, 40}, {M, 40}, 14, dflt, nullptr, nullptr},
        {"horizontalFrame_2", "QFrame", P::Preferred, P::Fixed, {0, 40}, {M, 40}, 14, dflt, nullptr, nullptr},
        {"mMiddleVerticalLayoutMiddle", "QFrame", dflt, dflt, none, none, 14, dflt, nullptr, nullptr},
        {"mFrameSectionTop", "QFrame", P::Preferred, P::Fixed, {0, 65}, {M, 65}, 14, dflt, nullptr, nullptr},
        {"mSectionFrame", "QFrame", P::Fixed, P::Fixed, {108, 52}, {108, 52}, 0, dflt, nullptr, nullptr},
        {"mManualFrame", "QFrame", P::Preferred, P::Fixed, {92, 52}, {92, 52}, 0, dflt, nullptr, nullptr},
        {"mBarFrame", "QFrame", P::Fixed, P::Fixed, {80, 52}, {80, 52}, 0, dflt, nullptr, nullptr},
        {"mWaveFileFrame", "QFrame", P::Preferred, P::Fixed, {0, 52}, {M, 52}, 0, dflt, nullptr, nullptr},
        {"mFrameWavBase", "QFrame", P::Preferred, P::Preferred, none, none, 0, dflt, nullptr, nullptr},
        {"frame_3", "QFrame", dflt, dflt, none, none, 0, dflt, nullptr, nullptr},
        {"mScrollFrame", "QFrame", P::Preferred, P::Fixed, none, none, 0, dflt, nullptr, nullptr},
        {"mZoomFrame", "QFrame", P::Preferred, P::Preferred, {0, 0}, {M, M}, 0, dflt, nullptr, nullptr},
        {"mBottomVerticalFrame",
         "QFrame",
         P::Preferred,
         P::Fixed,
         {0, 64},
         {M, 64},
         10,
         dflt,
         nullptr,
         nullptr},
        {"mFrameCheckBox", "QFrame", P::Preferred, P::Fixed, {210, 50}, {M, 50}, 0, dflt, nullptr, nullptr},
        {"mFramePushButton", "QFrame", P::Preferred, P::Fixed, {0, 50}, {M, 50}, 0, dflt, nullptr, nullptr},
        {"mPickupFrame", "QFrame", P::Preferred, P::Fixed, {148, 50}, {M, 50}, 0, dflt, nullptr, nullptr},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        QWidget* w = widget(r.name);
        ASSERT_TRUE(w);
        EXPECT_STREQ(w->metaObject()->className(), r.className);
        if (r.hPolicy >= 0) {
            EXPECT_EQ(w->sizePolicy().horizontalPolicy(), r.hPolicy);
            EXPECT_EQ(w->sizePolicy().verticalPolicy(), r.vPolicy);
        }
        if (r.min.width() >= 0) {
            EXPECT_EQ(w->minimumSize(), r.min);
        }
        if (r.max.width() >= 0) {
            EXPECT_EQ(w->maximumSize(), r.max);
        }
        if (r.pointSize) {
            EXPECT_EQ(w->font().pointSize(), r.pointSize);
        }
        if (r.focus >= 0) {
            EXPECT_EQ(w->focusPolicy(), r.focus);
        }
        if (r.text) {
            EXPECT_EQ(w->property("text").toString(), QString(r.text));
        }
        if (r.toolTip) {
            EXPECT_EQ(w->toolTip(), QString(r.toolTip));
        }
    }
    EXPECT_EQ(window.objectName(), "MainWindow");
    EXPECT_EQ(window.size(), QSize(666, 571));
    EXPECT_EQ(window.font().family(), "Arial");
    EXPECT_EQ(window.font().pointSize(), 9);
    EXPECT_EQ(window.windowTitle(), "MainWindow");
    EXPECT_EQ(ui.statusBar->font().family(), "Arial");
    EXPECT_EQ(ui.menuBar->geometry(), QRect(0, 0, 666, 24));
    EXPECT_TRUE(ui.mBtnImport->font().bold());
    EXPECT_TRUE(ui.mBtnUnlink->font().bold());
}

TEST_F(Form, ControlsStartInTheirInitialState)
{
    struct Range {
        QSpinBox* spin;
        int minimum, maximum, value;
    };
    for (const Range& r : {Range {ui.mSpinTempo, 5, 500, 120}, Range {ui.mSpinBars, 1, 999, 1},
                           Range {ui.mSpinPickup, 0, 99, 0}}) {
        SCOPED_TRACE(r.spin->objectName().toStdString());
        EXPECT_EQ(r.spin->minimum(), r.minimum);
        EXPECT_EQ(r.spin->maximum(), r.maximum);
        EXPECT_EQ(r.spin->value(), r.value);
        EXPECT_EQ(r.spin->alignment(), Qt::AlignCenter);
        EXPECT_TRUE(r.spin->prefix().isEmpty());
        EXPECT_TRUE(r.spin->suffix().isEmpty());
    }
    for (QAbstractButton* b : std::vector<QAbstractButton*> {ui.mChkClick, ui.mChkTimeStretch})
        EXPECT_TRUE(b->isChecked()) << b->objectName().toStdString();
    for (QAbstractButton* b : std::vector<QAbstractButton*> {ui.mChkManual, ui.mChkFade, ui.mChkBlank})
        EXPECT_FALSE(b->isChecked()) << b->objectName().toStdString();
    EXPECT_FALSE(ui.mChkFade->isTristate());
    EXPECT_EQ(ui.mSliderMetro->orientation(), Qt::Horizontal);
    EXPECT_EQ(ui.mSliderMetro->minimum(), 0);
    EXPECT_EQ(ui.mSliderMetro->maximum(), 100);
    EXPECT_EQ(ui.mSliderMetro->value(), 100);
    EXPECT_TRUE(ui.mLEditProjectFileName->isReadOnly());
    EXPECT_EQ(ui.mLEditBeat->alignment(), Qt::AlignCenter);
    EXPECT_FALSE(ui.mLEditTrimStart->isClearButtonEnabled());
    EXPECT_EQ(ui.mCmbWav->count(), 0);
    EXPECT_FALSE(ui.mCmbWav->isEditable());
    EXPECT_TRUE(ui.mCmbWav->currentText().isEmpty());
    EXPECT_TRUE(ui.mFrameWav->hasMouseTracking());
    EXPECT_FALSE(ui.mFrameWav->autoFillBackground());
    EXPECT_EQ(ui.mFrameWav->m_pReceiver, nullptr);
    EXPECT_EQ(ui.mChkManual->iconSize(), QSize(16, 16));
    EXPECT_FALSE(window.hasMouseTracking());
    EXPECT_EQ(ui.mTopFrame->frameShape(), QFrame::StyledPanel);
    EXPECT_EQ(ui.mFrameWavBase->frameShape(), QFrame::Panel);
    EXPECT_EQ(ui.mFrameWavBase->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(ui.mLabelTempo->alignment(), Qt::AlignRight | Qt::AlignVCenter);
    EXPECT_FALSE(ui.mLabelTempo->pixmap(Qt::ReturnByValue).isNull()) << "the tempo image is a resource";
    EXPECT_TRUE(ui.mBtnHorZoomIn->isFlat());
    EXPECT_FALSE(ui.mPushButtonPlay->isFlat());
    for (QAbstractButton* b :
         {ui.mPushButtonPlay, ui.mBtnImport, ui.mBtnUnlink, ui.mBtnHorZoomIn, ui.mBtnHorZoomOut})
        EXPECT_FALSE(b->icon().isNull()) << b->objectName().toStdString();
    EXPECT_EQ(ui.mLEditTrimStart->nextInFocusChain(), ui.mLEditTrimEnd);
}

TEST_F(Form, SectionComboHoldsTheFifteenSectionsAfterEveryTranslation)
{
    const QStringList names = {"Intro 1",   "Intro 2", "Intro 3",   "Main A",    "Main B",
                               "Main C",    "Main D",  "Fill in A", "Fill in B", "Fill in C",
                               "Fill in D", "Break",   "Ending 1",  "Ending 2",  "Ending 3"};
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass);
        if (pass)
            ui.retranslateUi(&window);
        ASSERT_EQ(ui.mCmbTrimSec->count(), 15);
        for (int i = 0; i < 15; ++i)
            EXPECT_EQ(ui.mCmbTrimSec->itemText(i), names[i]);
    }
    ui.mCmbTrimSec->setCurrentIndex(0);
    EXPECT_EQ(ui.mCmbTrimSec->currentIndex(), 0);
    EXPECT_EQ(ui.mCmbTrimSec->maxVisibleItems(), 18);
    EXPECT_TRUE(ui.mCmbTrimSec->hasFrame());
}

TEST_F(Form, SetupLeavesItemZeroCurrent)
{
    EXPECT_EQ(ui.mCmbTrimSec->currentIndex(), 0);
    EXPECT_EQ(ui.mCmbTrimSec->currentText(), "Intro 1");
}

TEST_F(Form, ActionsMenusAndSeparators)
{
    struct ActionRow {
        QAction* action;
        const char* name;
        const char* text;
        const char* shortcut;
        QMenu* menu;
    };
    const ActionRow actions[] = {
        {ui.actionNewAudioStyleProject, "actionNewAudioStyleProject", "New Audio Style Project", "Ctrl+N",
         ui.menuFile},
        {ui.actionNewAudioStyleProject_with_Import, "actionNewAudioStyleProject_with_Import",
         "New Audio Style Project with Importing Audio ...", "Ctrl+I", ui.menuFile},
        {ui.actionOpenAudioStyleProject, "actionOpenAudioStyleProject", "Open Audio Style Project ...",
         "Ctrl+O", ui.menuFile},
        {ui.actionSaveAudioStyleProject, "actionSaveAudioStyleProject", "Save Audio Style Project", "Ctrl+S",
         ui.menuFile},
        {ui.actionSaveAudioStyleProject_as, "actionSaveAudioStyleProject_as",
         "Save Audio Style Project as ...", "Ctrl+Shift+S", ui.menuFile},
        {ui.actionExport_as_AudioStyleFile, "actionExport_as_AudioStyleFile",
         "Export as Audio Style File ...", "Ctrl+E", ui.menuFile},
        {ui.actionQuit, "actionQuit", "Quit", "Ctrl+Q", ui.menuFile},
        {ui.actionUndo, "actionUndo", "Undo", "Ctrl+Z", ui.menuEdit},
        {ui.actionRedo, "actionRedo", "Redo", "Ctrl+Y", ui.menuEdit},
        {ui.actionAbout, "actionAbout", "About ...", "", ui.menuHelp},
        {ui.actionAudioDeviceSetting, "actionAudioDeviceSetting", "Audio Device Setting ...", "",
         ui.menuSetting},
        {ui.actionSelectAll, "actionSelectAll", "Select all", "Ctrl+A", nullptr},
        {ui.actionSelectClear, "actionSelectClear", "Select clear", "Ctrl+Shift+A", nullptr},
    };
    for (const ActionRow& a : actions) {
        SCOPED_TRACE(a.name);
        ASSERT_TRUE(a.action);
        EXPECT_EQ(a.action->objectName(), a.name);
        EXPECT_EQ(a.action->parent(), &window);
        EXPECT_EQ(a.action->text(), a.text);
        EXPECT_EQ(a.action->shortcut().toString(), a.shortcut);
        if (a.menu) {
            EXPECT_EQ(a.action->associatedWidgets(), QList<QWidget*> {a.menu});
        } else {
            EXPECT_TRUE(a.action->associatedWidgets().isEmpty()) << "its shortcut must never fire by itself";
        }
    }

    QStringList titles;
    for (QAction* a : ui.menuBar->actions())
        titles << a->text();
    EXPECT_EQ(titles, QStringList({"File", "Edit", "Setting", "Help"}));
    EXPECT_EQ(window.menuBar(), ui.menuBar);
    EXPECT_EQ(window.statusBar(), ui.statusBar);

    const QList<QAction*> file = ui.menuFile->actions();
    ASSERT_EQ(file.size(), 9);
    for (int i = 0; i < file.size(); ++i)
        EXPECT_EQ(file[i]->isSeparator(), i == 3 || i == 7) << "entry " << i;
    EXPECT_EQ(file[8], ui.actionQuit);
}

}  // namespace
