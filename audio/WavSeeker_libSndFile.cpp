#include "WavSeeker_libSndFile.h"

#include "SndFileOpen.h"

WavSeeker_libSndFile::WavSeeker_libSndFile(const std::wstring& path)
{
    reopen(path);
}

WavSeeker_libSndFile::~WavSeeker_libSndFile()
{
    closeFile();
}

void WavSeeker_libSndFile::closeFile()
{
    if (m_file)
        sf_close(m_file);
    m_file = nullptr;
    m_info = SF_INFO {};
}

bool WavSeeker_libSndFile::reopen(const std::wstring& path)
{
    closeFile();
    if (path.empty())
        return true;
    m_file = platformSfWcharOpen(path.c_str(), SFM_READ, &m_info);
    if (!m_file)
        m_info = SF_INFO {};
    return m_file != nullptr;
}

int WavSeeker_libSndFile::seek(int frame)
{
    if (!m_file)
        return -1;
    return int(sf_seek(m_file, frame, SEEK_SET));
}

int WavSeeker_libSndFile::read(float* buffer, int frames)
{
    if (!m_file || !buffer || frames <= 0)
        return 0;
    return int(sf_readf_float(m_file, buffer, frames));
}

int WavSeeker_libSndFile::length() const
{
    return int(m_info.frames);
}

int WavSeeker_libSndFile::channels() const
{
    return m_info.channels;
}

float WavSeeker_libSndFile::sampleRate() const
{
    return float(m_info.samplerate);
}
