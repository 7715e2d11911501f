#pragma once
// Small file routines for the style file model's temporary wave files
// (paths are Latin-1 text up to the first zero byte), and the safe save that
// writes every file the program replaces as a whole. (Warnings to the user
// go through showWarning of WarningSink.h.)
#include <QFile>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

// Removes the file (a relative path is taken from the current folder).
// 0x80000001 for an empty path; 0 otherwise, whether or not it was removed.
uint32_t removeFile(const std::string& path);

// Size of the file in bytes, 0 for a missing file.
uint32_t fileSize(const std::string& path);

// Reads up to `size` bytes of the file into `buffer`. 0x80000001 for an
// empty path, a null buffer or a size of 0; otherwise 0, also when the file
// is missing or shorter (the rest of the buffer is left as it was).
uint32_t readWholeFile(const std::string& path, void* buffer, uint32_t size);

namespace krm {

// A file that takes the place of `target` as a whole, with QSaveFile's way of
// use: open, write, commit. open() makes a temporary file beside the target
// (a link is followed to the file it names), named
//   ".<target's file name>.<6 letters or digits>.stelvano-tmp",
// and commit() flushes it, forces it to the disk and renames it over the
// target. Until the rename the target keeps its old contents; a failure
// anywhere, or the end of the object without commit(), removes the
// temporary. A process killed meanwhile leaves its temporary behind: the next
// open() for the same target removes every such file of that target in its
// folder that no live save holds, and nothing else.
class SafeSaveFile : public QFile {
public:
    explicit SafeSaveFile(const QString& target);
    ~SafeSaveFile() override;
    SafeSaveFile(const SafeSaveFile&) = delete;
    SafeSaveFile& operator=(const SafeSaveFile&) = delete;

    // `mode` must ask for writing only (truncation is implied; appending is
    // refused). False, with nothing created, when the target is a folder or
    // an existing file that may not be written, or the temporary cannot be
    // made.
    bool open(OpenMode mode) override;
    // False when a write failed, or the flush, the sync or the rename did;
    // the target is then as it was and the temporary is gone.
    bool commit();
    // Drops what was written; the target stays as it was.
    void cancelWriting();
    // Without commit(), the same as cancelWriting().
    void close() override;
    // The target's path, as messages name the file being saved (after
    // open(), the file that a link named).
    QString fileName() const override;
    // The temporary's path while open, else empty.
    QString temporaryFileName() const { return m_temporary; }

private:
    void discard();
    // Sets the error text, naming the target and `why`; returns false.
    bool refuse(const QString& why);
    QString m_target;
    QString m_temporary;
};

// True when `fileName` (a name without folder) is one of SafeSaveFile's
// temporaries for a target named `targetName` in the same folder.
bool isSafeSaveTemporaryOf(const QString& fileName, const QString& targetName);

// One piece of a file to write: `size` bytes at `data`.
struct FilePart {
    const void* data;
    size_t size;
};

enum class SaveOutcome { Saved, CannotOpen, WriteFailed };

// Writes the parts one after the other to `path` through a SafeSaveFile. A
// failure (no folder, no permission, a full disk, a kill) leaves the old
// file byte for byte as it was.
// On a failure `why`, when given, gets a text naming the file and the cause.
SaveOutcome saveFileReplacing(const QString& path, std::initializer_list<FilePart> parts,
                              QString* why = nullptr);

// Fault injection for tests: a hook called at each step of every save, on
// the saving thread. None is set in the program.
enum class SaveStep { Created, PartWritten, Flushed, Synced, Renamed };
using SaveStepHook = void (*)(SaveStep);
void setSaveStepHook(SaveStepHook hook);

}  // namespace krm
