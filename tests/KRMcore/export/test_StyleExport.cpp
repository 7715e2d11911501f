// The export of a project: preparation by the engine, the style file
// written from our template, read back with our own reader, and failed
// exports that must leave an existing file alone.
#include "ExportFixture.h"

#include "CAudioInfo.h"
#include "CSmfStyle.h"
#include "ResultCode.h"

#include <gtest/gtest.h>

#include <QFile>
#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

using namespace export_test;

namespace {

QString templateFolder()
{
    return QFileInfo(QString(KRM_EMPTY_STYLE_SOURCE)).absolutePath();
}

// A project with Intro 1 (2 bars) and Fill In A (1 bar) rendered at 120.
struct TwoSectionProject : ClickProject {
    TwoSectionProject()
    {
        core->setResourcePath(1, 255, templateFolder());
        bool skipped = false;
        if (setSection(0, 0, 8) || setSection(7, 8, 12) || core->makeSectionAudio(0, skipped) ||
            core->makeSectionAudio(7, skipped))
            ADD_FAILURE() << "project set-up failed";
    }
};

struct Marker {
    std::string text;
    uint32_t time;
    bool operator==(const Marker& o) const { return text == o.text && time == o.time; }
};

std::vector<Marker> metaEvents(const CSmfStyleDecorator& doc, uint8_t type)
{
    std::vector<CEvnt*> events;
    doc.collectMetaEvents(type, events);
    std::vector<Marker> out;
    for (const CEvnt* e : events) {
        uint32_t time = 0, length = 0;
        e->getTime(&time);
        e->getDataLength(&length);
        out.push_back({std::string(reinterpret_cast<const char*>(e->dataBytes()), length), time});
    }
    return out;
}

const Chunk* find(const std::vector<Chunk>& chunks, const std::string& tag)
{
    for (const Chunk& c : chunks)
        if (c.tag == tag)
            return &c;
    return nullptr;
}

}  // namespace

TEST(StyleExport, FileReadsBackWithOurReader)
{
    TwoSectionProject p;
    const QString target = p.folder + "/out.aus";
    uint32_t size = 0;
    uint16_t attack = 0, beat = 0, sync = 0;
    p.core->raiseErrorFlag();  // left over from an earlier operation
    ASSERT_EQ(p.core->exportSty(target.toStdWString(), size, attack, beat, sync), 0u)
        << p.core->errorText().toStdString();
    EXPECT_FALSE(p.core->hasError());  // the export's own state
    const std::vector<uint8_t> bytes = testutil::readFile(target);
    EXPECT_EQ(size, bytes.size());
    EXPECT_EQ(attack, 0);
    EXPECT_EQ(beat, 0);
    EXPECT_EQ(sync, 0);

    // The style part: the two sections laid end to end after the first
    // bar, every other marker removed, the project tempo and metre.
    CSmfStyleDecorator doc;
    ASSERT_EQ(doc.load(bytes), 0u);
    EXPECT_EQ(metaEvents(doc, kMetaMarker),
              (std::vector<Marker> {{"SFF2", 0}, {"Intro A", 3840}, {"Fill In AA", 11520}}));
    EXPECT_EQ(metaEvents(doc, kMetaEndOfTrack), (std::vector<Marker> {{"", 15360}}));
    EXPECT_EQ(metaEvents(doc, kMetaTempo), (std::vector<Marker> {{"\x07\xA1\x20", 0}}));
    EXPECT_EQ(metaEvents(doc, kMetaTimeSignature), (std::vector<Marker> {{"\x04\x02\x18\x08", 0}}));

    // The audio part follows the style part and ends with the file.
    const std::vector<Chunk> top = chunksOf(bytes, 0, bytes.size());
    std::vector<std::string> tags;
    for (const Chunk& c : top)
        tags.push_back(c.tag);
    ASSERT_EQ(tags, (std::vector<std::string> {"MThd", "MTrk", "CASM", "AASM", "AFil"}));
    EXPECT_EQ(top.back().offset + top.back().length, bytes.size());

    const std::vector<Chunk> files = chunksOf(bytes, top[4].offset, top[4].offset + top[4].length);
    ASSERT_EQ(files.size(), 2u);
    const uint8_t sections[2] = {0, 7};
    const size_t beatPoints[2] = {9, 5};
    for (size_t k = 0; k < 2; ++k) {
        ASSERT_EQ(files[k].tag, "ADSg");
        const std::vector<Chunk> parts = chunksOf(bytes, files[k].offset, files[k].offset + files[k].length);
        const Chunk* wav = find(parts, "AWav");
        ASSERT_NE(wav, nullptr);
        const std::vector<Chunk> records = chunksOf(bytes, wav->offset + 4, wav->offset + wav->length);
        const Chunk* data = find(records, "Adat");
        const Chunk* info = find(records, "AInf");
        ASSERT_TRUE(data && info) << k;
        const std::vector<uint8_t> rendered = wavData(p.core->sectionWavePath(sections[k]));
        EXPECT_TRUE(std::equal(rendered.begin(), rendered.end(), bytes.begin() + long(data->offset)) &&
                    rendered.size() == data->length)
            << k;
        const std::vector<Chunk> lists = chunksOf(bytes, info->offset, info->offset + info->length);
        const Chunk* beats = find(lists, "BPnt");
        ASSERT_NE(beats, nullptr);
        EXPECT_EQ(beats->length, 8 * beatPoints[k]) << k;
    }
}

TEST(StyleExport, TemplateWithoutAudioKeepsFourFour)
{
    // No audio file in the model: the template gets 4/4 whatever the
    // settings say, and every marker goes.
    styMngr m;
    m.setTemplatePath(templateFolder() + "/Empty.sty");
    StyleInfo info;
    info.beatsPerBar = 3;
    info.beatUnit = 8;
    info.tempo = 100;
    ASSERT_EQ(m.setStyleInfo(info), 0u);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(m.buildTemplateStyle(bytes), 0u);
    CSmfStyleDecorator doc;
    ASSERT_EQ(doc.load(bytes), 0u);
    EXPECT_EQ(metaEvents(doc, kMetaTimeSignature), (std::vector<Marker> {{"\x04\x02\x18\x08", 0}}));
    EXPECT_EQ(metaEvents(doc, kMetaTempo), (std::vector<Marker> {{"\x09\x27\xC0", 0}}));
    EXPECT_EQ(metaEvents(doc, kMetaMarker), (std::vector<Marker> {{"SFF2", 0}}));
    EXPECT_EQ(metaEvents(doc, kMetaEndOfTrack), (std::vector<Marker> {{"", 1440}}));  // one bar of 3/8

    m.setTemplatePath(QString());
    EXPECT_EQ(m.buildTemplateStyle(bytes), 0x80000001u);
    m.setTemplatePath(templateFolder());  // a folder, not a file
    EXPECT_EQ(m.buildTemplateStyle(bytes), 0x80000002u);
}

TEST(StyleExport, TemplateLargerThanTheExportBufferIsRefused)
{
    // Our template with a text event of 16 MiB: its serialised form does
    // not fit the export buffer.
    testutil::TempDir dir;
    std::vector<uint8_t> bytes = testutil::readFile(QString(KRM_EMPTY_STYLE_SOURCE));
    CSmfStyle big;
    ASSERT_EQ(big.parse(bytes.data(), uint32_t(bytes.size())), 0u);
    const std::vector<uint8_t> text(styMngr::kExportBufferBytes, 'x');
    ASSERT_EQ(
        big.tracks.front()->addEvent(makeDataEvent(kStatusMeta, 0x01, 0, text.data(), uint32_t(text.size()))),
        0u);
    ASSERT_EQ(big.write(bytes), 0u);
    ASSERT_TRUE(testutil::writeFile(dir.path("Empty.sty"), bytes));

    styMngr m;
    m.setTemplatePath(dir.path("Empty.sty"));
    std::vector<uint8_t> out;
    EXPECT_EQ(m.buildTemplateStyle(out), 0x8000000Fu);
    EXPECT_TRUE(out.empty());
}

namespace {

// Runs an export over an existing target and checks that a failure leaves
// the folder exactly as it was.
struct FailedExport {
    const char* name;
    void (*setUp)(TwoSectionProject&);
    uint32_t code;
    bool unprivilegedOnly;
};

void expectUntouched(TwoSectionProject& p, const FailedExport& c)
{
    const QString target = p.folder + "/out.aus";
    const std::vector<uint8_t> old = {'o', 'l', 'd', ' ', 's', 't', 'y', 'l', 'e'};
    ASSERT_TRUE(testutil::writeFile(target, old));
    c.setUp(p);
    const QStringList before = folderEntries(p.folder);
    uint32_t size = 1;
    uint16_t attack = 0, beat = 0, sync = 0;
    EXPECT_EQ(p.core->exportSty(target.toStdWString(), size, attack, beat, sync), c.code) << c.name;
    EXPECT_EQ(size, 0u) << c.name;
    EXPECT_EQ(testutil::readFile(target), old) << c.name;
    EXPECT_EQ(folderEntries(p.folder), before) << c.name;
}

}  // namespace

TEST(StyleExport, FailedExportLeavesTheTargetAlone)
{
    const bool privileged = geteuid() == 0;  // permissions do not hold for root
    const FailedExport cases[] = {
        {"missing template",
         [](TwoSectionProject& p) { p.core->setResourcePath(1, 255, p.folder + "/none"); },
         krm::nest(0x80000023, 8), false},
        {"no used section",
         [](TwoSectionProject& p) {
             p.core->putSection(0, SectionRecord());
             p.core->putSection(7, SectionRecord());
         },
         krm::nest(0x80000028, 8), false},
        {"read-only target",
         [](TwoSectionProject& p) { QFile::setPermissions(p.folder + "/out.aus", QFile::ReadOwner); },
         krm::nest(0x80000007, 8), true},
        {"read-only folder",
         [](TwoSectionProject& p) { QFile::setPermissions(p.folder, QFile::ReadOwner | QFile::ExeOwner); },
         krm::nest(0x80000007, 8), true},
    };
    for (const FailedExport& c : cases) {
        if (c.unprivilegedOnly && privileged)
            continue;
        TwoSectionProject p;
        expectUntouched(p, c);
        QFile::setPermissions(p.folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

TEST(StyleExport, FileSizeLimitLeavesTheTargetAlone)
{
    // The system refuses to let the file grow past 64 KiB: a write or the
    // final flush fails, and the export with it.
    TwoSectionProject p;
    const QString target = p.folder + "/out.aus";
    const std::vector<uint8_t> old(1000, 7);
    ASSERT_TRUE(testutil::writeFile(target, old));
    const QStringList before = folderEntries(p.folder);
    rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    uint32_t size = 1;
    uint16_t attack = 0, beat = 0, sync = 0;
    const uint32_t r = p.core->exportSty(target.toStdWString(), size, attack, beat, sync);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_NE(r, 0u);
    EXPECT_EQ(r & 0xF, 8u);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(testutil::readFile(target), old);
    EXPECT_EQ(folderEntries(p.folder), before);
}

TEST(StyleExport, NewTargetIsWrittenWhole)
{
    TwoSectionProject p;
    const QString target = p.folder + "/new.aus";
    uint32_t size = 0;
    uint16_t attack = 0, beat = 0, sync = 0;
    ASSERT_EQ(p.core->exportSty(target.toStdWString(), size, attack, beat, sync), 0u);
    EXPECT_EQ(QFileInfo(target).size(), qint64(size));
    EXPECT_EQ(p.core->style()->exportStyle(std::wstring(), size, attack, beat, sync), 0x80000001u);
    EXPECT_EQ(size, 0u);

    // A target in a missing folder, or one that is a folder, cannot be
    // written; nothing is made or removed.
    const QStringList before = folderEntries(p.folder);
    EXPECT_EQ(p.core->exportSty((p.folder + "/none/x.aus").toStdWString(), size, attack, beat, sync),
              krm::nest(0x80000007, 8));
    ASSERT_TRUE(QDir(p.folder).mkdir("folder.aus"));
    EXPECT_EQ(p.core->exportSty((p.folder + "/folder.aus").toStdWString(), size, attack, beat, sync),
              krm::nest(0x80000007, 8));
    EXPECT_TRUE(QFileInfo(p.folder + "/folder.aus").isDir());
    EXPECT_EQ(folderEntries(p.folder), before);
    EXPECT_EQ(size, 0u);
}

// An export killed before its rename leaves its finished copy under a name
// of the safe save's own; the next export to that file removes it, and only
// it.
TEST(StyleExport, AnExportRemovesTheCopiesThatKilledExportsOfThatFileLeft)
{
    TwoSectionProject p;
    const QStringList left {".new.aus.k1LLed.stelvano-tmp", ".other.aus.k1LLed.stelvano-tmp"};
    for (const QString& name : left)
        ASSERT_TRUE(testutil::writeFile(p.folder + "/" + name, std::vector<uint8_t>(1000, 7)));
    QStringList expected = folderEntries(p.folder);
    expected.removeAll(left[0]);
    expected << "new.aus";
    expected.sort();
    uint32_t size = 0;
    uint16_t attack = 0, beat = 0, sync = 0;
    ASSERT_EQ(p.core->exportSty((p.folder + "/new.aus").toStdWString(), size, attack, beat, sync), 0u);
    EXPECT_EQ(folderEntries(p.folder), expected);
}

// ---------------------------------------------------------------- preparation

TEST(ExportPreparation, DeletedRenderedFile)
{
    TwoSectionProject p;
    const QString path = p.core->sectionWavePath(7);
    ASSERT_TRUE(QFile::remove(path));
    EXPECT_EQ(p.core->sendSectionAudio(7), 0x80000006u);
    EXPECT_EQ(p.core->errorText(), path + "\r\ndoes not exist.");
    EXPECT_EQ(p.core->sendAllSectionAudio(), 0x80000002u);
    uint32_t size = 0;
    uint16_t attack = 0, beat = 0, sync = 0;
    EXPECT_EQ(p.core->exportSty((p.folder + "/out.aus").toStdWString(), size, attack, beat, sync),
              0x80000022u);
    EXPECT_FALSE(QFile::exists(p.folder + "/out.aus"));

    EXPECT_EQ(p.core->sendSectionAudio(3), 0x80000002u);  // no wave
    EXPECT_EQ(p.core->sendSectionAudio(99), 0x80000002u);
}

TEST(ExportPreparation, SectionsAreAnnouncedWithTheirBars)
{
    // An intro with a pickup of 2 half beats and 4 bars plays 5 bars; a
    // used section without rendered audio stops the export.
    ClickProject p;
    p.core->setResourcePath(1, 255, templateFolder());
    SectionRecord intro = edit_test::section(0, 0, 16 * kBeat120);
    intro.barCount = 4;
    intro.pickupOn = 1;
    intro.pickupHalfBeats = 2;
    intro.renderedFrames = 5 * 88200;
    p.core->putSection(0, intro);
    const std::vector<uint8_t> audio = p.workFrames(0, 5 * 88200);
    writeWavFile(p.core->sectionWavePath(0), audio.data(), uint32_t(audio.size()));
    const std::wstring target = (p.folder + "/out.aus").toStdWString();
    uint32_t size = 0;
    uint16_t attack = 0, beat = 0, sync = 0;
    ASSERT_EQ(p.core->exportSty(target, size, attack, beat, sync), 0u) << p.core->errorText().toStdString();
    EXPECT_EQ(p.core->style()->styleInfo().sectionBars[0], 5u);
    EXPECT_EQ(p.core->style()->styleInfo().sectionLength[0], 5u * 88200);
    EXPECT_EQ(p.core->style()->styleInfo().sectionBars[3], 0u);

    intro.renderedFrames = 0;
    p.core->putSection(0, intro);
    EXPECT_EQ(p.core->exportSty(target, size, attack, beat, sync), 0x80000006u);

    // A project tempo of 0 is refused by the style manager.
    intro.renderedFrames = 5 * 88200;
    p.core->putSection(0, intro);
    p.core->commonInfo().tempo = 0;
    EXPECT_EQ(p.core->exportSty(target, size, attack, beat, sync), krm::nest(0x80000008, 7));
}

TEST(ExportPreparation, WaveInfoTextAndLevelsReachTheModel)
{
    const std::string& text = defaultWaveInfoText();
    EXPECT_EQ(text.size(), 221u);
    EXPECT_EQ(text, "$SFormatTag$,0x0001,\n$OriginalTempo$,500000,\n$OriginalTimeSignature$,4,2,24,8,\n"
                    "$PPQ$,480,\n$SampleSize$,22050,\n$NumberOfBars$,1,\n$SyncroPoint$,0,\n$BeatPoint$,0,\n"
                    "$OnsetPoint$,0,\n$AttackPoint$,0,\n$TempoInfo$,0,\n$Volume$,80,\n");

    ClickProject p;
    ASSERT_EQ(p.setSection(3, 0, 8), 0u);
    bool skipped = false;
    ASSERT_EQ(p.render(3, skipped), 0u);
    p.core->commonInfo().volume = 100;
    p.core->commonInfo().pan = 30;
    const int steps = p.core->undoCount();
    ASSERT_EQ(p.core->sendSectionAudio(3), 0u);
    // The model's volume comes back into the project without an undo step.
    EXPECT_EQ(p.core->commonInfo().volume, 80);
    EXPECT_EQ(p.core->commonInfo().pan, 30);
    EXPECT_EQ(p.core->undoCount(), steps);

    CAudioInfo* model = p.core->style()->audioInfo();
    CAudioFile* file = model->findFileForSection(0);
    ASSERT_NE(file, nullptr);
    uint8_t name[CAudioFile::kNameBytes + 1] = {};
    uint32_t length = CAudioFile::kNameBytes;
    file->getName(name, &length);
    EXPECT_STREQ(reinterpret_cast<const char*>(name), "KRM_temp_Main A");
    std::string path;
    file->getWaveForm()->getData()->getFileName(path);
    EXPECT_EQ(QString::fromStdString(path), p.core->sectionWavePath(3));
    const CAudioStyleWaveFormat* format = file->getWaveForm()->getStyleFormat();
    uint16_t tag = 0, bars = 0;
    uint32_t sampleSize = 0;
    format->getFormatTag(&tag);
    format->getNumberOfBars(&bars);
    format->getSampleSize(&sampleSize);
    EXPECT_EQ(tag, 1);
    EXPECT_EQ(bars, 1);
    EXPECT_EQ(sampleSize, 22050u);
    uint16_t ppq = 0;
    model->findSectionById(0)->getPpq(&ppq);
    EXPECT_EQ(ppq, 480);

    std::string utf8;
    toUtf8String(L"K\u00fcr/\u00c9t\u00e9", utf8);
    EXPECT_EQ(utf8, "K\xc3\xbcr/\xc3\x89t\xc3\xa9");
    toUtf8String(L"", utf8);
    EXPECT_TRUE(utf8.empty());
}

TEST(ExportPreparation, NormalisationRaisesQuietFiles)
{
    // Main A peaks at full scale (common gain 1.0), Main B at half of it
    // (own gain about 2.0): with a blend of 50 Main B is raised by about
    // 1.5 and Main A is left alone.
    ClickProject p;
    std::vector<uint8_t> loud(4000 * 4), quiet(4000 * 4);
    for (uint32_t f = 0; f < 4000; ++f) {
        const double s = std::sin(f * 0.01);
        for (int c = 0; c < 2; ++c) {
            const auto a = int16_t(std::lround(32767 * s)),
                       b = int16_t(std::lround(16384 * s * (c ? 0.5 : 1)));
            loud[4 * f + 2 * c] = uint8_t(uint16_t(a));
            loud[4 * f + 2 * c + 1] = uint8_t(uint16_t(a) >> 8);
            quiet[4 * f + 2 * c] = uint8_t(uint16_t(b));
            quiet[4 * f + 2 * c + 1] = uint8_t(uint16_t(b) >> 8);
        }
    }
    for (auto [i, data] : {std::pair<uint8_t, const std::vector<uint8_t>*> {3, &loud}, {4, &quiet}}) {
        SectionRecord rec = edit_test::section(0, 0, 4000);
        rec.barCount = 1;
        rec.renderedFrames = 4000;
        p.core->putSection(i, rec);
        writeWavFile(p.core->sectionWavePath(i), data->data(), uint32_t(data->size()));
        p.core->setReady(i);
    }
    p.core->commonInfo().normalizeBlend = 50;
    ASSERT_EQ(p.core->normalizeSectionLevels(), 0u);

    EXPECT_EQ(wavData(p.core->sectionWavePath(3)), loud);
    EXPECT_TRUE(p.core->isSecWavReady(3));
    EXPECT_FALSE(p.core->isSecWavReady(4));
    const float gain =
        float(double(50.0f * (32767.0f / 32767.0f)) / 100.0 + double(50.0f * (32767.0f / 16384.0f)) / 100.0);
    EXPECT_NEAR(gain, 1.5, 1e-4);
    const std::vector<uint8_t> raised = wavData(p.core->sectionWavePath(4));
    ASSERT_EQ(raised.size(), quiet.size());
    for (size_t f = 0; f < 4000; ++f)
        for (int c = 0; c < 2; ++c)
            ASSERT_EQ(sampleAt(raised, f, c), int16_t(std::trunc(float(sampleAt(quiet, f, c)) * gain))) << f;

    // All silent: nothing is written.
    ClickProject s;
    const std::vector<uint8_t> zeros(400, 0);
    SectionRecord rec = edit_test::section(0, 0, 100);
    s.core->putSection(3, rec);
    writeWavFile(s.core->sectionWavePath(3), zeros.data(), uint32_t(zeros.size()));
    s.core->setReady(3);
    EXPECT_EQ(s.core->normalizeSectionLevels(), 0u);
    EXPECT_TRUE(s.core->isSecWavReady(3));
    QFile::remove(s.core->sectionWavePath(3));
    EXPECT_EQ(s.core->normalizeSectionLevels(), 0x80000003u);
}

// ---------------------------------------------------------------- failure texts

namespace {

// Bytes of a section's working file, changed by `damage`, written back.
void damageFile(const QString& path, const std::function<void(std::vector<uint8_t>&)>& damage)
{
    std::vector<uint8_t> bytes = testutil::readFile(path);
    damage(bytes);
    ASSERT_TRUE(testutil::writeFile(path, bytes));
}

}  // namespace

// Every failure of the export leaves a text that says what failed (the
// file that cannot be read or written, the template, else the code), and
// none of them claims a lack of memory.
TEST(StyleExport, EveryFailureLeavesItsText)
{
    using Text = std::function<QString(TwoSectionProject&, const QString& target)>;
    const Text introUnreadable = [](TwoSectionProject& p, const QString&) {
        return "wave file read error!\r\n" + p.core->sectionWavePath(0);
    };
    const Text targetUnwritable = [](TwoSectionProject&, const QString& target) {
        return "Write error!\r\n" + target;
    };
    const Text templateUnreadable = [](TwoSectionProject& p, const QString&) {
        return "Template File failed to load.\r\n" + p.core->style()->templatePath();
    };
    const auto codeText = [](uint32_t code) {
        return [code](TwoSectionProject&, const QString&) {
            return QString("Style File creation failed. [%1]").arg(code, 0, 16);
        };
    };
    const auto cutIntro = [](size_t bytes) {
        return [bytes](TwoSectionProject& p) {
            damageFile(p.core->sectionWavePath(0), [bytes](std::vector<uint8_t>& b) { b.resize(bytes); });
        };
    };
    struct Case {
        const char* name;
        std::function<void(TwoSectionProject&)> setUp;
        QString target;  // in the project's folder
        uint32_t code;
        Text text;
    };
    const Case cases[] = {
        {"empty section file", cutIntro(0), "out.aus", 0x80237228, introUnreadable},
        {"section file cut in its header", cutIntro(30), "out.aus", 0x80237228, introUnreadable},
        {"section file with a header only", cutIntro(44), "out.aus", 0x80087228, introUnreadable},
        {"section file cut in its data", cutIntro(44 + 1000), "out.aus", 0x80087228, introUnreadable},
        {"section file with a damaged tag",
         [](TwoSectionProject& p) {
             damageFile(p.core->sectionWavePath(0), [](std::vector<uint8_t>& b) { b[0] = 'X'; });
         },
         "out.aus", 0x80337228, introUnreadable},
        {"section file cut, levels normalised",
         [&](TwoSectionProject& p) {
             cutIntro(44 + 1000)(p);
             p.core->commonInfo().normalizeOn = 1;
         },
         "out.aus", 0x80000033, introUnreadable},
        {"deleted section file", [](TwoSectionProject& p) { QFile::remove(p.core->sectionWavePath(0)); },
         "out.aus", 0x80000022,
         [](TwoSectionProject& p, const QString&) {
             return p.core->sectionWavePath(0) + "\r\ndoes not exist.";
         }},
        {"missing template",
         [](TwoSectionProject& p) { p.core->setResourcePath(1, 255, p.folder + "/none"); }, "out.aus",
         0x80000238, templateUnreadable},
        {"damaged template",
         [](TwoSectionProject& p) {
             ASSERT_TRUE(QDir(p.folder).mkdir("bad"));
             ASSERT_TRUE(testutil::writeFile(p.folder + "/bad/Empty.sty", {'M', 'T', 'h', 'x', 0, 0}));
             p.core->setResourcePath(1, 255, p.folder + "/bad");
         },
         "out.aus", 0x83412538, templateUnreadable},
        {"target in a missing folder", [](TwoSectionProject&) {}, "none/out.aus", 0x80000078,
         targetUnwritable},
        {"target is a folder", [](TwoSectionProject& p) { ASSERT_TRUE(QDir(p.folder).mkdir("dir.aus")); },
         "dir.aus", 0x80000078, targetUnwritable},
        // Holds for root too, for whom permissions do not stop a write.
        {"target's folder is a file",
         [](TwoSectionProject& p) { ASSERT_TRUE(testutil::writeFile(p.folder + "/plain", {'x'})); },
         "plain/out.aus", 0x80000078, targetUnwritable},
        {"used section without rendered audio",
         [](TwoSectionProject& p) {
             SectionRecord rec = p.core->sec(7);
             rec.renderedFrames = 0;
             p.core->putSection(7, rec);
         },
         "out.aus", 0x80000006, codeText(0x80000006)},
        {"no used section",
         [](TwoSectionProject& p) {
             p.core->putSection(0, SectionRecord());
             p.core->putSection(7, SectionRecord());
         },
         "out.aus", 0x80000288, codeText(0x80000288)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TwoSectionProject p;
        c.setUp(p);
        const QString target = p.folder + "/" + c.target;
        uint32_t size = 1;
        uint16_t attack = 0, beat = 0, sync = 0;
        p.core->clearError();
        EXPECT_EQ(p.core->exportSty(target.toStdWString(), size, attack, beat, sync), c.code);
        EXPECT_EQ(size, 0u);
        EXPECT_EQ(p.core->errorText(), c.text(p, target));
        EXPECT_FALSE(p.core->hasError()) << "no lack of memory";
    }

    // A full disk (the process's file-size limit) refuses the style file.
    TwoSectionProject p;
    const QString target = p.folder + "/out.aus";
    uint32_t size = 1, r = 0;
    uint16_t attack = 0, beat = 0, sync = 0;
    testutil::withFileSizeLimit(
        64 * 1024, [&] { r = p.core->exportSty(target.toStdWString(), size, attack, beat, sync); });
    EXPECT_EQ(r, 0x80001388u);
    EXPECT_EQ(p.core->errorText(), "Write error!\r\n" + target);
    EXPECT_FALSE(p.core->hasError());
}
