#pragma once
// Opening a file for reading only when it is a regular file. Opening a named
// pipe for reading blocks until a writer appears, and a device can deliver
// without end; neither is a file the program can read. The check is made on
// the opened descriptor itself, so the path cannot be swapped for a pipe
// between the check and the open.
#include <QString>

class QFile;

namespace krm::platform {

// A blocking, close-on-exec descriptor open for reading on `path`, or -1 when
// the path is missing, unreadable, or not a regular file (a link to a regular
// file is followed). The caller closes it.
int openRegularFileForReading(const QString& path);

// Opens `file` (its file name set, not open) read-only when its path names a
// regular file, and confirms that what it opened is that file. False, with
// the file left closed, otherwise.
bool openRegularFile(QFile& file);

}  // namespace krm::platform
