#include "BuiltinModelTexts.h"
#include "ChordModelBuilder.h"
#include "ModelTextReaders.h"
#include "MusicConstants.h"
#include "OfflineHmm.h"
#include "TaviHmmFactory.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <QFile>

#include <cmath>
#include <functional>
#include <memory>

using namespace tavi;

namespace {

struct Loaded {
    std::unique_ptr<TaviHmm> hmm;
    int status = -1;
    int featureType = -1;
};

Loaded load(ITaviPlainTextStreamReader& reader, int beatsPerBar = 4)
{
    TaviHmmPlainTextFactory factory(reader);
    Loaded l;
    l.hmm.reset(factory.create(l.featureType, true, 0, beatsPerBar));
    l.status = factory.status();
    return l;
}

Loaded loadFolder(const QString& folder, int beatsPerBar = 4)
{
    TaviPlainTextFileStreamReader reader(folder.toStdWString(), L"Mixture");
    return load(reader, beatsPerBar);
}

OfflineHmm& decoderOf(const Loaded& l)
{
    auto* d = dynamic_cast<OfflineHmm*>(l.hmm->decoder().get());
    if (!d)
        throw std::runtime_error("no offline decoder");
    return *d;
}

// A one-class model folder with hand-made transition counts for 2 beats.
void writeSmallModel(const QString& folder, const std::string& counts)
{
    ASSERT_TRUE(QDir().mkpath(folder + "/Mixture"));
    auto write = [](const QString& path, const std::string& text) {
        ASSERT_TRUE(testutil::writeFile(path, std::vector<uint8_t>(text.begin(), text.end())))
            << path.toStdString();
    };
    write(folder + "/chordlist.txt", "0 0\n");
    write(folder + "/Mixture/0.Mixture", builtinModelTexts().pdfs.at("0"));
    for (const char* mode : {"major", "minor"})
        for (int b = 0; b < 2; ++b)
            write(folder + "/transition." + mode + ".2." + QString::number(b) + ".txt", counts);
}

}  // namespace

TEST(ModelTexts, TransitionKeys)
{
    EXPECT_EQ(transitionKey(1, 2, 3), "transition.minor.3.2");
    EXPECT_EQ(transitionKey(0, 0, 4), "transition.major.4.0");
    EXPECT_EQ(transitionKey(7, 1, 2), "transition.minor.2.1");
    EXPECT_EQ(transitionKey(-1, 3, 4), "transition.minor.4.3");
}

TEST(ModelTexts, BuiltinModelLoads)
{
    TaviPlainTextResourceStreamReader reader;
    const Loaded l = load(reader);
    EXPECT_EQ(l.status, 0);
    EXPECT_EQ(l.featureType, 4);
    ASSERT_EQ(l.hmm->classCount(), 7);
    EXPECT_EQ(l.hmm->modes(), 2);
    EXPECT_EQ(l.hmm->keys(), 12);
    EXPECT_EQ(l.hmm->beatsPerBar(), 4);
    const std::vector<int32_t> ids = {17, 2, 7, 8, 19, 0, 10};
    const char* types[] = {"DIM", "MAJ7", "AUG", "MIN", "7", "MAJ", "MIN7"};
    EXPECT_EQ(l.hmm->classTable(), ids);
    for (int c = 0; c < 7; ++c)
        EXPECT_STREQ(chordTypeNames[ids[c]], types[c]) << c;
    EXPECT_EQ(decoderOf(l).classCount(), 7);
    EXPECT_EQ(decoderOf(l).beatsPerBar(), 4);

    // Without key and meter: one mode, one beat, one key (and no built-in
    // transition text for one beat per bar).
    TaviHmmPlainTextFactory factory(reader);
    int feature = -1;
    std::unique_ptr<TaviHmm> plain(factory.create(feature, false, 0, 4));
    EXPECT_EQ(factory.status(), 1);
    EXPECT_EQ(plain->modes(), 1);
    EXPECT_EQ(plain->beatsPerBar(), 1);
    EXPECT_EQ(plain->keys(), 1);

    // The creator gets the shape and the user value.
    int user = 0;
    std::vector<int> shape;
    TaviHmmPlainTextFactory custom(
        reader,
        [&](int classes, int beatsPerBar, void* u) {
            shape = {classes, beatsPerBar};
            *static_cast<int*>(u) = 1;
            return createOfflineHmm(classes, beatsPerBar, u);
        },
        &user);
    std::unique_ptr<TaviHmm> three(custom.create(feature, true, 0, 3));
    EXPECT_EQ(custom.status(), 0);
    EXPECT_EQ(shape, (std::vector<int> {7, 3}));
    EXPECT_EQ(user, 1);
}

TEST(ModelTexts, ResourceReaderStreams)
{
    TaviPlainTextResourceStreamReader reader;
    EXPECT_TRUE(reader.openPdfStream("17").good());
    EXPECT_TRUE(reader.openPdfStream("nonsense").bad());
    EXPECT_TRUE(reader.openPdfStream("0").good()) << "each open clears the state";
    EXPECT_TRUE(reader.openTransitionStream(1, 2, 3).good());
    EXPECT_TRUE(reader.openTransitionStream(0, 0, 5).bad());
    std::string list;
    std::getline(reader.openChordListStream(), list);
    EXPECT_EQ(list, "17 0");

    for (int beats : {5, 1}) {
        const Loaded l = load(reader, beats);
        EXPECT_EQ(l.status, 1) << beats << " beats per bar have no transition texts";
    }
}

TEST(ModelTexts, FileReaderPathsAndAFolderLikeTheBuiltinCopy)
{
    testutil::TempDir dir;
    TaviPlainTextFileStreamReader paths(L"m", L"Mixture");
    EXPECT_EQ(paths.pdfPath("17"), L"m/Mixture/17.Mixture");
    EXPECT_EQ(paths.chordListPath(), L"m/chordlist.txt");
    EXPECT_EQ(paths.transitionPath(0, 0, 4), L"m/transition.major.4.0.txt");
    EXPECT_EQ(paths.transitionPath(3, 1, 2), L"m/transition.minor.2.1.txt");
    EXPECT_TRUE(paths.openChordListStream().fail());

    // A folder name outside ASCII works.
    const QString folder = dir.path(QString::fromUtf8("mod\xc3\xa8les \xe6\xa8\xa1\xe5\x9e\x8b"));
    ASSERT_TRUE(chordmodels::writeModelFolder(builtinModelTexts(), folder.toUtf8().toStdString()));
    ASSERT_TRUE(QFile::exists(folder + "/Mixture/17.Mixture"));
    const Loaded fromFiles = loadFolder(folder);
    TaviPlainTextResourceStreamReader resources;
    const Loaded builtin = load(resources);
    ASSERT_EQ(fromFiles.status, 0);
    EXPECT_EQ(fromFiles.featureType, 4);
    EXPECT_EQ(fromFiles.hmm->classTable(), builtin.hmm->classTable());

    OfflineHmm& a = decoderOf(fromFiles);
    OfflineHmm& b = decoderOf(builtin);
    for (int m = 0; m < 2; ++m)
        for (int beat = 0; beat < 4; ++beat)
            for (int s = 0; s < 84; ++s)
                ASSERT_EQ(a.transitionsInto(m, beat, s), b.transitionsInto(m, beat, s)) << m << beat << s;
    for (int t = 0; t < 6; ++t) {
        std::vector<double> f(26);
        for (int i = 0; i < 26; ++i)
            f[i] = std::cos(0.9 * i * (t + 1));
        a.addObservation(f);
        b.addObservation(f);
    }
    EXPECT_EQ(a.decode(), b.decode());
    for (int t = 0; t < 6; ++t)
        EXPECT_EQ(a.pathState(t), b.pathState(t));
}

TEST(ModelTexts, ChordListEndsAtABlankLineOrTheEnd)
{
    const struct {
        std::string list;
        int classes;
    } cases[] = {
        {"17 0\n2 1", 2},           {"17 0\n2 1\n", 2}, {"17 1\n2 0\n\n8 2\n", 2},
        {"17 0\r\n2 1\r\n\r\n", 2}, {"8 0", 1},
    };
    for (const auto& c : cases) {
        testutil::TempDir dir;
        chordmodels::ModelTexts texts = builtinModelTexts();
        texts.chordList = c.list;
        ASSERT_TRUE(chordmodels::writeModelFolder(texts, dir.path("m").toStdString()));
        const Loaded l = loadFolder(dir.path("m"));
        EXPECT_EQ(l.status, 0) << c.list;
        EXPECT_EQ(l.hmm->classCount(), c.classes) << c.list;
    }
}

TEST(ModelTexts, BrokenFoldersFailTheLoad)
{
    using Texts = chordmodels::ModelTexts;
    const std::string pdf = builtinModelTexts().pdfs.at("8");
    const std::string transition = builtinModelTexts().transitions.at("transition.minor.4.2");
    std::string list22;
    for (int c = 0; c < 22; ++c)
        list22 += "8 " + std::to_string(c) + "\n";
    const struct {
        const char* what;
        std::function<void(Texts&)> damage;
    } cases[] = {
        {"class index past the lines", [](Texts& t) { t.chordList = "17 0\n2 7"; }},
        {"negative class index", [](Texts& t) { t.chordList = "17 0\n2 -1"; }},
        {"a class without a line", [](Texts& t) { t.chordList = "17 0\n2 0"; }},
        {"malformed chord-list line", [](Texts& t) { t.chordList = "17 0\ntwo 1"; }},
        {"empty chord list", [](Texts& t) { t.chordList = ""; }},
        {"more classes than back-pointers hold", [&](Texts& t) { t.chordList = list22; }},
        {"pdf id -1", [](Texts& t) { t.chordList = "17 0\n-1 1"; }},
        {"missing pdf text", [](Texts& t) { t.pdfs.erase("8"); }},
        {"truncated pdf text", [&](Texts& t) { t.pdfs["8"] = pdf.substr(0, pdf.size() / 2); }},
        {"pdf mean of 11 values",
         [&](Texts& t) { t.pdfs["8"] = "[1](1)\n10 -6\n[11](1,1,1,1,1,1,1,1,1,1,1)\n" + pdf; }},
        {"missing transition text", [](Texts& t) { t.transitions.erase("transition.minor.4.2"); }},
        {"truncated transition text",
         [&](Texts& t) {
             t.transitions["transition.minor.4.2"] = transition.substr(0, transition.size() / 3);
         }},
        {"malformed transition text",
         [&](Texts& t) { t.transitions["transition.minor.4.2"] = "1 2 x " + transition; }},
        {"missing chord list", [](Texts&) {}},
    };
    for (const auto& c : cases) {
        testutil::TempDir dir;
        Texts texts = builtinModelTexts();
        c.damage(texts);
        ASSERT_TRUE(chordmodels::writeModelFolder(texts, dir.path("m").toStdString()));
        if (std::string(c.what) == "missing chord list")
            QFile::remove(dir.path("m/chordlist.txt"));
        const Loaded l = loadFolder(dir.path("m"));
        EXPECT_EQ(l.status, 1) << c.what;
        EXPECT_NE(l.hmm, nullptr) << c.what;
    }
    testutil::TempDir dir;
    ASSERT_TRUE(chordmodels::writeModelFolder(builtinModelTexts(), dir.path("m").toStdString()));
    EXPECT_EQ(loadFolder(dir.path("m")).status, 0) << "the undamaged folder";
}

TEST(ModelTexts, ZeroCountsOnTheDiagonalKeepASmallSelfTransition)
{
    // 12 x 12 counts: row r holds 0 on the diagonal, 3 at r + 1, 0 elsewhere.
    std::string counts;
    for (int from = 0; from < 12; ++from) {
        for (int to = 0; to < 12; ++to)
            counts += (to ? " " : "") + std::string(to == (from + 1) % 12 ? "3" : "0");
        counts += "\n";
    }
    testutil::TempDir dir;
    writeSmallModel(dir.path("m"), counts);
    const Loaded l = loadFolder(dir.path("m"), 2);
    ASSERT_EQ(l.status, 0);
    OfflineHmm& d = decoderOf(l);
    for (int b = 0; b < 2; ++b) {
        const auto& into5 = d.transitionsInto(1, b, 5);
        ASSERT_EQ(into5.size(), 2u) << b;
        EXPECT_EQ(into5[0].first, 4);
        EXPECT_NEAR(into5[0].second, std::log(3.0), 1e-6);
        EXPECT_EQ(into5[1].first, 5);
        EXPECT_NEAR(into5[1].second, std::log(0.01 * (b == 0 ? 1.0 : 1000.0)), 1e-6) << b;
    }
}
