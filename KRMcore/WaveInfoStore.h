#pragma once
// Where the analysis of an audio file (its wave-info file, ".awi") is kept,
// and when a kept one is still that audio's own.
//
// It is kept beside the audio: the audio's folder, "/", its complete base
// name and ".awi" ("x/take.one.wav" gives "x/take.one.awi"). Where that
// folder cannot be written (a read-only stick or disc, a share, a folder of
// another user) it is kept in the user's cache folder instead, one file per
// absolute audio path, and nothing is written beside the audio.
//
// A kept analysis is the audio's own only while the audio has been neither
// written nor put onto its name since the wave-info file was written: a
// take moved or copied onto the name, or restored with its old times
// (`mv`, `cp -p`, `rsync -t`, `tar`, `unzip`), keeps an old modification
// time but gets a new status-change time, so both are compared. A stale or
// unreadable analysis only costs a new one.
#include <QString>
#include <QStringList>

#include <cstdint>

// The wave-info file beside the audio.
QString waveInfoPathOf(const QString& audioPath);

// The wave-info file kept for the audio in the user's cache folder
// (<generic cache location>/Tanvek/Stelvano/analysis/<hash of the absolute
// audio path>.awi); the folder may not exist yet.
QString cachedWaveInfoPathOf(const QString& audioPath);

// Both places, in the order they are read: beside the audio, then the cache.
QStringList waveInfoPlacesOf(const QString& audioPath);

// The audio file's identity as far as its analysis is concerned: it still
// holds the same bytes at the same name when none of these changed. Times
// are in nanoseconds since the epoch, as the file system keeps them.
struct AudioStamp {
    bool exists = false;
    int64_t size = -1;
    uint64_t device = 0, inode = 0;  // another file put onto the name has another
    int64_t modified = 0;            // last write of the contents
    int64_t changed = 0;             // last status change: also set by a rename onto the name or a restore

    static AudioStamp of(const QString& path);
    bool operator==(const AudioStamp& other) const;
    bool operator!=(const AudioStamp& other) const { return !(*this == other); }
};

// The wave-info file exists and was written no earlier than the audio's
// last write and its last status change.
bool waveInfoIsFresh(const QString& audioPath, const QString& waveInfoPath);

// The first place whose wave-info file is fresh and loads, as a project
// engine loads it, for audio of `frames` sample frames (no beat or onset
// past its end); empty when none does. Out of memory while reading counts
// as serving: the load that follows reports it.
QString servingWaveInfoOf(const QString& audioPath, uint32_t frames);
