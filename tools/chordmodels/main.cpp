// Writes the chord model texts: the compiled-in copy as C++ source and, on
// request, a model folder that the file reader loads.
//
//   chordmodels --source KRMcore/RuBeatO/LibTavi/src/BuiltinModelData.inc
//   chordmodels --folder /tmp/models
#include "ChordModelBuilder.h"

#include <cstring>
#include <fstream>
#include <iostream>

int main(int argc, char** argv)
{
    const char* source = nullptr;
    const char* folder = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--source") == 0)
            source = argv[i + 1];
        else if (std::strcmp(argv[i], "--folder") == 0)
            folder = argv[i + 1];
    }
    if (!source && !folder) {
        std::cerr << "usage: chordmodels [--source FILE.inc] [--folder DIR]\n";
        return 2;
    }
    chordmodels::BuildSettings settings;
    settings.log = &std::cerr;
    const chordmodels::ModelTexts texts = chordmodels::buildModelTexts(settings);
    if (source) {
        std::ofstream out(source, std::ios::binary);
        out << chordmodels::builtinDataSource(texts);
        if (!out) {
            std::cerr << "cannot write " << source << "\n";
            return 1;
        }
    }
    if (folder && !chordmodels::writeModelFolder(texts, folder)) {
        std::cerr << "cannot write the model folder " << folder << "\n";
        return 1;
    }
    return 0;
}
