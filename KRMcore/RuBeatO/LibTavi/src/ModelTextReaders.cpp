#include "ModelTextReaders.h"

#include "BuiltinModelTexts.h"

#include <QString>

namespace tavi {

namespace {

std::wstring widen(const std::string& s)
{
    return QString::fromStdString(s).toStdWString();
}

// Loads a text into a reused string stream; a missing key leaves it bad.
std::istream& load(std::istringstream& stream, const std::map<std::string, std::string>& table,
                   const std::string& key)
{
    stream.clear();
    const auto it = table.find(key);
    if (it == table.end()) {
        stream.str(std::string());
        stream.setstate(std::ios_base::badbit);
    } else {
        stream.str(it->second);
    }
    return stream;
}

}  // namespace

std::string transitionKey(int mode, int beatPosition, int beatsPerBar)
{
    return std::string("transition.") + (mode == 0 ? "major" : "minor") + "." + std::to_string(beatsPerBar) +
           "." + std::to_string(beatPosition);
}

TaviPlainTextResourceStreamReader::TaviPlainTextResourceStreamReader()
{
    buildBuiltinModelTexts();
}

std::istream& TaviPlainTextResourceStreamReader::openPdfStream(const std::string& key)
{
    return load(m_pdf, builtinModelTexts().pdfs, key);
}

std::istream& TaviPlainTextResourceStreamReader::openTransitionStream(int mode, int beatPosition,
                                                                      int beatsPerBar)
{
    return load(m_transition, builtinModelTexts().transitions,
                transitionKey(mode, beatPosition, beatsPerBar));
}

std::istream& TaviPlainTextResourceStreamReader::openChordListStream()
{
    m_chordList.clear();
    m_chordList.str(builtinModelTexts().chordList);
    return m_chordList;
}

TaviPlainTextFileStreamReader::TaviPlainTextFileStreamReader(const std::wstring& folder,
                                                             const std::wstring& pdfExtension)
    : m_folder(folder), m_pdfExtension(pdfExtension)
{ }

std::wstring TaviPlainTextFileStreamReader::pdfPath(const std::string& key) const
{
    return m_folder + L"/" + L"Mixture" + L"/" + widen(key) + L"." + m_pdfExtension;
}

std::wstring TaviPlainTextFileStreamReader::transitionPath(int mode, int beatPosition, int beatsPerBar) const
{
    return m_folder + L"/" + widen(transitionKey(mode, beatPosition, beatsPerBar)) + L"." + L"txt";
}

std::wstring TaviPlainTextFileStreamReader::chordListPath() const
{
    return m_folder + L"/" + L"chordlist" + L"." + L"txt";
}

std::istream& TaviPlainTextFileStreamReader::reopen(std::ifstream& stream, const std::wstring& path)
{
    if (stream.is_open())
        stream.close();  // sets the fail bit if the close fails
    stream.open(QString::fromStdWString(path).toUtf8().toStdString(), std::ios_base::in);
    if (stream.is_open())
        stream.clear();
    else
        stream.setstate(std::ios_base::failbit);
    return stream;
}

std::istream& TaviPlainTextFileStreamReader::openPdfStream(const std::string& key)
{
    return reopen(m_pdf, pdfPath(key));
}

std::istream& TaviPlainTextFileStreamReader::openTransitionStream(int mode, int beatPosition, int beatsPerBar)
{
    return reopen(m_transition, transitionPath(mode, beatPosition, beatsPerBar));
}

std::istream& TaviPlainTextFileStreamReader::openChordListStream()
{
    return reopen(m_chordList, chordListPath());
}

}  // namespace tavi
