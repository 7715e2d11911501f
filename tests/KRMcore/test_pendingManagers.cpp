#include "IF_segmenter.h"
#include "IF_styMngr.h"
#include "IF_timeStretch.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// Managers whose work is not in this build must refuse it loudly: a failure
// code, an error text and the error flag, never a silent success.
TEST(PendingManagers, RefuseWorkWithCodeAndText)
{
    std::unique_ptr<IF_styMngr> sty(createStyMngr());
    std::unique_ptr<IF_timeStretch> ts(createTimeStretch());
    std::unique_ptr<IF_segmenter> seg(createSegmenter());

    struct ErrorTrio {
        std::function<QString()> text;
        std::function<void()> clear;
        std::function<bool()> has;
    };
    const ErrorTrio styErr {[&] { return sty->errorText(); }, [&] { sty->clearError(); },
                            [&] { return sty->hasError(); }};
    const ErrorTrio tsErr {[&] { return ts->errorText(); }, [&] { ts->clearError(); },
                           [&] { return ts->hasError(); }};
    const ErrorTrio segErr {[&] { return seg->errorText(); }, [&] { seg->clearError(); },
                            [&] { return seg->hasError(); }};

    std::vector<uint8_t> in(16, 1), out;
    std::vector<double> ratios;
    uint32_t u32 = 0;
    uint16_t a = 0, b = 0, c = 0;
    uint8_t flag = 0, vol = 80, pan = 64, rev = 0;

    struct Case {
        const char* name;
        const ErrorTrio* err;
        std::function<uint32_t()> op;
        const char* text;
    };
    const Case cases[] = {
        {"exportStyle", &styErr, [&] { return sty->exportStyle(L"x.aus", u32, a, b, c); },
         "style manager is not available in this build"},
        {"setStyleInfo", &styErr, [&] { return sty->setStyleInfo(StyleInfo()); },
         "style manager is not available in this build"},
        {"setSectionAudio", &styErr,
         [&] { return sty->setSectionAudio("t", 1, "n", 1, "p", 1, 0, &vol, &pan, &rev); },
         "style manager is not available in this build"},
        {"stretch", &tsErr, [&] { return ts->stretch(in, out); },
         "time-stretch manager is not available in this build"},
        {"stretchRange", &tsErr,
         [&] {
             return ts->stretchRange(in, out, {0, 4});
         },
         "time-stretch manager is not available in this build"},
        {"getEngineOutput", &tsErr, [&] { return ts->getEngineOutput(flag, ratios); },
         "time-stretch manager is not available in this build"},
        {"run", &segErr, [&] { return seg->run("x.wav", SegmenterTimeSig()); },
         "segmenter is not available in this build"},
    };
    for (const Case& k : cases) {
        EXPECT_FALSE(k.err->has()) << k.name;
        EXPECT_EQ(k.op(), 0x80000001u) << k.name;
        EXPECT_TRUE(k.err->has()) << k.name;
        EXPECT_EQ(k.err->text(), k.text) << k.name;
        k.err->clear();
        EXPECT_FALSE(k.err->has()) << k.name;
        EXPECT_TRUE(k.err->text().isEmpty()) << k.name;
    }
    EXPECT_TRUE(out.empty());
}

TEST(PendingManagers, SettingsAndTablesStillWork)
{
    std::unique_ptr<IF_styMngr> sty(createStyMngr());
    EXPECT_EQ(sty->maxPoints(), 1024);
    EXPECT_EQ(sty->limitB(), 256);
    EXPECT_EQ(sty->limitC(), 256);
    EXPECT_EQ(sty->setMaxPoints(12), 12);
    EXPECT_EQ(sty->setLimitB(13), 13);
    EXPECT_EQ(sty->setLimitC(14), 14);
    EXPECT_EQ(sty->maxPoints(), 12);
    EXPECT_EQ(sty->limitB(), 13);
    EXPECT_EQ(sty->limitC(), 14);
    EXPECT_EQ(sty->clearAudio(), 0u);
    EXPECT_FALSE(sty->hasError());

    const uint8_t ids[15] = {8, 9, 10, 0, 1, 2, 3, 4, 5, 6, 7, 17, 12, 13, 14};
    const uint8_t slots_[15] = {3, 9, 15, 0, 6, 12, 18, 1, 7, 13, 19, 8, 4, 10, 16};
    for (uint8_t i = 0; i < 15; ++i) {
        EXPECT_EQ(sty->sectionToStyleId(i), ids[i]) << int(i);
        EXPECT_EQ(sty->sectionToStyleSlot(i), slots_[i]) << int(i);
    }
    EXPECT_EQ(sty->sectionToStyleId(15), 0);
    EXPECT_EQ(sty->sectionToStyleSlot(200), 0);

    std::unique_ptr<IF_segmenter> seg(createSegmenter());
    std::vector<float> idx {1.0f, 2.0f};
    uint32_t num = 0, den = 0;
    seg->dump(idx, num, den);
    EXPECT_TRUE(idx.empty());
    EXPECT_EQ(num, 4u);
    EXPECT_EQ(den, 4u);
    EXPECT_EQ(seg->setSegments({{15, 0.0f, 1.0f, 2}, {15, 1.0f, 2.0f, 3}}), 2);
    ASSERT_EQ(seg->segments().size(), 2u);
    EXPECT_EQ(seg->segments()[1].label, 3u);
    EXPECT_EQ(seg->setSegments({}), 0);
    EXPECT_TRUE(seg->segments().empty());
    EXPECT_EQ(seg->qobject(), seg.get());

    std::vector<unsigned> seen;
    QObject::connect(seg.get(), &IF_segmenter::signalProgress,
                     [&](const unsigned char v) { seen.push_back(v); });
    seg->thruProgress(55);
    EXPECT_EQ(seen, std::vector<unsigned> {55});
}
