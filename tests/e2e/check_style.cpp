// Reads back a style file exported by the program, for the end-to-end check:
//   check_style <style file> <working wav> <tempo bpm> <beats per bar> <beat unit>
// The style part must load with our reader and hold the "Main A" marker,
// the tempo and the time signature; the chunk walk of the whole file must
// find "AASM", then "AFil" running to the end of the file, whose one
// section's "Adat" holds exactly the frames of the working wav. Prints each
// finding; exit status 0 when all hold.
#include "ByteCodec.h"
#include "CSmf.h"
#include "CSmfStyle.h"
#include "WavFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Chunk {
    std::string tag;
    size_t offset = 0;  // of the body
    size_t length = 0;
};

// The chunks (4-byte tag, 32-bit big-endian length, body) lying end to end
// in [from, to); the walk stops at the first that does not fit.
std::vector<Chunk> chunksOf(const std::vector<uint8_t>& bytes, size_t from, size_t to)
{
    std::vector<Chunk> out;
    krm::ByteReader reader(bytes.data(), std::min(to, bytes.size()));
    if (!reader.seek(from))
        return out;
    while (reader.remaining() >= 8) {
        Chunk c;
        c.tag.assign(reinterpret_cast<const char*>(reader.cursor()), 4);
        uint32_t length = 0;
        reader.skip(4);
        reader.u32(length);
        c.offset = reader.pos();
        c.length = length;
        if (!reader.skip(length))
            break;
        out.push_back(c);
    }
    return out;
}

const Chunk* find(const std::vector<Chunk>& chunks, const char* tag)
{
    for (const Chunk& c : chunks)
        if (c.tag == tag)
            return &c;
    return nullptr;
}

std::vector<std::string> metaTexts(const CSmfStyleDecorator& doc, uint8_t type)
{
    std::vector<CEvnt*> events;
    doc.collectMetaEvents(type, events);
    std::vector<std::string> out;
    for (const CEvnt* e : events) {
        uint32_t length = 0;
        e->getDataLength(&length);
        out.emplace_back(reinterpret_cast<const char*>(e->dataBytes()), length);
    }
    return out;
}

int failures = 0;

void check(bool ok, const std::string& what)
{
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
    failures += ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6) {
        std::fprintf(stderr,
                     "usage: check_style <style> <working wav> <tempo> <beats per bar> <beat unit>\n");
        return 2;
    }
    QFile file(args[1]);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(args[1]));
        return 2;
    }
    const QByteArray raw = file.readAll();
    const std::vector<uint8_t> bytes(raw.begin(), raw.end());
    const uint32_t tempo = args[3].toUInt();
    const uint32_t beatsPerBar = args[4].toUInt();
    const uint32_t beatUnit = args[5].toUInt();

    CSmfStyleDecorator doc;
    const krm::Result loaded = doc.load(bytes);
    check(loaded == 0, "the style part loads with our reader");
    if (loaded == 0) {
        bool mainA = false;
        for (const std::string& text : metaTexts(doc, kMetaMarker))
            mainA = mainA || text == "Main A";
        check(mainA, "the \"Main A\" marker");
        const std::vector<std::string> tempos = metaTexts(doc, kMetaTempo);
        const uint32_t micro = tempo ? 60000000u / tempo : 0;
        const std::string expectedTempo = {char(micro >> 16), char(micro >> 8), char(micro)};
        check(tempos.size() == 1 && tempos[0] == expectedTempo,
              "one tempo event of " + std::to_string(tempo) + " BPM");
        const std::vector<std::string> meters = metaTexts(doc, kMetaTimeSignature);
        uint8_t unitPower = 0;
        while ((1u << unitPower) < beatUnit)
            ++unitPower;
        check(meters.size() == 1 && meters[0].size() == 4 && uint8_t(meters[0][0]) == beatsPerBar &&
                  uint8_t(meters[0][1]) == unitPower,
              "one time signature of " + std::to_string(beatsPerBar) + "/" + std::to_string(beatUnit));
    }

    const std::vector<Chunk> top = chunksOf(bytes, 0, bytes.size());
    std::string tags;
    for (const Chunk& c : top)
        tags += c.tag + " ";
    std::printf("chunks: %s\n", tags.c_str());
    size_t aasm = top.size();
    for (size_t i = 0; i < top.size() && aasm == top.size(); ++i)
        if (top[i].tag == "AASM")
            aasm = i;
    check(aasm + 2 == top.size() && top.back().tag == "AFil", "\"AASM\", then \"AFil\" last");
    check(!top.empty() && top.back().offset + top.back().length == bytes.size(),
          "the chunks end with the file");
    if (top.empty() || top.back().tag != "AFil")
        return 1;

    std::unique_ptr<uint8_t[]> frames;
    uint32_t byteCount = 0;
    bool outOfMemory = false;
    const uint32_t read = loadWavFile(args[2], frames, &byteCount, &outOfMemory);
    check(read == 0 && byteCount > 0, "the working wav reads");
    const std::vector<Chunk> sections =
        chunksOf(bytes, top.back().offset, top.back().offset + top.back().length);
    check(sections.size() == 1 && sections[0].tag == "ADSg", "one section's audio");
    if (sections.size() != 1 || read != 0)
        return 1;
    const std::vector<Chunk> parts =
        chunksOf(bytes, sections[0].offset, sections[0].offset + sections[0].length);
    const Chunk* wav = find(parts, "AWav");
    std::vector<Chunk> records;
    if (wav && wav->length >= 4)
        records = chunksOf(bytes, wav->offset + 4, wav->offset + wav->length);
    const Chunk* data = find(records, "Adat");
    check(data != nullptr, "its \"AWav\" holds \"Adat\"");
    if (data) {
        const bool same = data->length == byteCount && std::equal(frames.get(), frames.get() + byteCount,
                                                                  bytes.begin() + long(data->offset));
        check(same, "\"Adat\" (" + std::to_string(data->length) + " bytes) equals the working wav's " +
                        std::to_string(byteCount) + " bytes");
    }
    return failures ? 1 : 0;
}
