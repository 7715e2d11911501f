#pragma once
// The one audio output of the process: the device manager, the list of
// outputs (enumerated once, at init), the selected device and the render
// callback. Every operation runs on the GUI thread and returns a result
// code (0 success, 0x80000000 | step on failure) unless said otherwise.
//
// The render emits signalLocation (once per buffer while playing) and
// signalStop (a pass without loop ended) on the device's thread; the holder
// lives on the GUI thread, so receivers there get them queued, in order.
#include "CaudioOutIF.h"

#include <QObject>
#include <atomic>
#include <cstdint>
#include <vector>

class AudioOutDeviceCallbackSeq;
class WavSeeker_libSndFile;

class AudioDeviceASFF : public QObject {
    Q_OBJECT
public:
    // Readers and state bytes are not owned (see AudioOutDeviceCallbackSeq).
    // Constructs without enumerating; init lists the outputs.
    AudioDeviceASFF(WavSeeker_libSndFile* song, WavSeeker_libSndFile* click1, WavSeeker_libSndFile* click2,
                    uint8_t* clickFlag, uint8_t* songLevel, uint8_t* secondClickFlag);
    ~AudioDeviceASFF() override;

    // Makes the process-wide holder and runs init; 0 and nothing changed
    // when it exists already. A failed init gives nest(init code, 2), the
    // holder then exists without outputs.
    static uint32_t create(WavSeeker_libSndFile* song, WavSeeker_libSndFile* click1,
                           WavSeeker_libSndFile* click2, uint8_t* clickFlag, uint8_t* songLevel,
                           uint8_t* secondClickFlag);
    // The process-wide holder; null before create. It lives to exit.
    static QSharedPointer<AudioDeviceASFF> instance();

    // Lists the outputs of the platform manager (or of `manager`) and
    // selects output 0: 0x80000001 no factory, 0x80000002 no manager,
    // 0x80000003 no output at all.
    uint32_t init();
    uint32_t init(QSharedPointer<Tessaro::CaudioOutDeviceManagerIF> manager);

    uint32_t deviceCount(int& count) const;
    // 0x80000001 for an index outside the list (name unchanged).
    uint32_t deviceName(int index, QString& name) const;
    // The last output of that name wins.
    uint32_t findDeviceByName(const QString& name, bool& found, int& index) const;
    // 0 with nothing changed when no output has that name.
    uint32_t selectDeviceByName(const QString& name);
    // Makes the device of output `index`, wired to the render callback (if
    // any yet), in place of the held one (which is closed). 0x80000001 for
    // an index outside the list, with nothing changed.
    uint32_t selectDevice(int index);
    // The index last selected (0 at construction).
    int selectedDevice() const { return m_selected; }

    // Opens the selected device on slots 0 and 1: 0x80000001 no device,
    // 0x80000002 the device did not open (e.g. it is open already).
    uint32_t open(int frames, double sampleRate);
    // 0x80000001 no device; closing a closed device is fine.
    uint32_t close();
    uint32_t play();
    uint32_t stop();
    void setLoop(bool loop);
    bool isPlaying() const { return m_playing; }
    // The song frame the next rendered frame comes from; 0 without callback.
    int getLocation() const;

    // Programs the render (made on first use): loop range [loopStart,
    // loopEnd) with -1 for the song's length, start frame, trigger lists.
    // Call only while the device is closed.
    uint32_t prepareCallback(int loopStart, int loopEnd, int startFrame,
                             const std::vector<int32_t>& triggers1, const std::vector<int32_t>& triggers2);
    // Replaces the readers and state bytes the render uses (null: none).
    // Call only while the device is closed.
    void setSources(WavSeeker_libSndFile* song, WavSeeker_libSndFile* click1, WavSeeker_libSndFile* click2,
                    uint8_t* clickFlag, uint8_t* songLevel, uint8_t* secondClickFlag);
    bool usesSongReader(const WavSeeker_libSndFile* song) const { return m_songReader == song; }
    QSharedPointer<AudioOutDeviceCallbackSeq> callback() const { return m_callback; }

signals:
    void signalStop();
    void signalLocation();

private:
    friend class AudioOutDeviceCallbackSeq;  // ends play from the render

    WavSeeker_libSndFile* m_songReader;
    WavSeeker_libSndFile* m_clickReader1;
    WavSeeker_libSndFile* m_clickReader2;
    uint8_t* m_clickFlag;
    uint8_t* m_songLevel;
    uint8_t* m_secondClickFlag;
    int32_t m_selected = 0;
    std::atomic<bool> m_playing {false};
    QSharedPointer<Tessaro::CaudioOutDeviceManagerIF> m_manager;
    Tessaro::DeviceInfoList m_devices;
    QSharedPointer<Tessaro::CaudioOutDeviceIF> m_device;
    QSharedPointer<AudioOutDeviceCallbackSeq> m_callback;
};
