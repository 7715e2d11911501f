#pragma once
// The operating-system steps of replacing a file as a whole: a temporary file
// made beside the target and held locked while it is written, forced to the
// disk, then renamed over the target. The lock tells a live temporary from
// one whose writer was killed: only the writer's own descriptor holds it, and
// the system drops it when that process ends, however it ends.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace krm::platform {

// Creates `path`, which must not exist yet, open for writing, with the
// permission bits `mode` (less the umask), and locks it exclusively for as
// long as the descriptor stays open. A close-on-exec descriptor, or -1 with
// errno set; errno is EEXIST also when the name was taken meanwhile by a
// removal of stale temporaries, so that the caller tries another name.
int createLockedFile(const QString& path, unsigned mode);

// Closes a descriptor of createLockedFile and removes the file (for a
// descriptor that could not be put to use).
void closeAndRemove(int fd, const QString& path);

// Forces the data of the open file to the disk. False only when the system
// reports that it could not keep them (an I/O error, a full disk or quota);
// a file system that cannot sync counts as synced.
bool syncToDisk(int fd);

// Renames `from` over `to` in one step: `to` names the old file or the new
// one at every moment. Both must lie in the same folder.
bool renameOver(const QString& from, const QString& to);

// Forces the folder holding `path` to the disk, so that a rename into it
// survives a power loss. False only when the system reports that it could
// not keep it (an I/O error, a full disk or quota), with errno set; a folder
// that cannot be opened or synced counts as synced.
bool syncFolderOf(const QString& path);

// The names of the entries of `folder` whose encoded names end with
// `suffix`, hidden ones too, of whatever kind; empty when it cannot be read.
// Reads the folder once without looking at any entry, so that a folder of
// many files costs little.
QStringList namesEndingWith(const QString& folder, const QByteArray& suffix);

// Removes `path` when it is a regular file (a link is not followed) that no
// writer holds locked through createLockedFile. True when it was removed.
bool removeUnlockedFile(const QString& path);

}  // namespace krm::platform
