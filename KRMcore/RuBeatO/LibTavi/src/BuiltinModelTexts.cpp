#include "BuiltinModelTexts.h"

namespace tavi {

namespace {

struct KeyedText {
    const char* key;
    const char* text;
};

#include "BuiltinModelData.inc"

ModelTextTable makeTable()
{
    ModelTextTable table;
    for (const KeyedText& e : kBuiltinPdfTexts)
        table.pdfs[e.key] = e.text;
    for (const KeyedText& e : kBuiltinTransitionTexts)
        table.transitions[e.key] = e.text;
    table.chordList = kBuiltinChordList;
    return table;
}

}  // namespace

const ModelTextTable& builtinModelTexts()
{
    static const ModelTextTable table = makeTable();
    return table;
}

void buildBuiltinModelTexts()
{
    (void)builtinModelTexts();
}

}  // namespace tavi
