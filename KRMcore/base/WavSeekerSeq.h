#pragma once
// Sequential float reader over one of the program's canonical 16-bit stereo
// 44100 Hz WAV files, as the analysis reads it. Only a seek back to the
// start is honoured. A missing or invalid file gives a source of length 0.
#include "AudioFormat.h"
#include "ISeekable.h"

#include <QDataStream>
#include <QFile>
#include <QString>
#include <vector>

class WavSeekerSeq : public ISeekable<float> {
public:
    explicit WavSeekerSeq(const QString& path);
    ~WavSeekerSeq() override;
    WavSeekerSeq(const WavSeekerSeq&) = delete;
    WavSeekerSeq& operator=(const WavSeekerSeq&) = delete;

    // Position 0 reopens the file and starts again at its first frame
    // (returns 0, or -1 when the file can no longer be read). Any other
    // position is ignored and returns -1.
    int32_t seek(int32_t position) override;
    // Fills 2 x frames floats, zero-padded past the end of the audio data;
    // returns the frames actually read.
    int32_t read(float* buffer, int32_t frames) override;
    int32_t length() const override { return m_length; }
    float sampleRate() const override { return m_sampleRate; }
    int32_t channels() const override { return m_channels; }

private:
    bool open();

    QString m_path;
    QFile m_file;
    QDataStream m_stream;
    int32_t m_length = 0;
    int32_t m_channels = krm::audio::kChannels;
    float m_sampleRate = float(krm::audio::kSampleRate);
    uint32_t m_framesLeft = 0;  // frames of the data chunk not read yet
    std::vector<char> m_work;   // kept between reads
};
