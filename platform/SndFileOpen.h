#pragma once
// Opening an audio file through libsndfile by a wide-character path.
// libsndfile offers a wide-path open only on some systems; this one turns
// the path into the local file-name encoding and opens it the usual way.
#include <sndfile.h>

// Opens `path` with libsndfile in `mode` (SFM_READ, SFM_WRITE or SFM_RDWR),
// filling or reading `info` as sf_open does. Returns null on failure (also
// for a null or empty path). For reading, only a regular file is opened: a
// named pipe or a device gives null at once instead of blocking.
SNDFILE* platformSfWcharOpen(const wchar_t* path, int mode, SF_INFO* info);
