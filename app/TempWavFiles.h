#pragma once
// The working audio files of a run: "KRM_temp.wav" (working copy of the
// imported audio) and "KRM_temp_<section name>.wav" for each of the fifteen
// sections, all in the private temporary folder.
#include <QString>

// Deletes the working files from the private temporary folder
// (krm::platform::privateTempFolder()). Called at exit by the running
// instance only; failures to delete are not reported.
void removeTempWavFiles();
// The same in `folder`; nothing else in it is touched.
void removeTempWavFiles(const QString& folder);
