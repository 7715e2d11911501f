#pragma once
// The style model's message catalogue: 34 texts, translated through Qt with
// the context "KorbaneGlobalMessage". The export shows 25 ("wave file read
// error!\r\n") and 26 ("save SFF").
#include <QString>

constexpr int kGlobalMessageCount = 34;

// The translated text of entry 0 to 33; an empty text for any other index.
QString GlobalMessage(int index);

// Entries that the export puts into its error texts.
namespace globalmsg {
constexpr int kTemplateLoadFailed = 7;   // "Template File failed to load."
constexpr int kStyleCreationFailed = 8;  // "Style File creation failed."
constexpr int kWriteError = 24;          // "Write error!"
constexpr int kWaveReadError = 25;       // "wave file read error!\r\n"
}  // namespace globalmsg
