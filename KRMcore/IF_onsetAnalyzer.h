#pragma once
// The onset analyser: finds the note onsets of a working WAV file.
#include <QString>
#include <cstdint>
#include <vector>

class IF_onsetAnalyzer {
public:
    virtual ~IF_onsetAnalyzer() { }
    // Appends the onset times in seconds to `onsets` and writes the file's
    // frame count into `frames`.
    virtual uint32_t analyze(const QString& path, uint32_t& frames, std::vector<float>& onsets) = 0;
    virtual QString errorText() = 0;
    virtual void clearError() = 0;
    virtual bool hasError() = 0;
};

IF_onsetAnalyzer* createOnsetAnalyzer();
