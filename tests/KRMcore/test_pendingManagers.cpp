#include "IF_segmenter.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// Managers whose work is not in this build must refuse it loudly: a failure
// code, an error text and the error flag, never a silent success.
TEST(PendingManagers, RefuseWorkWithCodeAndText)
{
    std::unique_ptr<IF_segmenter> seg(createSegmenter());

    struct ErrorTrio {
        std::function<QString()> text;
        std::function<void()> clear;
        std::function<bool()> has;
    };
    const ErrorTrio segErr {[&] { return seg->errorText(); }, [&] { seg->clearError(); },
                            [&] { return seg->hasError(); }};

    struct Case {
        const char* name;
        const ErrorTrio* err;
        std::function<uint32_t()> op;
        const char* text;
    };
    const Case cases[] = {
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
}

TEST(PendingManagers, SettingsStillWork)
{
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
