#pragma once
// The program's private folder for working audio files ("KRM_temp.wav" and
// the per-section "KRM_temp_<section>.wav"). Fixed names in the shared
// temporary folder would collide with other users' files and could be
// pre-planted as symbolic links, so the files live in
//   <system temporary location>/Stelvano-<user id>, mode 0700.
// An existing folder of that name is used only when it is a real directory
// (not a link) owned by this user; its mode is tightened to 0700. Otherwise a
// fresh private folder (mkdtemp) serves the run.
#include <QString>

namespace krm::platform {

// The folder, created on the first call and the same for the rest of the
// process. Never empty: when nothing can be created it falls back to the
// system temporary location itself and logs a warning.
QString privateTempFolder();

// Decides the folder anew under `base` (tests point it at a folder of their
// own); does not touch the value cached by privateTempFolder().
QString makePrivateTempFolder(const QString& base);

}  // namespace krm::platform
