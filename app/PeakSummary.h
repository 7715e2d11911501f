#pragma once
// The lowest and highest sample of each channel over fixed blocks of one
// audio file, read once. The main window rebuilds its waveform after every
// edit, undo, zoom and scroll; with a summary a column spanning minutes of
// audio reads only the partial blocks at its two ends instead of the whole
// span, and the peaks stay exactly those of a full read.
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class WavSeeker_libSndFile;

class PeakSummary {
public:
    static constexpr int64_t kBlock = 256;  // frames

    // Reads `source` from frame 0 to its end. Null when it has no frames or
    // the read fails (a reader that throws, or no memory for the summary).
    static std::shared_ptr<const PeakSummary> build(WavSeeker_libSndFile& source);

    // The summary of the file at `path` read through `source` (opened on
    // that file): the one built last while the file on disk is the same
    // (size, modification time and inode), otherwise a new one. Only the
    // last file's summary is kept.
    static std::shared_ptr<const PeakSummary> forFile(const QString& path, WavSeeker_libSndFile& source);

    int channels() const { return m_channels; }
    int64_t frames() const { return m_frames; }  // frames read
    // Lowers `low` and raises `high` with the blocks first .. end - 1 of
    // `channel`.
    void extremes(int channel, int64_t firstBlock, int64_t endBlock, double& low, double& high) const;

private:
    int m_channels = 0;
    int64_t m_frames = 0;
    std::vector<float> m_low, m_high;  // [block * channels + channel]
};
