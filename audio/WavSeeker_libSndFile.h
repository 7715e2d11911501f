#pragma once
// A sound-file reader over libsndfile for the audition and the waveform
// views: seek to a frame, read interleaved float frames (16-bit samples
// divided by 32768). A reader without a file (empty path, or one that could
// not be opened) reads 0 frames and has length 0.
#include <sndfile.h>
#include <string>

class WavSeeker_libSndFile {
public:
    // Opens `path` read-only; an empty path gives a reader without a file.
    explicit WavSeeker_libSndFile(const std::wstring& path = std::wstring());
    virtual ~WavSeeker_libSndFile();
    WavSeeker_libSndFile(const WavSeeker_libSndFile&) = delete;
    WavSeeker_libSndFile& operator=(const WavSeeker_libSndFile&) = delete;

    // Moves to `frame` from the start of the file; the new position, or -1
    // (also without a file).
    virtual int seek(int frame);
    // Reads up to `frames` frames of channels() interleaved floats each into
    // `buffer` (the caller sizes it); the frames read.
    virtual int read(float* buffer, int frames);
    virtual int length() const;  // frames
    virtual int channels() const;
    virtual float sampleRate() const;

    // Closes the file and opens `path` instead (empty: no file). False when
    // a non-empty path could not be opened.
    bool reopen(const std::wstring& path);
    bool hasFile() const { return m_file != nullptr; }

private:
    void closeFile();

    SNDFILE* m_file = nullptr;
    SF_INFO m_info {};
};
