#pragma once
// The program's one main window. It owns the project engine for the whole
// run, a second engine used as a work copy, the audition player, the
// audio-file manager, the background jobs with their progress dialogs and
// the state the window's routines share. Every project operation of the
// window is a call on `mCore`.
//
// Built in this order: application names, icon, form, connections, status
// label, fonts, style, mouse tracking, section combo, trim validators, event
// filters, waveform view, preferences, template style, audio device, fade
// length of both engines, audio-file manager, drops, new project, start
// file. Torn down in this order: drop timer, view, preferences, audio
// device, audio-file manager, analysis thread, time-stretch window, the
// jobs' dialogs, threads and workers, then the members.
#include "CKRMcore.h"
#include "KRMAudition.h"
#include "MainWindowForm.h"

#include <QMainWindow>
#include <QProgressDialog>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class IF_audioFileMngr;
struct WindowGeometryKeys;
class WavSeeker_libSndFile;
class QLabel;
class QLineEdit;
class QStyle;
class QThread;

class MainWindow : public QMainWindow, public Ui::MainWindow {
    Q_OBJECT
public:
    // The engine the export copies the project into and checks there.
    class CKRMcoreWork : public CKRMcore {
    public:
        CKRMcoreWork() = default;
        ~CKRMcoreWork() override;
    };

    // The modal dialog of a background job. The user cannot close it while
    // the job runs: its close is refused until the job's receiving slot
    // sets may-close (the window's event filter also refuses Escape, Alt+F4
    // and resizing on it).
    class ProgressDialog : public QProgressDialog {
    public:
        explicit ProgressDialog(QWidget* parent = nullptr);
        void setMayClose(bool mayClose) { m_mayClose = mayClose; }
        bool mayClose() const { return m_mayClose; }

    protected:
        void closeEvent(QCloseEvent* event) override;

    private:
        bool m_mayClose = false;
    };

    // A handler of the event filter for one widget of the form; it sees the
    // event and never consumes it.
    using WidgetEventHandler = std::function<void(QObject* watched, QEvent* event)>;

    // `startFile`: a project to open after the new-project reset; empty for
    // none.
    explicit MainWindow(const QString& startFile);
    ~MainWindow() override;

    // Font helpers over the direct widget children of a widget.
    // Each child gets the font of `w` at 12 pixels.
    static void setFontToChildren(QWidget* w);
    // Each child of `parent` gets the font of `source` at 12 pixels.
    static void copyFontToChildren(QWidget* source, QWidget* parent);
    // Each child of `parent` keeps its own font at `px` pixels.
    static void setChildrenPixelSize(QWidget* parent, int px);

    // Fits a saved window rectangle into `available` (moved back onto it
    // with its size kept, cut to it when larger) and sets it as the window's
    // geometry; a rectangle of zero width or height is not applied (false).
    static bool applyWindowRect(QWidget* window, const QRect& saved, const QRect& available);
    // Writes the placement of `window` under `keys`: "Maximized" (the
    // translated "true" or "false"), its rectangle unless it is maximised or
    // minimised, its screen's number and available geometry.
    static void writeWindowGeometry(QWidget* window, const WindowGeometryKeys& keys);

    // The stored path of project audio file `index`, or an empty string for
    // an index outside the list.
    QString waveNameAt(int index);
    // Index of the first project audio file stored under exactly `path`, -1
    // when there is none.
    int waveIndexOf(const QString& path);

protected:
    // Opens the file of a QEvent::FileOpen as a project and returns true.
    bool event(QEvent* event) override;
    // Tooltips and trim-field behaviour of the form's widgets; keeps the
    // job windows from being closed, escaped or resized while a job runs.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private slots:
    void dropEventAsynchronousProcessingImportWav();
    void dropEventAsynchronousProcessingLoadPrj();
    void location();
    void analyzed();
    void analyzeErr();
    void analyzeProgress(uchar t, uchar c, uchar v);
    void releasedBtnOpenWav();
    void releasedBtnViewerWav();
    void releasedBtnHorZoomIn();
    void releasedBtnHorZoomOut();
    void releasedBtnPlayLoop();
    void releasedBtnPlayLoopTS();
    void releasedBtnStopped();
    void releasedBtnExportSty();
    void releasedBtnExportStyDone(ulong lErr);
    void releasedBtnExportStyErrorOnPreparation(ulong lErr);
    void releasedBtnImportAudio();
    void releasedBtnUnlinkAudio();
    void releasedBtnBeatToggleShift();
    void releasedBtnBeatAnaDouble();
    void releasedBtnBeatAnaHalf();
    void currentIdxChangedCmbTrimSec(int val);
    void currentIdxChangedCmbWav();
    void beatTextChanged(QString str);
    void beatEditingFinished();
    void valueChangedSpinTempo(int val);
    void valueChangedSpinBars(int val);
    void trimTextChanged(QLineEdit& lineEdit, QString str);
    void trimEditingFinished(QLineEdit& lineEdit);
    void trimStartTextChanged(QString str);
    void trimStartEditingFinished();
    void trimEndTextChanged(QString str);
    void trimEndEditingFinished();
    void valueChangedSliderMetro(int val);
    void clickedChkFade(bool checked);
    void clickedChkTimeStretch(bool checked);
    void clickedChkClick(bool checked);
    void clickedChkManual(bool checked);
    void clickedChkBlank(bool checked);
    void valueChangedSpinPickup(int val);
    void valueChangedScrollBar(int val);
    void timeStretchDone(ulong lErr, QString errorStr);
    void audioDeviceSetting();
    void newProject();
    void openProject();
    void saveProject();
    void saveProjectAs();
    void onSelectAll();
    void onClearAll();
    void undo();
    void redo();
    void openInformation();

private:
    friend struct MainWindowTestAccess;

    // Construction and teardown.
    void connectSignals();
    void setWidgetPixelSizes();
    void installWidgetFilters();
    void loadPreference();
    void savePreference();
    void findEmptyStyle();
    void openAudioDevice();
    void closeAudioDevice();

    // Event filtering.
    std::map<QObject*, WidgetEventHandler> widgetEventHandlers();
    void ignoreWidgetEvent(QObject* watched, QEvent* event);
    void beatToolTipHandler(QObject* watched, QEvent* event);
    void tempoToolTipHandler(QObject* watched, QEvent* event);
    void pickupToolTipHandler(QObject* watched, QEvent* event);
    void trimFieldHandler(QObject* watched, QEvent* event);
    void setRangeToolTip(QWidget* widget, QEvent* event, const QString& text);
    bool isJobWindow(QObject* watched) const;

    // Routines whose full versions come with the project workflows, the
    // section control state and the waveform view.
    void fillSectionCombo();
    void refreshBlankBox();
    void rebuildWavView(int wave, int section, uint32_t length, const std::vector<int32_t>& marks, int zoom,
                        double position);
    uint32_t refreshSectionControls(int section);
    uint32_t syncSectionControls(int section);
    void updateActions();
    void updateUndoRedoActions();
    void selectSectionIndex(int index);
    void resetWindowState();
    uint32_t resetProjectFields(bool clearProjectName);
    uint32_t initNewProject();
    void openProjectFile(const QString& fileName);
    QString defaultProjectName() const;
    void setProjectTitle(const QString& path);

    // Conditions of the enable rules.
    bool isBusy() const;
    bool isProjectOpen() const { return mProjectState != 0; }
    bool hasCurrentWave() const;
    int waveCount();

    // Messages: title "Stelvano", one "Ok" button that is also the default.
    void showMessage(const QString& text);
    // What a command whose work is not built yet says instead of doing
    // nothing.
    void notAvailableYet();

    CKRMcore mCore;
    CKRMcoreWork mCoreWork;
    KRMAudition mAudition {&mClickOn, &mClickLevel, &mSecondClick};
    IF_audioFileMngr* mAudioFileMngr = nullptr;
    QString mProjectPath;
    bool mUpdating = true;
    int32_t mSection = 3;
    int32_t mWave = 0;
    QThread* mAnaThread = nullptr;
    QStyle* mAppStyle = nullptr;
    bool mMemoryFull = false;
    bool mPlaying = false;
    // The audition reads these three bytes while it plays.
    uint8_t mClickOn = 1;
    bool mClickSaved = true;
    uint8_t mClickLevel = 100;
    uint8_t mSecondClick = 1;
    bool mAudioEnabled = true;
    uint8_t mAnalysisOptions[6] = {0, 4, 4, 1, 4, 4};
    QString mDeviceName;
    uint32_t mHorMaxZoom = 0;
    uint32_t mHorZoom = 1;
    double mHorZoomedWidth = 0.0;
    bool mRelayout = true;
    QRect mPrevRect {-1, -1, -1, -1};
    uint32_t mPrevZoom = 1;
    double mPrevZoomedWidth = 0.0;
    // Reader of the audio file the waveform view shows.
    std::unique_ptr<WavSeeker_libSndFile> mSeeker;
    uint32_t mProjectState = 0;
    ProgressDialog* mImportDialog = nullptr;
    QLabel* mStatusLabel = nullptr;
    QStringList mDroppedFiles;
    QTimer mDropTimer;
    uint32_t mDropKind = 0;
    bool mUndoRedoRunning = false;
    bool mManualDefault = false;
    bool mTimeStretchDefault = false;
    // The export and time-stretch jobs: worker, its thread and the dialog.
    QObject* mExportWorker = nullptr;
    QThread* mExportThread = nullptr;
    ProgressDialog* mExportDialog = nullptr;
    QObject* mStretchWorker = nullptr;
    QThread* mStretchThread = nullptr;
    ProgressDialog* mStretchDialog = nullptr;
    QWidget* mStretchWindow = nullptr;

    std::map<QObject*, WidgetEventHandler> mWidgetHandlers;
};
