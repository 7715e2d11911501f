#include "MainWindowForm.h"

#include "FormBuild.h"

#include <QCoreApplication>
#include <QIcon>
#include <QMetaObject>
#include <QPixmap>

namespace {

using namespace formbuild;

QString tr(const char* text)
{
    return QCoreApplication::translate("MainWindow", text, nullptr);
}

}  // namespace

void Ui_MainWindow::setupUi(QMainWindow* MainWindow)
{
    if (MainWindow->objectName().isEmpty())
        MainWindow->setObjectName(QString::fromUtf8("MainWindow"));
    MainWindow->resize(666, 571);
    QFont windowFont;
    windowFont.setFamily(QString::fromUtf8("Arial"));
    windowFont.setPointSize(9);
    MainWindow->setFont(windowFont);
    MainWindow->setMouseTracking(false);

    actionNewAudioStyleProject = makeAction(MainWindow, "actionNewAudioStyleProject");
    actionNewAudioStyleProject_with_Import = makeAction(MainWindow, "actionNewAudioStyleProject_with_Import");
    actionOpenAudioStyleProject = makeAction(MainWindow, "actionOpenAudioStyleProject");
    actionSaveAudioStyleProject = makeAction(MainWindow, "actionSaveAudioStyleProject");
    actionSaveAudioStyleProject_as = makeAction(MainWindow, "actionSaveAudioStyleProject_as");
    actionExport_as_AudioStyleFile = makeAction(MainWindow, "actionExport_as_AudioStyleFile");
    actionQuit = makeAction(MainWindow, "actionQuit");
    actionUndo = makeAction(MainWindow, "actionUndo");
    actionRedo = makeAction(MainWindow, "actionRedo");
    actionAbout = makeAction(MainWindow, "actionAbout");
    actionAudioDeviceSetting = makeAction(MainWindow, "actionAudioDeviceSetting");
    actionSelectAll = makeAction(MainWindow, "actionSelectAll");
    actionSelectClear = makeAction(MainWindow, "actionSelectClear");

    centralWidget = make<QWidget>(MainWindow, "centralWidget");
    policy(centralWidget, P::Preferred, P::Preferred);
    verticalLayout_2 = makeLayout<QVBoxLayout>(centralWidget, "verticalLayout_2", 4, 9, 9, 9, 9);
    mVerticalLayout = new QVBoxLayout();
    mVerticalLayout->setSpacing(4);
    mVerticalLayout->setObjectName(QString::fromUtf8("mVerticalLayout"));
    setupTopFrame();
    setupMiddleFrame();
    setupBottomFrame();
    verticalLayout_2->addLayout(mVerticalLayout);
    MainWindow->setCentralWidget(centralWidget);

    setupMenus(MainWindow);
    QWidget::setTabOrder(mLEditTrimStart, mLEditTrimEnd);

    menuBar->addAction(menuFile->menuAction());
    menuBar->addAction(menuEdit->menuAction());
    menuBar->addAction(menuSetting->menuAction());
    menuBar->addAction(menuHelp->menuAction());
    menuFile->addAction(actionNewAudioStyleProject);
    menuFile->addAction(actionNewAudioStyleProject_with_Import);
    menuFile->addAction(actionOpenAudioStyleProject);
    menuFile->addSeparator();
    menuFile->addAction(actionSaveAudioStyleProject);
    menuFile->addAction(actionSaveAudioStyleProject_as);
    menuFile->addAction(actionExport_as_AudioStyleFile);
    menuFile->addSeparator();
    menuFile->addAction(actionQuit);
    menuEdit->addAction(actionUndo);
    menuEdit->addAction(actionRedo);
    menuHelp->addAction(actionAbout);
    menuSetting->addAction(actionAudioDeviceSetting);

    retranslateUi(MainWindow);
    mCmbTrimSec->setCurrentIndex(0);
    QMetaObject::connectSlotsByName(MainWindow);
}

void Ui_MainWindow::setupTopFrame()
{
    mTopFrame = make<QFrame>(centralWidget, "mTopFrame");
    policy(mTopFrame, P::Preferred, P::Maximum);
    // The maximum height lies three pixels below the minimum, set in this
    // order; the layout resolves it.
    mTopFrame->setMinimumSize(QSize(0, 96));
    mTopFrame->setMaximumSize(QSize(kMax, 93));
    look(mTopFrame, QFrame::StyledPanel, QFrame::Plain);
    gridLayout_2 = makeLayout<QGridLayout>(mTopFrame, "gridLayout_2", 4, 4, 4, 4, 4);

    mFrameProjectFile = make<QFrame>(mTopFrame, "mFrameProjectFile");
    policy(mFrameProjectFile, P::Preferred, P::Fixed);
    limits(mFrameProjectFile, 0, 40, kMax, 40);
    pointSize(mFrameProjectFile, 20);
    look(mFrameProjectFile, QFrame::NoFrame, QFrame::Raised);
    horizontalLayout_3 = makeLayout<QHBoxLayout>(mFrameProjectFile, "horizontalLayout_3", 4, 4, 2, 4, 2);
    mLEditProjectFileName = make<QLineEdit>(mFrameProjectFile, "mLEditProjectFileName");
    policy(mLEditProjectFileName, P::Expanding, P::Fixed);
    mLEditProjectFileName->setMinimumSize(QSize(180, 0));
    pointSize(mLEditProjectFileName, 20);
    mLEditProjectFileName->setFocusPolicy(Qt::NoFocus);
    mLEditProjectFileName->setReadOnly(true);
    horizontalLayout_3->addWidget(mLEditProjectFileName);
    horizontalSpacer = spacer(16, 20, P::Fixed, P::Minimum);
    horizontalLayout_3->addItem(horizontalSpacer);
    gridLayout_2->addWidget(mFrameProjectFile, 0, 0, 1, 1);

    mBeatFrameTempo = make<QFrame>(mTopFrame, "mBeatFrameTempo");
    policy(mBeatFrameTempo, P::Preferred, P::Fixed);
    limits(mBeatFrameTempo, 0, 40, kMax, 40);
    pointSize(mBeatFrameTempo, 20);
    look(mBeatFrameTempo, QFrame::NoFrame, QFrame::Raised);
    horizontalLayout_2 = makeLayout<QHBoxLayout>(mBeatFrameTempo, "horizontalLayout_2", 4, 4, 2, 4, 2);
    mLEditBeat = make<VLineEdit>(mBeatFrameTempo, "mLEditBeat");
    policy(mLEditBeat, P::Fixed, P::Fixed);
    limits(mLEditBeat, 65, 0, 65, kMax);
    pointSize(mLEditBeat, 20);
    mLEditBeat->setFocusPolicy(Qt::ClickFocus);
    mLEditBeat->setAlignment(Qt::AlignCenter);
    horizontalLayout_2->addWidget(mLEditBeat);
    mLabelTempo = make<QLabel>(mBeatFrameTempo, "mLabelTempo");
    limits(mLabelTempo, 24, 0, 24, kMax);
    pointSize(mLabelTempo, 20);
    mLabelTempo->setPixmap(QPixmap(QString::fromUtf8(":/img/tempo.png")));
    mLabelTempo->setAlignment(Qt::AlignRight | Qt::AlignTrailing | Qt::AlignVCenter);
    mLabelTempo->setTextInteractionFlags(Qt::NoTextInteraction);
    horizontalLayout_2->addWidget(mLabelTempo);
    mSpinTempo = make<VSpinBox>(mBeatFrameTempo, "mSpinTempo");
    policy(mSpinTempo, P::Fixed, P::Fixed);
    limits(mSpinTempo, 85, 35, kMax, 35);
    pointSize(mSpinTempo, 20);
    mSpinTempo->setFocusPolicy(Qt::ClickFocus);
    mSpinTempo->setAlignment(Qt::AlignCenter);
    mSpinTempo->setMinimum(5);
    mSpinTempo->setMaximum(500);
    mSpinTempo->setValue(120);
    horizontalLayout_2->addWidget(mSpinTempo);
    horizontalSpacer_2 = spacer(16, 20, P::Fixed, P::Minimum);
    horizontalLayout_2->addItem(horizontalSpacer_2);
    gridLayout_2->addWidget(mBeatFrameTempo, 0, 1, 1, 1);

    horizontalFrame_2 = make<QFrame>(mTopFrame, "horizontalFrame_2");
    policy(horizontalFrame_2, P::Preferred, P::Fixed);
    limits(horizontalFrame_2, 0, 40, kMax, 40);
    pointSize(horizontalFrame_2, 14);
    horizontalFrame_2->setFrameShadow(QFrame::Raised);
    mBeatFrameClick = makeLayout<QHBoxLayout>(horizontalFrame_2, "mBeatFrameClick", 4, 4, 2, 4, 2);
    mChkClick = make<VCheckBox>(horizontalFrame_2, "mChkClick");
    policy(mChkClick, P::Fixed, P::Preferred);
    limits(mChkClick, 71, 0, 71, kMax);
    pointSize(mChkClick, 14);
    mChkClick->setFocusPolicy(Qt::NoFocus);
    mChkClick->setChecked(true);
    mBeatFrameClick->addWidget(mChkClick);
    mBtnBeatAnaHalf = make<VPushButton>(horizontalFrame_2, "mBtnBeatAnaHalf");
    policy(mBtnBeatAnaHalf, P::Fixed, P::Fixed);
    limits(mBtnBeatAnaHalf, 45, 30, 45, 30);
    pointSize(mBtnBeatAnaHalf, 14);
    mBtnBeatAnaHalf->setFocusPolicy(Qt::NoFocus);
    mBeatFrameClick->addWidget(mBtnBeatAnaHalf);
    mBtnBeatAnaDouble = make<VPushButton>(horizontalFrame_2, "mBtnBeatAnaDouble");
    policy(mBtnBeatAnaDouble, P::Fixed, P::Fixed);
    limits(mBtnBeatAnaDouble, 45, 30, 45, 30);
    pointSize(mBtnBeatAnaDouble, 14);
    mBtnBeatAnaDouble->setFocusPolicy(Qt::NoFocus);
    mBeatFrameClick->addWidget(mBtnBeatAnaDouble);
    horizontalSpacer_3 = spacer(16, 20, P::Fixed, P::Minimum);
    mBeatFrameClick->addItem(horizontalSpacer_3);
    gridLayout_2->addWidget(horizontalFrame_2, 1, 1, 1, 1);

    horizontalFrame = make<QFrame>(mTopFrame, "horizontalFrame");
    policy(horizontalFrame, P::Preferred, P::Fixed);
    limits(horizontalFrame, 0, 40, kMax, 40);
    pointSize(horizontalFrame, 14);
    mProjectParameterFrame =
        makeLayout<QHBoxLayout>(horizontalFrame, "mProjectParameterFrame", 4, 5, 2, 4, 2);
    mPushButtonPlay = playButton<VPushButton>(horizontalFrame);
    mProjectParameterFrame->addWidget(mPushButtonPlay);
    mSliderMetro = metroSlider(horizontalFrame, P::Preferred);
    mProjectParameterFrame->addWidget(mSliderMetro);
    horizontalSpacer_4 = spacer(16, 20, P::Fixed, P::Minimum);
    mProjectParameterFrame->addItem(horizontalSpacer_4);
    mChkTimeStretch = make<VCheckBox>(horizontalFrame, "mChkTimeStretch");
    policy(mChkTimeStretch, P::Fixed, P::Preferred);
    limits(mChkTimeStretch, 140, 0, 140, kMax);
    pointSize(mChkTimeStretch, 14);
    mChkTimeStretch->setFocusPolicy(Qt::NoFocus);
    mChkTimeStretch->setChecked(true);
    mProjectParameterFrame->addWidget(mChkTimeStretch);
    horizontalSpacer_5 = spacer(16, 20, P::Fixed, P::Minimum);
    mProjectParameterFrame->addItem(horizontalSpacer_5);
    gridLayout_2->addWidget(horizontalFrame, 1, 0, 1, 1);

    mVerticalLayout->addWidget(mTopFrame);
}

void Ui_MainWindow::setupMiddleFrame()
{
    mMiddleVerticalLayoutMiddle = make<QFrame>(centralWidget, "mMiddleVerticalLayoutMiddle");
    pointSize(mMiddleVerticalLayoutMiddle, 14);
    mMiddleVerticalLayoutMiddle->setFrameShape(QFrame::StyledPanel);
    mVerticalLayoutMiddle =
        makeLayout<QVBoxLayout>(mMiddleVerticalLayoutMiddle, "mVerticalLayoutMiddle", 1, 6, 1, 6, 1);

    mFrameSectionTop = make<QFrame>(mMiddleVerticalLayoutMiddle, "mFrameSectionTop");
    policy(mFrameSectionTop, P::Preferred, P::Fixed);
    limits(mFrameSectionTop, 0, 65, kMax, 65);
    pointSize(mFrameSectionTop, 14);
    look(mFrameSectionTop, QFrame::NoFrame, QFrame::Raised);
    horizontalLayout = makeLayout<QHBoxLayout>(mFrameSectionTop, "horizontalLayout", 2, 2, 1, 2, 1);

    mSectionFrame = make<QFrame>(mFrameSectionTop, "mSectionFrame");
    policy(mSectionFrame, P::Fixed, P::Fixed);
    limits(mSectionFrame, 108, 52, 108, 52);
    look(mSectionFrame, QFrame::NoFrame, QFrame::Raised);
    verticalLayout_3 = makeLayout<QVBoxLayout>(mSectionFrame, "verticalLayout_3", 2, 2, 1, 0, 1);
    mSectionLabel = make<QLabel>(mSectionFrame, "mSectionLabel");
    policy(mSectionLabel, P::Preferred, P::Fixed);
    limits(mSectionLabel, 0, 18, kMax, 18);
    pointSize(mSectionLabel, 12);
    mSectionLabel->setIndent(2);
    verticalLayout_3->addWidget(mSectionLabel);
    mCmbTrimSec = make<VComboBox>(mSectionFrame, "mCmbTrimSec");
    policy(mCmbTrimSec, P::Preferred, P::Preferred);
    limits(mCmbTrimSec, 105, 0, 105, kMax);
    pointSize(mCmbTrimSec, 14);
    mCmbTrimSec->setFocusPolicy(Qt::NoFocus);
    mCmbTrimSec->setMaxVisibleItems(18);
    mCmbTrimSec->setFrame(true);
    verticalLayout_3->addWidget(mCmbTrimSec);
    horizontalLayout->addWidget(mSectionFrame, 0, Qt::AlignVCenter);

    mManualFrame = make<QFrame>(mFrameSectionTop, "mManualFrame");
    policy(mManualFrame, P::Preferred, P::Fixed);
    limits(mManualFrame, 92, 52, 92, 52);
    look(mManualFrame, QFrame::NoFrame, QFrame::Raised);
    verticalLayout_5 = makeLayout<QVBoxLayout>(mManualFrame, "verticalLayout_5", 2, 2, 1, 2, 1);
    verticalSpacer = spacer(20, 18, P::Minimum, P::Fixed);
    verticalLayout_5->addItem(verticalSpacer);
    mChkManual = make<VCheckBox>(mManualFrame, "mChkManual");
    policy(mChkManual, P::Preferred, P::Preferred);
    limits(mChkManual, 0, 0, kMax, kMax);
    pointSize(mChkManual, 14);
    mChkManual->setFocusPolicy(Qt::NoFocus);
    mChkManual->setIconSize(QSize(16, 16));
    mChkManual->setChecked(false);
    verticalLayout_5->addWidget(mChkManual);
    horizontalLayout->addWidget(mManualFrame);

    mBarFrame = make<QFrame>(mFrameSectionTop, "mBarFrame");
    policy(mBarFrame, P::Fixed, P::Fixed);
    limits(mBarFrame, 80, 52, 80, 52);
    look(mBarFrame, QFrame::NoFrame, QFrame::Raised);
    verticalLayout_4 = makeLayout<QVBoxLayout>(mBarFrame, "verticalLayout_4", 2, 2, 1, 2, 0);
    mBarLabel = make<QLabel>(mBarFrame, "mBarLabel");
    policy(mBarLabel, P::Preferred, P::Fixed);
    limits(mBarLabel, 0, 18, kMax, 18);
    pointSize(mBarLabel, 12);
    mBarLabel->setIndent(2);
    verticalLayout_4->addWidget(mBarLabel);
    mSpinBars = make<VSpinBox>(mBarFrame, "mSpinBars");
    policy(mSpinBars, P::Preferred, P::Preferred);
    limits(mSpinBars, 74, 30, 74, 30);
    mSpinBars->setFocusPolicy(Qt::ClickFocus);
    mSpinBars->setAlignment(Qt::AlignCenter);
    mSpinBars->setMinimum(1);
    mSpinBars->setMaximum(999);
    mSpinBars->setValue(1);
    verticalLayout_4->addWidget(mSpinBars);
    horizontalLayout->addWidget(mBarFrame);

    mWaveFileFrame = make<QFrame>(mFrameSectionTop, "mWaveFileFrame");
    policy(mWaveFileFrame, P::Preferred, P::Fixed);
    limits(mWaveFileFrame, 0, 52, kMax, 52);
    look(mWaveFileFrame, QFrame::NoFrame, QFrame::Raised);
    gridLayout_3 = makeLayout<QGridLayout>(mWaveFileFrame, "gridLayout_3", 6, 2, 1, 2, 1);
    gridLayout_3->setHorizontalSpacing(4);
    gridLayout_3->setVerticalSpacing(2);
    mWaveLabel = make<QLabel>(mWaveFileFrame, "mWaveLabel");
    policy(mWaveLabel, P::Preferred, P::Fixed);
    limits(mWaveLabel, 0, 18, kMax, 18);
    pointSize(mWaveLabel, 12);
    mWaveLabel->setIndent(2);
    gridLayout_3->addWidget(mWaveLabel, 0, 0, 1, 1);
    mBtnImport = make<VPushButton>(mWaveFileFrame, "mBtnImport");
    policy(mBtnImport, P::Fixed, P::Fixed);
    limits(mBtnImport, 45, 30, 45, 30);
    QFont importFont;
    importFont.setBold(true);
    importFont.setWeight(75);
    mBtnImport->setFont(importFont);
    mBtnImport->setFocusPolicy(Qt::NoFocus);
    mBtnImport->setIcon(iconFrom(":/img/plus.png"));
    gridLayout_3->addWidget(mBtnImport, 1, 1, 1, 1);
    mCmbWav = make<VComboBox>(mWaveFileFrame, "mCmbWav");
    policy(mCmbWav, P::Preferred, P::Preferred);
    limits(mCmbWav, 0, 0, kMax, kMax);
    mCmbWav->setFocusPolicy(Qt::NoFocus);
    mCmbWav->setEditable(false);
    mCmbWav->setCurrentText(QString());
    gridLayout_3->addWidget(mCmbWav, 1, 0, 1, 1);
    mBtnUnlink = make<VPushButton>(mWaveFileFrame, "mBtnUnlink");
    policy(mBtnUnlink, P::Fixed, P::Fixed);
    limits(mBtnUnlink, 45, 30, 45, 30);
    QFont unlinkFont;
    unlinkFont.setBold(true);
    unlinkFont.setItalic(false);
    unlinkFont.setWeight(75);
    mBtnUnlink->setFont(unlinkFont);
    mBtnUnlink->setFocusPolicy(Qt::NoFocus);
    mBtnUnlink->setIcon(iconFrom(":/img/minus.png"));
    gridLayout_3->addWidget(mBtnUnlink, 1, 2, 1, 1);
    horizontalSpacer_6 = spacer(40, 18, P::Expanding, P::Minimum);
    gridLayout_3->addItem(horizontalSpacer_6, 0, 1, 1, 2);
    horizontalLayout->addWidget(mWaveFileFrame);

    mVerticalLayoutMiddle->addWidget(mFrameSectionTop);

    mFrameWavBase = make<QFrame>(mMiddleVerticalLayoutMiddle, "mFrameWavBase");
    policy(mFrameWavBase, P::Preferred, P::Preferred);
    look(mFrameWavBase, QFrame::Panel, QFrame::Sunken);
    verticalLayout = makeLayout<QVBoxLayout>(mFrameWavBase, "verticalLayout", 0, 0, 0, 0, 0);
    mFrameWav = make<VFrame>(mFrameWavBase, "mFrameWav");
    policy(mFrameWav, P::Preferred, P::Expanding);
    mFrameWav->setMinimumSize(QSize(630, 228));
    pointSize(mFrameWav, 9);
    mFrameWav->setCursor(QCursor(Qt::ArrowCursor));
    mFrameWav->setMouseTracking(true);
    mFrameWav->setAutoFillBackground(false);
    verticalLayout->addWidget(mFrameWav);
    frame_3 = make<QFrame>(mFrameWavBase, "frame_3");
    look(frame_3, QFrame::StyledPanel, QFrame::Raised);
    verticalLayout->addWidget(frame_3);
    mVerticalLayoutMiddle->addWidget(mFrameWavBase);

    scrollRow(mMiddleVerticalLayoutMiddle, P::Preferred, 2, mScrollFrame, horizontalLayout_7, mScrollBar,
              mZoomFrame, horizontalLayout_9, mBtnHorZoomIn, mBtnHorZoomOut);
    mVerticalLayoutMiddle->addWidget(mScrollFrame);

    mVerticalLayout->addWidget(mMiddleVerticalLayoutMiddle);
}

void Ui_MainWindow::setupBottomFrame()
{
    mBottomVerticalFrame = make<QFrame>(centralWidget, "mBottomVerticalFrame");
    policy(mBottomVerticalFrame, P::Preferred, P::Fixed);
    limits(mBottomVerticalFrame, 0, 64, kMax, 64);
    pointSize(mBottomVerticalFrame, 10);
    mBottomVerticalFrame->setFrameShape(QFrame::StyledPanel);
    mBottomHorizontalLayout =
        makeLayout<QHBoxLayout>(mBottomVerticalFrame, "mBottomHorizontalLayout", 2, 2, 1, 2, 1);

    mFrameCheckBox = make<QFrame>(mBottomVerticalFrame, "mFrameCheckBox");
    policy(mFrameCheckBox, P::Preferred, P::Fixed);
    limits(mFrameCheckBox, 210, 50, kMax, 50);
    look(mFrameCheckBox, QFrame::NoFrame, QFrame::Raised);
    gridLayout = makeLayout<QGridLayout>(mFrameCheckBox, "gridLayout", 2, 2, 1, 2, 1);
    mEndTimeLabel = make<QLabel>(mFrameCheckBox, "mEndTimeLabel");
    pointSize(mEndTimeLabel, 10);
    mEndTimeLabel->setIndent(2);
    gridLayout->addWidget(mEndTimeLabel, 0, 1, 1, 1);
    mStartTimeLabel = make<QLabel>(mFrameCheckBox, "mStartTimeLabel");
    pointSize(mStartTimeLabel, 10);
    mStartTimeLabel->setIndent(2);
    gridLayout->addWidget(mStartTimeLabel, 0, 0, 1, 1);
    mLEditTrimStart = make<VLineEdit>(mFrameCheckBox, "mLEditTrimStart");
    policy(mLEditTrimStart, P::Preferred, P::Fixed);
    limits(mLEditTrimStart, 0, 24, kMax, 24);
    pointSize(mLEditTrimStart, 11);
    mLEditTrimStart->setFocusPolicy(Qt::StrongFocus);
    mLEditTrimStart->setInputMask(QString());
    mLEditTrimStart->setClearButtonEnabled(false);
    gridLayout->addWidget(mLEditTrimStart, 2, 0, 1, 1);
    mLEditTrimEnd = make<VLineEdit>(mFrameCheckBox, "mLEditTrimEnd");
    policy(mLEditTrimEnd, P::Preferred, P::Fixed);
    limits(mLEditTrimEnd, 0, 24, kMax, 24);
    pointSize(mLEditTrimEnd, 11);
    mLEditTrimEnd->setFocusPolicy(Qt::StrongFocus);
    mLEditTrimEnd->setPlaceholderText(QString());
    gridLayout->addWidget(mLEditTrimEnd, 2, 1, 1, 1);
    mChkFade = make<VCheckBox>(mFrameCheckBox, "mChkFade");
    policy(mChkFade, P::Fixed, P::Preferred);
    limits(mChkFade, 52, 0, 52, kMax);
    pointSize(mChkFade, 10);
    mChkFade->setFocusPolicy(Qt::NoFocus);
    mChkFade->setChecked(false);
    mChkFade->setTristate(false);
    gridLayout->addWidget(mChkFade, 2, 2, 1, 1);
    mBottomHorizontalLayout->addWidget(mFrameCheckBox);

    horizontalSpacer_7 = spacer(100, 20, P::Preferred, P::Minimum);
    mBottomHorizontalLayout->addItem(horizontalSpacer_7);

    mFramePushButton = make<QFrame>(mBottomVerticalFrame, "mFramePushButton");
    policy(mFramePushButton, P::Preferred, P::Fixed);
    limits(mFramePushButton, 0, 50, kMax, 50);
    look(mFramePushButton, QFrame::NoFrame, QFrame::Raised);
    gridLayout_5 = makeLayout<QGridLayout>(mFramePushButton, "gridLayout_5", 6, 2, 1, 2, 1);
    gridLayout_5->setHorizontalSpacing(4);
    gridLayout_5->setVerticalSpacing(3);
    mBtnShiftBeatPosition = make<VPushButton>(mFramePushButton, "mBtnShiftBeatPosition");
    policy(mBtnShiftBeatPosition, P::Preferred, P::Preferred);
    limits(mBtnShiftBeatPosition, 160, 30, kMax, 30);
    pointSize(mBtnShiftBeatPosition, 10);
    mBtnShiftBeatPosition->setFocusPolicy(Qt::NoFocus);
    gridLayout_5->addWidget(mBtnShiftBeatPosition, 1, 1, 1, 1);
    horizontalSpacer_8 = spacer(71, 12, P::Minimum, P::Fixed);
    gridLayout_5->addItem(horizontalSpacer_8, 0, 0, 1, 3);
    horizontalSpacer_9 = spacer(100, 20, P::Preferred, P::Minimum);
    mBottomHorizontalLayout->addWidget(mFramePushButton, 0, Qt::AlignBottom);
    mBottomHorizontalLayout->addItem(horizontalSpacer_9);

    mPickupFrame = make<QFrame>(mBottomVerticalFrame, "mPickupFrame");
    policy(mPickupFrame, P::Preferred, P::Fixed);
    limits(mPickupFrame, 148, 50, kMax, 50);
    look(mPickupFrame, QFrame::NoFrame, QFrame::Raised);
    gridLayout_4 = makeLayout<QGridLayout>(mPickupFrame, "gridLayout_4", 2, 2, 1, 2, 1);
    mPickupLabel = make<QLabel>(mPickupFrame, "mPickupLabel");
    policy(mPickupLabel, P::Preferred, P::Preferred);
    pointSize(mPickupLabel, 10);
    mPickupLabel->setIndent(2);
    gridLayout_4->addWidget(mPickupLabel, 0, 1, 1, 1);
    mBeatLabel = make<QLabel>(mPickupFrame, "mBeatLabel");
    policy(mBeatLabel, P::Preferred, P::Fixed);
    limits(mBeatLabel, 0, 24, kMax, 24);
    pointSize(mBeatLabel, 10);
    mBeatLabel->setIndent(2);
    gridLayout_4->addWidget(mBeatLabel, 1, 2, 1, 1);
    mSpinPickup = make<VSpinBox>(mPickupFrame, "mSpinPickup");
    policy(mSpinPickup, P::Preferred, P::Fixed);
    limits(mSpinPickup, 50, 24, kMax, 24);
    pointSize(mSpinPickup, 11);
    mSpinPickup->setFocusPolicy(Qt::ClickFocus);
    mSpinPickup->setAlignment(Qt::AlignCenter);
    mSpinPickup->setValue(0);
    gridLayout_4->addWidget(mSpinPickup, 1, 1, 1, 1);
    mChkBlank = make<VCheckBox>(mPickupFrame, "mChkBlank");
    policy(mChkBlank, P::Fixed, P::Preferred);
    limits(mChkBlank, 57, 0, 57, kMax);
    pointSize(mChkBlank, 10);
    mChkBlank->setFocusPolicy(Qt::NoFocus);
    mChkBlank->setChecked(false);
    gridLayout_4->addWidget(mChkBlank, 1, 0, 1, 1);
    mBottomHorizontalLayout->addWidget(mPickupFrame);

    mVerticalLayout->addWidget(mBottomVerticalFrame);
}

void Ui_MainWindow::setupMenus(QMainWindow* MainWindow)
{
    statusBar = make<QStatusBar>(MainWindow, "statusBar");
    QFont statusFont;
    statusFont.setFamily(QString::fromUtf8("Arial"));
    statusBar->setFont(statusFont);
    MainWindow->setStatusBar(statusBar);
    menuBar = make<QMenuBar>(MainWindow, "menuBar");
    menuBar->setGeometry(QRect(0, 0, 666, 24));
    menuFile = make<QMenu>(menuBar, "menuFile");
    menuEdit = make<QMenu>(menuBar, "menuEdit");
    menuHelp = make<QMenu>(menuBar, "menuHelp");
    menuSetting = make<QMenu>(menuBar, "menuSetting");
    MainWindow->setMenuBar(menuBar);
}

void Ui_MainWindow::retranslateUi(QMainWindow* MainWindow)
{
    MainWindow->setWindowTitle(tr("MainWindow"));
    actionNewAudioStyleProject->setText(tr("New Audio Style Project"));
    actionNewAudioStyleProject->setShortcut(QKeySequence(tr("Ctrl+N")));
    actionNewAudioStyleProject_with_Import->setText(tr("New Audio Style Project with Importing Audio ..."));
    actionNewAudioStyleProject_with_Import->setShortcut(QKeySequence(tr("Ctrl+I")));
    actionOpenAudioStyleProject->setText(tr("Open Audio Style Project ..."));
    actionOpenAudioStyleProject->setShortcut(QKeySequence(tr("Ctrl+O")));
    actionSaveAudioStyleProject->setText(tr("Save Audio Style Project"));
    actionSaveAudioStyleProject->setShortcut(QKeySequence(tr("Ctrl+S")));
    actionSaveAudioStyleProject_as->setText(tr("Save Audio Style Project as ..."));
    actionSaveAudioStyleProject_as->setShortcut(QKeySequence(tr("Ctrl+Shift+S")));
    actionExport_as_AudioStyleFile->setText(tr("Export as Audio Style File ..."));
    actionExport_as_AudioStyleFile->setShortcut(QKeySequence(tr("Ctrl+E")));
    actionQuit->setText(tr("Quit"));
    actionQuit->setShortcut(QKeySequence(tr("Ctrl+Q")));
    actionUndo->setText(tr("Undo"));
    actionUndo->setShortcut(QKeySequence(tr("Ctrl+Z")));
    actionRedo->setText(tr("Redo"));
    actionRedo->setShortcut(QKeySequence(tr("Ctrl+Y")));
    actionAbout->setText(tr("About ..."));
    actionAudioDeviceSetting->setText(tr("Audio Device Setting ..."));
    actionSelectAll->setText(tr("Select all"));
    actionSelectAll->setShortcut(QKeySequence(tr("Ctrl+A")));
    actionSelectClear->setText(tr("Select clear"));
    actionSelectClear->setShortcut(QKeySequence(tr("Ctrl+Shift+A")));

    mLEditProjectFileName->setToolTip(QString());
    mLEditProjectFileName->setText(QString());
    mLEditBeat->setToolTip(QString());
    mLEditBeat->setText(tr("4/4"));
    mLabelTempo->setText(QString());
    mSpinTempo->setToolTip(QString());
    mSpinTempo->setSuffix(QString());
    mSpinTempo->setPrefix(QString());
    mChkClick->setToolTip(QString());
    mChkClick->setText(tr("Click"));
    mBtnBeatAnaHalf->setToolTip(QString());
    mBtnBeatAnaHalf->setText(tr(" /2"));
    mBtnBeatAnaDouble->setText(tr("x2"));
    mPushButtonPlay->setToolTip(QString());
    mPushButtonPlay->setText(QString());
    mSliderMetro->setToolTip(QString());
    mChkTimeStretch->setToolTip(QString());
    mChkTimeStretch->setText(tr("Time stretch"));
    mSectionLabel->setText(tr("Section"));
    mCmbTrimSec->clear();
    mCmbTrimSec->insertItems(0, QStringList()
                                    << tr("Intro 1") << tr("Intro 2") << tr("Intro 3") << tr("Main A")
                                    << tr("Main B") << tr("Main C") << tr("Main D") << tr("Fill in A")
                                    << tr("Fill in B") << tr("Fill in C") << tr("Fill in D") << tr("Break")
                                    << tr("Ending 1") << tr("Ending 2") << tr("Ending 3"));
    mCmbTrimSec->setToolTip(QString());
    mChkManual->setToolTip(QString());
    mChkManual->setText(tr("Manual"));
    mBarLabel->setText(tr("Bar"));
    mSpinBars->setToolTip(QString());
    mSpinBars->setSuffix(QString());
    mSpinBars->setPrefix(QString());
    mWaveLabel->setText(tr("Wave file"));
    mCmbWav->setToolTip(tr("select audio file for section assign"));
    mBtnImport->setToolTip(QString());
    mBtnImport->setText(QString());
    mBtnUnlink->setToolTip(QString());
    mBtnUnlink->setText(QString());
    mBtnHorZoomIn->setToolTip(QString());
    mBtnHorZoomIn->setText(QString());
    mBtnHorZoomOut->setToolTip(QString());
    mBtnHorZoomOut->setText(QString());
    mEndTimeLabel->setText(tr("End time (sec.)"));
    mStartTimeLabel->setText(tr("Start time (sec.)"));
    mLEditTrimStart->setToolTip(QString());
    mLEditTrimStart->setText(QString());
    mLEditTrimEnd->setToolTip(tr("trimming end point [sec.]"));
    mLEditTrimEnd->setText(QString());
    mChkFade->setToolTip(QString());
    mChkFade->setText(tr("Fade"));
    mBtnShiftBeatPosition->setText(tr("Shift Beat Position"));
    mPickupLabel->setText(tr("Pickup"));
    mBeatLabel->setText(tr("Beat "));
    mSpinPickup->setToolTip(tr("Number of beat pickup (half beat unit)"));
    mSpinPickup->setSuffix(QString());
    mSpinPickup->setPrefix(QString());
    mChkBlank->setToolTip(QString());
    mChkBlank->setText(tr("Blank"));
    menuFile->setTitle(tr("File"));
    menuEdit->setTitle(tr("Edit"));
    menuHelp->setTitle(tr("Help"));
    menuSetting->setTitle(tr("Setting"));
}
