#pragma once
// The audition player of the main window and the time-stretch window: plays
// a stretch of an imported audio file between two frames, once or in a
// loop, with a click on every beat (the first click sound on the first beat
// of each bar, the second on the other beats), or a time-stretched file
// with click triggers given by the caller. (A section's working audio for
// export and stretching is the engine's: CKRMcore::writeTempWave.)
//
// It drives the process-wide output holder (AudioDeviceASFF), opened on the
// output chosen by name with 2048 frames per buffer at 44100 Hz. All calls
// and slots run on the GUI thread; the render reaches this object only
// through the holder's queued signals.
#include "AudioFormat.h"

#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class AudioDeviceASFF;
class CKRMcore;
class WavSeeker_libSndFile;
struct WaveInfoRecord;

class KRMAudition : public QObject {
    Q_OBJECT
public:
    // The three bytes belong to the creating window and are read by the
    // render while it plays: click flag, song level in percent, second-click
    // flag. They must outlive the player.
    KRMAudition(uint8_t* clickFlag, uint8_t* songLevel, uint8_t* secondClickFlag);
    // Detaches the holder from this player's readers (stopping and closing
    // the output when it plays them), then deletes them.
    ~KRMAudition() override;

    // Creates the holder when needed (nest(create code, 1) on failure, e.g.
    // 0x80000321 when the machine has no output), then selects and opens the
    // output `name` (empty: the first one) and connects the end of play.
    uint32_t openDevice(const QString& name);
    // Disconnects the end of play and closes the output; 0x80000001 without
    // a holder.
    uint32_t closeDevice();
    // Click sounds: 2-channel 44100 Hz sound files; any other file leaves
    // its click silent (with a debug line). Call while not playing (the
    // render reads the click files).
    void setClickSounds(const QString& first, const QString& second);
    QSharedPointer<AudioDeviceASFF> audioDevice() const;
    // The stored name becomes the holder's selected output's; 0x80000001
    // without a holder, 0x80000002 when it has no output.
    uint32_t updateDeviceName();
    QString deviceName() const { return m_deviceName; }

    // Toggles audition of frames [startFrame, endFrame) of wave `waveIndex`
    // (endFrame -1: to its end). `halfBeat` picks the off-beat grid, `pickup`
    // counts the beats before the first full bar as pickup, `reserved` is
    // ignored; mode 0 clicks from the beat list, any other mode plays
    // without clicks. While playing it stops and returns 0. A failure e
    // stores "#0077 audition process returns some error! [e]" as the
    // engine's error text, stops, and returns nest(e, 1). A null core fails
    // without text.
    uint32_t play(CKRMcore* core, uint8_t waveIndex, uint8_t sectionIndex, int startFrame, int endFrame,
                  bool loop, uint8_t halfBeat, uint8_t pickup, uint8_t reserved, uint8_t mode);
    uint32_t playLoop(CKRMcore* core, uint8_t waveIndex, uint8_t sectionIndex, int startFrame, int endFrame,
                      uint8_t halfBeat, uint8_t pickup, uint8_t reserved, uint8_t mode);
    // Ends play without signalStop; 0x80000001 without a holder.
    uint32_t stop();
    // The song frame being played; 0 before any play, -1 without a holder.
    int getLocation() const;

    // Toggles play of a stretched file (triggers: offsets from startFrame
    // for the first and the second click); a failure e gives nest(e, 1).
    uint32_t togglePlayStretched(const std::wstring& path, int startFrame, int endFrame, bool loop,
                                 const std::vector<int32_t>& triggers1,
                                 const std::vector<int32_t>& triggers2);
    uint32_t playStretchedFile(const std::wstring& path, int startFrame, int endFrame, bool loop,
                               const std::vector<int32_t>& triggers1, const std::vector<int32_t>& triggers2);

    // Click triggers of mode 0, as offsets from startFrame: beat k of the
    // wave's beat grid (off-beat grid when halfBeat is 1) from the beat
    // nearest startFrame to the last beat; the first sound on bar lines,
    // the second on the other beats. With `pickup` the (end - start) mod
    // beatsPerBar beats before the first bar line get the second sound.
    // Lookup failures of the start or end beat e give nest(e, 1) / nest(e, 2);
    // 0x80000003 for 0 beats per bar.
    static uint32_t buildClickTriggers(CKRMcore& core, uint8_t waveIndex, uint8_t sectionIndex,
                                       const WaveInfoRecord& wave, uint8_t beatsPerBar, uint8_t halfBeat,
                                       uint8_t pickup, int startFrame, int endFrame,
                                       std::vector<int32_t>& list1, std::vector<int32_t>& list2);

    static constexpr int kBufferFrames = 2048;
    static constexpr double kSampleRate = krm::audio::kSampleRate;

signals:
    void signalStop();
    void signalLocation();

public slots:
    // End of a pass without loop: stops the holder and emits signalStop.
    void stopped();
    // Emits signalLocation while the holder plays.
    void location();

private:
    uint32_t startPlayback(CKRMcore& core, uint8_t waveIndex, uint8_t sectionIndex, int startFrame,
                           int endFrame, bool loop, uint8_t halfBeat, uint8_t pickup, uint8_t mode);
    // Selects a fresh device object wired to the render, opens it and plays,
    // for both kinds of play: steps selectStep, selectStep + 1, + 2.
    uint32_t selectAndStart(AudioDeviceASFF& holder, bool loop, uint32_t selectStep);
    QString resolveDeviceName(AudioDeviceASFF& holder) const;
    void attachSources(AudioDeviceASFF& holder);

    QString m_deviceName;
    uint8_t* m_clickFlag;
    uint8_t* m_songLevel;
    uint8_t* m_secondClickFlag;
    QString m_clickPath1;
    QString m_clickPath2;
    std::unique_ptr<WavSeeker_libSndFile> m_songReader;
    std::unique_ptr<WavSeeker_libSndFile> m_clickReader1;
    std::unique_ptr<WavSeeker_libSndFile> m_clickReader2;
};
