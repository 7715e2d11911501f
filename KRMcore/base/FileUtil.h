#pragma once
// Small file routines for the style file model's temporary wave files, and
// the warning box. Paths are Latin-1 text up to the first zero byte.
#include <QMessageBox>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

class QWidget;

// Removes the file (a relative path is taken from the current folder).
// 0x80000001 for an empty path; 0 otherwise, whether or not it was removed.
uint32_t removeFile(const std::string& path);

// Size of the file in bytes, 0 for a missing file.
uint32_t fileSize(const std::string& path);

// Reads up to `size` bytes of the file into `buffer`. 0x80000001 for an
// empty path, a null buffer or a size of 0; otherwise 0, also when the file
// is missing or shorter (the rest of the buffer is left as it was).
uint32_t readWholeFile(const std::string& path, void* buffer, uint32_t size);

// A modal warning box; returns the button chosen. Callable from any thread:
// off the GUI thread the box is shown on the GUI thread while the caller
// waits. Without a QApplication the warning goes to the log and
// `defaultButton` is returned.
QMessageBox::StandardButton showWarning(QWidget* parent, const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// The function that shows the box (QMessageBox::warning unless replaced).
// Tests put their own in place so no box waits for a click; returns the one
// it replaces. Null restores QMessageBox::warning.
using WarningBoxFunction = QMessageBox::StandardButton (*)(QWidget*, const QString&, const QString&,
                                                           QMessageBox::StandardButtons,
                                                           QMessageBox::StandardButton);
WarningBoxFunction setWarningBoxFunction(WarningBoxFunction f);

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
