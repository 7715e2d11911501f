#pragma once
// Small file routines for the style file model's temporary wave files.
// Paths are Latin-1 text up to the first zero byte. (Warnings to the user
// go through showWarning of WarningSink.h.)
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

// One piece of a file to write: `size` bytes at `data`.
struct FilePart {
    const void* data;
    size_t size;
};

enum class SaveOutcome { Saved, CannotOpen, WriteFailed };

// Writes the parts one after the other to `path` through a temporary file in
// the same folder, which takes the place of the old file only after every
// write and the flush succeeded. A failure (no folder, no permission, a full
// disk, a kill) leaves the old file byte for byte as it was.
SaveOutcome saveFileReplacing(const QString& path, std::initializer_list<FilePart> parts);

}  // namespace krm
