#pragma once
// The modal window that shows a time-stretched section: both channels of the
// stretched file with the beat grid the stretch produced (bar lines red,
// beats blue), a selection made by mouse or keyboard (snapped to beats unless
// the main window is in manual mode), zoom and scroll, and looped playback
// of the selection with bar and beat clicks through the main window's
// audition player. Playback starts when the dialog is shown with exec.
//
// The window edits nothing in the project. It shares two audition bytes with
// the main window by pointer (the click flag and the song level in percent):
// its click box and level slider write them directly, so the render hears a
// change at its next buffer and the main window keeps it afterwards.
//
// Lifecycle: construct, exec, delete. The caller keeps the beat list and the
// three bytes alive until it has deleted the window. Deleting the window
// stops playback, stores its placement under "TimeStretchWindow" and closes
// the audio output (the main window's next audition opens it again).
//
// Coordinates: "wave-frame coordinates" are those of the wave frame's parent,
// in which the wave frame's own position is given, so a layer's geometry
// moved by the wave frame's position and a mapped pointer are comparable.
#include "StretchWindowForm.h"

#include <QDialog>
#include <QEvent>
#include <QPoint>
#include <QRect>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "wavPainterLayers.h"

class KRMAudition;
class MainWindow;
class WavSeeker_libSndFile;
class wavPainter;

class TimeStretchWindow : public QDialog, public Ui::TimeStretchWindow {
    Q_OBJECT
public:
    // `filePath`: the stretched file; `totalFrames` its length in frames;
    // `beatFrames` (not owned, may be null): equally spaced beats from frame
    // 0, `beatsPerBar` to a bar, then the file's last frame. `zoom` and
    // `offset` start the view (1 and 0.0 from the main window). `audition`
    // (not owned, may be null: nothing plays) is the main window's player;
    // `clickOn` and `clickLevel` (not owned, not null) the bytes it was
    // built with. The indexes, `secondClick` and `mainWindow` are not used.
    TimeStretchWindow(const std::wstring& filePath, uint8_t sectionIndex, uint8_t waveIndex,
                      uint32_t totalFrames, uint8_t beatsPerBar, const std::vector<uint32_t>* beatFrames,
                      int zoom, double offset, KRMAudition* audition, bool manual, uint8_t* clickOn,
                      uint8_t* clickLevel, uint8_t* secondClick, MainWindow* mainWindow,
                      QWidget* parent = nullptr);
    ~TimeStretchWindow() override;

    // Frame `frame` moved to the nearest beat of the list (a tie goes to the
    // later beat); nearer to the file start than to the first beat: 0; past
    // the last beat and nearer to the file end: the last frame. An empty
    // list leaves it unchanged.
    int snapToMarks(int frame) const;
    // Click triggers for playing [start, end): offsets from start of the
    // beats of whole bars in range, bar lines into `bars`, other beats into
    // `beats`.
    void buildClickLists(int start, int end, std::vector<int32_t>& bars, std::vector<int32_t>& beats) const;
    // 0 to 4: 1 both selection ends in view, 4 the selection spans the view,
    // 2 its start is cut off, 3 its end is cut off, 0 otherwise.
    int selectionVisibility() const;

public slots:
    // Starts looped playback of the selection, then runs the modal loop.
    int exec() override;

protected slots:
    // Stops playback when playing, then rejects the dialog.
    void closeEvent(QCloseEvent* e) override;

private slots:
    virtual void onSelectAll();
    virtual void onClearAll();
    virtual void releasedBtnHorZoomIn();
    virtual void releasedBtnHorZoomOut();
    virtual void releasedBtnPlayOnce();
    virtual void releasedBtnPlayLoop();
    virtual void stopped();
    virtual void location();
    virtual void valueChangedSliderMetro(int val);
    virtual void clickedChkClick(bool checked);
    virtual void valueChangedScrollBar(int val);

protected:
    // Index 0 to 6 of the first layer whose geometry, moved by the wave
    // frame's position, strictly contains (x, y); -1 when none.
    virtual int painterIndexAt(int x, int y) const;
    // Sets the view (zoom, offset in widths) and keeps the selection in it;
    // `previousCondition` is selectionVisibility() before a zoom in.
    virtual void updateSelection(int zoom, double offset, bool keepSelectionVisible, int previousCondition);
    // Runs at the end of every paint; does nothing here.
    virtual void afterPaint();
    virtual void setPaintersDirty(bool dirty);
    virtual void updatePainterFlags();

    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    friend struct TimeStretchWindowTestAccess;

    void buildPainters(uint32_t totalFrames, int zoom, double offset);
    void refreshControls();
    void restoreWindowGeometry();
    void saveWindowGeometry();
    void closeAudioDevice();
    void playSelection(bool loop);
    void showPlaying(bool playing);

    // View.
    void scrollToSelection();
    void followPlayPosition(int x);
    int zoomLimit() const;
    void setScrollValue(int64_t value);

    // Pointer and keys.
    QPoint toWaveFrame(const QPoint& windowPos) const;
    QPoint fromWaveFrame(const QPoint& framePos) const;
    int sampleAtPoint(int layerIndex, const QPoint& point) const;
    int xOfSample(int64_t frame) const;
    bool insideWaveFrame(const QPoint& p) const;
    QPoint pointerInWaveFrame() const;
    void updateWaveCursor();
    void autoScrollAtEdge(int edgeFrame);
    void autoScrollWhileMoving();
    void pageToDraggedSelection(bool movingRight);
    void applySelectionToPainters();
    void orderSelection();
    void moveWholeSelection(const QPoint& point);
    void sendMouse(QEvent::Type type, const QPoint& framePoint);

    // The window's one override cursor: set once, then changed; restored
    // only while held.
    void holdCursor(Qt::CursorShape shape);
    void releaseCursor();

    std::vector<wavPainter*> mLayers;
    int mHorMaxZoom = 0;
    int mHorZoom = 1;
    double mHorZoomedWidth = 0.0;
    bool mUpdating = false;
    Qt::KeyboardModifiers mKeyModifiers = Qt::NoModifier;
    bool mPlaying = false;
    bool mManual = false;
    uint8_t* mClickOn = nullptr;
    uint8_t* mClickLevel = nullptr;
    bool mSelectionActive = false;
    QPoint mDragAnchor {-1, 0};
    bool mRebuild = true;
    QRect mLastViewRect {-1, -1, -1, -1};
    int mLastZoom = 1;
    double mLastOffset = 0.0;
    KRMAudition* mAudition = nullptr;
    std::wstring mFilePath;
    WavSeeker_libSndFile* mSeeker = nullptr;
    std::vector<wavPainterMetaLineDur::Region> mRegions;
    const std::vector<uint32_t>* mBeatFrames = nullptr;
    uint8_t mBeatsPerBar = 4;
    QRect mLocationRect {-1, 0, 0, 0};
    uint8_t mEdgeZone = 3;
    int mSelStart = 0;
    int mSelEnd = 0;
    int mDragSelStart = -1;
    int mDragSelEnd = -1;
    int mDragDirection = 2;
    bool mKeyDrag = false;

    bool m_cursorHeld = false;
    QPoint m_lastPoint;  // the last dragging move, in wave-frame coordinates
    std::map<QObject*, std::function<void(QObject*, QEvent*)>> m_filtered;
};
