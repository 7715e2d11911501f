#pragma once
// Where chord-model texts come from: the chord list, one density text per
// chord type (keyed by its chord-type number or name) and one matrix of
// transition counts per mode, beats per bar and beat position. Each open
// returns the reader's own stream for that kind of text, reused by every
// call of the kind; the caller tests its state before reading.
#include <fstream>
#include <istream>
#include <sstream>
#include <string>

namespace tavi {

// "transition." + "major" (mode 0) or "minor" (any other mode) + "." +
// beats per bar + "." + beat position, e.g. "transition.minor.3.2".
std::string transitionKey(int mode, int beatPosition, int beatsPerBar);

class ITaviPlainTextStreamReader {
public:
    virtual ~ITaviPlainTextStreamReader() = default;
    virtual std::istream& openPdfStream(const std::string& key) = 0;
    virtual std::istream& openTransitionStream(int mode, int beatPosition, int beatsPerBar) = 0;
    virtual std::istream& openChordListStream() = 0;
};

// Reads the built-in texts. A key missing from the table gives a stream in
// the bad state.
class TaviPlainTextResourceStreamReader : public ITaviPlainTextStreamReader {
public:
    TaviPlainTextResourceStreamReader();
    std::istream& openPdfStream(const std::string& key) override;
    std::istream& openTransitionStream(int mode, int beatPosition, int beatsPerBar) override;
    std::istream& openChordListStream() override;

private:
    std::istringstream m_pdf;
    std::istringstream m_transition;
    std::istringstream m_chordList;
};

// Reads a model folder: folder/chordlist.txt, folder/<transition key>.txt
// and folder/Mixture/<key>.<pdf extension>. The wide folder name is taken
// as a path in the system's file-name encoding (UTF-8). A file that cannot
// be opened gives a stream in the failed state.
class TaviPlainTextFileStreamReader : public ITaviPlainTextStreamReader {
public:
    TaviPlainTextFileStreamReader(const std::wstring& folder, const std::wstring& pdfExtension);
    std::istream& openPdfStream(const std::string& key) override;
    std::istream& openTransitionStream(int mode, int beatPosition, int beatsPerBar) override;
    std::istream& openChordListStream() override;

    // The path each open uses, as wide strings.
    std::wstring pdfPath(const std::string& key) const;
    std::wstring transitionPath(int mode, int beatPosition, int beatsPerBar) const;
    std::wstring chordListPath() const;

private:
    static std::istream& reopen(std::ifstream& stream, const std::wstring& path);

    std::wstring m_folder;
    std::wstring m_pdfExtension;
    std::ifstream m_pdf;
    std::ifstream m_transition;
    std::ifstream m_chordList;
};

}  // namespace tavi
