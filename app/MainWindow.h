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
#include "ResultCode.h"
#include "wavPainterLayers.h"

#include <QMainWindow>
#include <QPoint>
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
class SectionWaveInfo;
class anaThread;
struct WindowGeometryKeys;
class PeakSummary;
class WavSeeker_libSndFile;
class wavPainter;
class QLabel;
class QLineEdit;
class QStyle;
class QThread;
class QCloseEvent;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class TimeStretcher;

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

    // The one way the window asks for a file to open or to save; a test
    // replaces it (an empty function restores the file dialogs).
    struct FileChoice {
        bool save;
        QString caption;
        QString folder;
        QString filter;
    };
    using FileChooser = std::function<QString(const FileChoice&)>;
    static void setFileChooser(FileChooser chooser);

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
    // The waveform view: drags mark a range snapped to the beats (Shift
    // over the range grabs an edge or the whole range), arrow keys scroll,
    // Shift and the arrows drag from the keyboard.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    // Lays out the waveform layers; paints nothing itself.
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

    // The waveform view (MainWindowView.cpp). Points are in mFrameWav's
    // coordinates; a layer's column is the point's x minus the layer's x.

    // Rebuilds the seven layers for wave `wave` and section `section`:
    // `length` samples, `marks` as the beat marks when the section's audio
    // file is missing, zoom and scroll position (both kept in range).
    void rebuildWavView(int wave, int section, uint32_t length, const std::vector<int32_t>& marks, int zoom,
                        double position);
    // The view of a project without audio, shown at once: no reader and no
    // length (the channels drop their peaks), no marks, zoom 1.
    void showEmptyWavView();
    // Sets zoom and scroll position (kept in 1 .. the largest zoom for the
    // length and 0 .. zoom - 1), the scroll bar and the layers; after a zoom
    // in (`zoomed`) keeps the selection in view, `before` being its
    // visibility before the zoom.
    void updateScrollRange(int64_t zoom, double position, bool zoomed, uint8_t before);
    void scrollToSelection();
    void bringSelectionIntoView();
    void updateWaveCursor();
    void followPlayPosition(int x);
    // The sample under frame point `p` over layer `layer`, snapped to the
    // beat marks unless manual bars are on; -1 without layers.
    int32_t sampleAtPoint(int layer, const QPoint& p);
    void autoScrollAtEdge(const QPoint& p, int32_t edgeSample);
    void autoScrollWhileMoving(uint32_t direction);
    void pageToDraggedSelection(uint32_t direction);
    // Layer 0's column of a sample (unclamped), the frame x of a column,
    // and the width of the view in columns.
    int columnOf(int64_t sample) const;
    int frameXOfColumn(int column) const;
    int viewWidth() const;
    bool insideFrame(const QPoint& p) const;
    // One move of a whole-selection drag; true when it paged the view to
    // the selection (the scroll bar has repainted).
    bool moveDragOfWholeSelection(const QPoint& p);

    // Marks, labels and the selection the view draws.
    uint32_t collectWaveMarks(int section);
    uint32_t collectSectionLabels();
    // The mark nearest `sample`; below the first mark 0 and above the last
    // the last sample of the audio count as well (the later one on a tie).
    int32_t snapToMarks(int32_t sample, const std::vector<uint32_t>& marks) const;
    void fillWaveCombo();
    int selectWaveIndex(int index);
    void selectionFromSection(int section);
    void clearSelection();
    void applySelectionToPainters();
    // 1 the selection inside the view, 2 its start left of it and its end
    // inside, 3 its start inside and its end right of it, 4 spanning it, 0
    // otherwise (also without a selection).
    uint8_t selectionVisibility() const;
    int painterIndexAt(const QPoint& p) const;
    void deletePainters();
    void refreshSection(bool rebuild);
    // The view's part of bringing the controls in step with `section`: its
    // marks when it is in use, the bar accents of the beat layer, the
    // section labels. 0x80000001 when the section has no record.
    uint32_t syncViewMarks(int section);

    // Routines whose full versions come with the project workflows, the
    // section assignment, the section control state and the audition.
    void fillSectionCombo();
    void refreshBlankBox();
    uint32_t assignAreaToSection();
    void selectAllSections(bool select);
    void refreshWaveButtons();
    void updateShiftBeatButtonText();
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

    // Export, audition and time stretch (MainWindowExport.cpp,
    // MainWindowAudition.cpp).
    // Bar limit of a section: 32 for intros, mains and endings, 1 for the
    // fills, the break and any other index.
    static uint32_t maxBarsOfSection(int index);
    // Section names of the set bits in section order, ", " between them and
    // "." after the last; bits 15 and above are skipped.
    static QString sectionMaskText(uint16_t mask);
    // Why the work copy cannot be exported, or an empty text.
    QString checkExportable();
    // Writes every used section's working audio that is not current; runs
    // on the export thread. A failed record lookup gives nest(e, 1), a
    // missing record or audio-file manager kPrepareFailed, a failed working
    // audio nest(e, 2), and kPrepareSkipped when the engine skipped the last
    // section written (its stretch ratio out of range).
    uint32_t prepareSectionWavs();
    static constexpr uint32_t kPrepareFailed = krm::fail(1);
    static constexpr uint32_t kPrepareSkipped = krm::fail(3);
    // Asks for the style file to write; empty when cancelled. A name typed
    // without a suffix under the style filter gets ".aus".
    QString chooseExportPath();
    void showExportProgress(const QString& path);
    void playLoopTimeStretched();
    void showTimeStretchProgress(int section);
    // The modal busy dialog of a job (no Cancel button); runs until the
    // job's receiving slot closes it.
    void runJobDialog(ProgressDialog*& dialog, const QString& label, const QString& title);
    // First steps of a job's receiving slot: closes and deletes the dialog,
    // refreshes the actions, ends the thread's event loop and removes the
    // wait cursor.
    void closeJob(ProgressDialog*& dialog, QThread* thread);
    // Opens the result of a finished stretch (steps after the checks of
    // timeStretchDone); the result window comes with its own work.
    void showTimeStretchResult(TimeStretcher& job);

    CKRMcore mCore;
    CKRMcoreWork mCoreWork;
    KRMAudition mAudition {&mClickOn, &mClickLevel, &mSecondClick};
    IF_audioFileMngr* mAudioFileMngr = nullptr;
    QString mProjectPath;
    bool mUpdating = true;
    int32_t mSection = 3;
    int32_t mWave = 0;
    anaThread* mAnaThread = nullptr;
    // Counts the analysis threads made: a signal of an ended one that is
    // still queued must not end the next one's dialog.
    unsigned mAnalysisRun = 0;
    QStyle* mAppStyle = nullptr;
    bool mMemoryFull = false;
    bool mPlaying = false;
    // The audition reads these three bytes while it plays.
    uint8_t mClickOn = 1;
    bool mClickSaved = true;
    uint8_t mClickLevel = 100;
    uint8_t mSecondClick = 1;
    bool mAudioEnabled = true;
    QString mDeviceName;
    uint32_t mHorMaxZoom = 0;
    uint32_t mHorZoom = 1;
    double mHorZoomedWidth = 0.0;
    // The view's layers, children of mFrameWav: two waveform channels,
    // beats, section labels, caption, selection, play position.
    std::vector<wavPainter*> mLayers;
    Qt::KeyboardModifiers mKeyModifiers = Qt::NoModifier;
    QPoint mPressPoint {-1, 0};
    QPoint mDragAnchor {-1, 0};
    QPoint mRightClickPoint {-1, 0};
    QRect mLocationRect;
    // Where Shift grabbed the selection: 0 its end, 1 its start, 2 inside
    // (move it whole), 3 none (a plain drag).
    uint8_t mEdgeZone = 3;
    // Of a whole-selection drag: 1 left or still, 0 right, 2 none yet.
    uint32_t mDragDirection = 2;
    bool mKeyDrag = false;
    int32_t m_selectionStart = 0;  // samples; may lie after the end during a drag
    int32_t m_selectionEnd = 0;
    bool m_selectionExists = false;
    std::vector<uint32_t> m_beatMarks;      // beats on the section's grid
    std::vector<uint32_t> m_halfBeatMarks;  // every beat and off-beat
    std::vector<wavPainterMetaLineDur::Region> m_sectionLabels;
    uint32_t m_beatShiftState = 0;
    bool mRelayout = true;
    QRect mPrevRect {-1, -1, -1, -1};
    uint32_t mPrevZoom = 1;
    double mPrevZoomedWidth = 0.0;
    // Reader of the audio file the waveform view shows.
    std::unique_ptr<WavSeeker_libSndFile> mSeeker;
    std::shared_ptr<const PeakSummary> mPeakSummary;  // mSeeker's file, block extremes
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

    // Import with analysis, the section audio loaders and the control
    // state (MainWindowImport.cpp, MainWindowControlState.cpp).
    // `selectedFilter` (may be null) receives the filter the file was chosen
    // under; a test's chooser chooses under the first one.
    QString chooseFile(bool save, const QString& caption, const QString& folder, const QString& filter,
                       QString* selectedFilter = nullptr);
    // "Yes", "No", "Cancel", or empty when the box closed without a click.
    QString askSaveChanges();
    // Chooses the file when `audioPath` is empty, gives its wave-info path
    // and analyses it unless that file holds its analysis already (it can be
    // read and the audio was not written after it); false when nothing is
    // to be loaded (no choice, cancel, failure: the messages are shown).
    bool importAudioFile(QString& audioPath, QString& waveInfoPath);
    uint32_t startAnalysis(const QStringList& folders, const QStringList& files);
    // Reads a wave-info file into `core` as its newest audio file.
    uint32_t loadWaveInfoFile(CKRMcore& core, const QString& audioPath, const QString& waveInfoPath,
                              uint32_t length);
    uint32_t checkAudioFile(const QString& audioPath, uint32_t& frames);
    void assignWaveToSection(QString audioPath, QString waveInfoPath);
    uint32_t loadWaveIntoProject(const QString& audioPath, const QString& waveInfoPath, uint32_t length);
    void applyWaveInfoSections(CKRMcore& loaded, CKRMcore& project, int wave);
    // The first section of `loaded` in `section`'s preference order that
    // has audio becomes `section` of `project` with audio file `wave`;
    // false when none has.
    bool takeWaveInfoSections(CKRMcore& loaded, CKRMcore& project, int wave, int section);
    uint32_t assignWholeWave(CKRMcore& project, int section, int wave);
    void afterWaveAdded();
    uint32_t removeUnusedWaves(const QString& audioPath);
    uint32_t refreshSectionAll(bool rebuild);
    void refreshTempoSpin();
    void refreshTimeSignatureField();
    void refreshTrimControls();
    void refreshFadeBox();
    void refreshManualBox();
    void refreshBarsControls();
    void refreshTimeStretchBox();
    void refreshClickBox();
    void refreshMetroSlider();
    void refreshPickupControls();
    void refreshPlayButton();
    void refreshBeatDoubleButton();
    void refreshBeatHalfButton();
    void resetBeatShift();
    // The current section's controls, then the enabled states of the
    // actions and of undo and redo.
    void refreshControls();
    uint32_t refreshTrimFields(int section, uint32_t mask);
    uint32_t resetTrimControls(uint32_t mask);
    void setRedStatus(const QString& text);
    // The information line of `section` (empty without a record or audio).
    QString showSectionInfo(int section);
    static QString sectionInfoLine(const SectionWaveInfo& info);
    bool editable() const;
    SectionRecord* currentRecord();
    bool m_timeStretchOn = false;
    uint32_t m_trimStartBeat = 0;
    uint32_t m_trimEndBeat = 0;

    // Project workflows, section assignment and section editing
    // (MainWindowProject.cpp, MainWindowAssign.cpp, MainWindowEditing.cpp).
protected:
    // Asks before an unsaved project is dropped, and before exit.
    void closeEvent(QCloseEvent* event) override;
    // One local audio or project file; anything else is refused.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // 1 audio, 2 project, 0 refused; sets the drop action and accepts.
    uint32_t acceptDrag(QDropEvent* event);
    uint32_t relinkAudioFiles();
    uint32_t writeProjectFile(QString path);
    bool saveProjectFileAs();
    // Whether the user lets the workflow go on (New and Open): Yes goes on,
    // No saves first, Cancel stops.
    bool mayDropProject();
    void undoRedo(bool forward);
    // `frames`: the audio file's length, which bounds the wave-info file's beats.
    uint32_t switchSectionWave(const QString& waveInfoPath, const QString& audioPath, uint32_t frames);
    uint32_t changeSectionWave();
    // The question before a section's audio is replaced; false on Cancel.
    bool confirmReassign();
    // `mCmbWav` back on the current section's audio file.
    void showSectionWave();
    void refreshAfterEdit();
    // The current section's record of `engine`; a failure sets the
    // memory-full flag and comes back nested at step 1.
    uint32_t readCurrentSection(CKRMcore& engine, SectionRecord*& rec);
    uint32_t updateSectionTrim(CKRMcore* engine = nullptr);
    uint32_t applySectionTrim(float start, float end, CKRMcore& engine);
    uint32_t updateBars(int value);
    uint32_t updateTempo(int value);
    uint32_t changeTimeSignature(uint8_t beatsPerBar, uint8_t beatUnit);
    uint32_t setSectionFlag(uint8_t SectionRecord::*flag, bool on, bool checked);
    uint32_t setSectionFade(bool on);
    uint32_t setSectionBlank(bool on);
    uint32_t setSectionManual(bool on);
    uint32_t setSectionPickup(int halfBeats);
    uint32_t doubleBeatSpeed(int file, uint16_t& speed, QString& text);
    uint32_t halveBeatSpeed(int file, uint16_t& speed, QString& text);
    uint32_t changeBeatSpeed(bool twice, int file, uint16_t& speed, QString& text);
    void beatReanalysis(bool twice);
    uint32_t resnapSectionToBeats(CKRMcore& engine, int section);
    uint32_t shiftSectionHalfBeat();
    uint32_t unshiftSectionHalfBeat();
    uint32_t moveSectionHalfBeat(bool later);
    // The project's meter as "n/d" in the beat field and its placeholder.
    void showProjectMeter();
    // Length in seconds of the current audio file, 0 without one.
    float currentWaveSeconds();
};
