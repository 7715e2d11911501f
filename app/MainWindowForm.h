#pragma once
// The main window's widget tree, menus and actions. The form holds no
// behaviour: setupUi builds everything on the window it is given (every
// object is parented there, Qt deletes it with the window) and retranslateUi
// sets every visible text. The window adds titles, validators, filters and
// all connections itself; its slots do not follow the automatic naming, so
// the by-name connection at the end of setupUi connects nothing.
//
// Members are declared in creation order: actions, then the widget tree
// depth first (each container, its layout, the layout's items), then the
// status bar, the menu bar and its menus.
#include "StyledWidgets.h"

#include <QAction>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QSlider>
#include <QSpacerItem>
#include <QStatusBar>
#include <QVBoxLayout>
#include <QWidget>

class Ui_MainWindow {
public:
    QAction* actionNewAudioStyleProject;
    QAction* actionNewAudioStyleProject_with_Import;
    QAction* actionOpenAudioStyleProject;
    QAction* actionSaveAudioStyleProject;
    QAction* actionSaveAudioStyleProject_as;
    QAction* actionExport_as_AudioStyleFile;
    QAction* actionQuit;
    QAction* actionUndo;
    QAction* actionRedo;
    QAction* actionAbout;
    QAction* actionAudioDeviceSetting;
    QAction* actionSelectAll;
    QAction* actionSelectClear;
    QWidget* centralWidget;
    QVBoxLayout* verticalLayout_2;
    QVBoxLayout* mVerticalLayout;
    QFrame* mTopFrame;
    QGridLayout* gridLayout_2;
    QFrame* mFrameProjectFile;
    QHBoxLayout* horizontalLayout_3;
    QLineEdit* mLEditProjectFileName;
    QSpacerItem* horizontalSpacer;
    QFrame* mBeatFrameTempo;
    QHBoxLayout* horizontalLayout_2;
    VLineEdit* mLEditBeat;
    QLabel* mLabelTempo;
    VSpinBox* mSpinTempo;
    QSpacerItem* horizontalSpacer_2;
    QFrame* horizontalFrame_2;
    QHBoxLayout* mBeatFrameClick;
    VCheckBox* mChkClick;
    VPushButton* mBtnBeatAnaHalf;
    VPushButton* mBtnBeatAnaDouble;
    QSpacerItem* horizontalSpacer_3;
    QFrame* horizontalFrame;
    QHBoxLayout* mProjectParameterFrame;
    VPushButton* mPushButtonPlay;
    QSlider* mSliderMetro;
    QSpacerItem* horizontalSpacer_4;
    VCheckBox* mChkTimeStretch;
    QSpacerItem* horizontalSpacer_5;
    QFrame* mMiddleVerticalLayoutMiddle;
    QVBoxLayout* mVerticalLayoutMiddle;
    QFrame* mFrameSectionTop;
    QHBoxLayout* horizontalLayout;
    QFrame* mSectionFrame;
    QVBoxLayout* verticalLayout_3;
    QLabel* mSectionLabel;
    VComboBox* mCmbTrimSec;
    QFrame* mManualFrame;
    QVBoxLayout* verticalLayout_5;
    QSpacerItem* verticalSpacer;
    VCheckBox* mChkManual;
    QFrame* mBarFrame;
    QVBoxLayout* verticalLayout_4;
    QLabel* mBarLabel;
    VSpinBox* mSpinBars;
    QFrame* mWaveFileFrame;
    QGridLayout* gridLayout_3;
    QLabel* mWaveLabel;
    VPushButton* mBtnImport;
    VComboBox* mCmbWav;
    VPushButton* mBtnUnlink;
    QSpacerItem* horizontalSpacer_6;
    QFrame* mFrameWavBase;
    QVBoxLayout* verticalLayout;
    VFrame* mFrameWav;
    QFrame* frame_3;
    QFrame* mScrollFrame;
    QHBoxLayout* horizontalLayout_7;
    QScrollBar* mScrollBar;
    QFrame* mZoomFrame;
    QHBoxLayout* horizontalLayout_9;
    VPushButton* mBtnHorZoomIn;
    VPushButton* mBtnHorZoomOut;
    QFrame* mBottomVerticalFrame;
    QHBoxLayout* mBottomHorizontalLayout;
    QFrame* mFrameCheckBox;
    QGridLayout* gridLayout;
    QLabel* mEndTimeLabel;
    QLabel* mStartTimeLabel;
    VLineEdit* mLEditTrimStart;
    VLineEdit* mLEditTrimEnd;
    VCheckBox* mChkFade;
    QSpacerItem* horizontalSpacer_7;
    QFrame* mFramePushButton;
    QGridLayout* gridLayout_5;
    VPushButton* mBtnShiftBeatPosition;
    QSpacerItem* horizontalSpacer_8;
    QSpacerItem* horizontalSpacer_9;
    QFrame* mPickupFrame;
    QGridLayout* gridLayout_4;
    QLabel* mPickupLabel;
    QLabel* mBeatLabel;
    VSpinBox* mSpinPickup;
    VCheckBox* mChkBlank;
    QStatusBar* statusBar;
    QMenuBar* menuBar;
    QMenu* menuFile;
    QMenu* menuEdit;
    QMenu* menuHelp;
    QMenu* menuSetting;

    void setupUi(QMainWindow* MainWindow);
    // Sets every text through translation in the context "MainWindow";
    // clears and refills the section combo, so calling it again keeps 15.
    void retranslateUi(QMainWindow* MainWindow);

private:
    void setupTopFrame();
    void setupMiddleFrame();
    void setupBottomFrame();
    void setupMenus(QMainWindow* MainWindow);
};

namespace Ui {
class MainWindow : public Ui_MainWindow { };
}  // namespace Ui
