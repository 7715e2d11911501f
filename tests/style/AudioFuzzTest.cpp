// Malformed wave-info texts and WAV files: every truncation and many bit
// flips go through the reader and, when the text is taken, through the
// writer of the audio part. Nothing may crash or trip the sanitizers.
#include "AudioFixtures.h"
#include "CAudioStyle.h"
#include "RecordingWarningSink.h"

#include <gtest/gtest.h>

using sb::Bytes;

namespace {

std::string richWaveInfo()
{
    std::string t = af::defaultWaveInfo();
    auto put = [&](const std::string& from, const std::string& to) {
        t.replace(t.find(from), from.size(), to);
    };
    put("$SyncroPoint$,0,\n", "$SyncroPoint$,2,\n\t,0,0,67436550,\n\t,11025,1,0,\n");
    put("$BeatPoint$,0,\n", "$BeatPoint$,2,\n\t,0,0,0,\n\t,22050,1,0,\n");
    put("$AttackPoint$,0,\n", "$AttackPoint$,1,\n\t\t,100,0,87,\n");
    put("$TempoInfo$,0,\n", "$TempoInfo$,1,\n,0,500000,\n");
    return t;
}

}  // namespace

TEST(AudioFuzz, DamagedWaveInfoTexts)
{
    testutil::RecordingWarningSink quiet;
    const krm::WarningSinkScope scope(&quiet);
    testutil::TempDir dir;
    const std::string wav = dir.path("w.wav").toStdString();
    af::writeWav(QString::fromStdString(wav), 8);
    const std::string text = richWaveInfo();
    CAudioInfo check;
    ASSERT_EQ(af::assign(check, text, "w", wav, 0), 0u);

    const Bytes bytes(text.begin(), text.end());
    int id = 0;
    CAudioInfo shared;  // one model through all of them: reuse and replacement paths too
    for (const Bytes& damaged : testutil::damagedCopies(bytes, 7, 600)) {
        const std::string t(damaged.begin(), damaged.end());
        CAudioInfo fresh;
        if (af::assign(fresh, t, "w", wav, id % 20) == 0) {
            CAudioStyleDecorator writer;
            Bytes out;
            EXPECT_EQ(writer.writeAudioPart(&fresh, out), 0u);
        }
        af::assign(shared, t, "take" + std::to_string(id % 3), wav, id % 20);
        ++id;
    }
    CAudioStyleDecorator writer;
    Bytes out;
    writer.writeAudioPart(&shared, out);
}

TEST(AudioFuzz, DamagedWaveFiles)
{
    testutil::TempDir dir;
    const QString path = dir.path("d.wav");
    const Bytes data = fixtures::sampleBytes(fixtures::ramp(300));
    const Bytes file = sb::cat({fixtures::canonicalHeader(uint32_t(data.size())), data});
    for (const Bytes& damaged : testutil::damagedCopies(file, 11, 300)) {
        ASSERT_TRUE(testutil::writeFile(path, damaged));
        Bytes out;
        const uint32_t r = CAudioStyle::readWaveFile(out, path.toStdString());
        EXPECT_LE(out.size(), data.size() + 4);
        if (r == 0) {
            EXPECT_FALSE(out.empty());
        }
        CAudioWaveFormat f;
        CAudioStyle::readWaveFormat(&f, path.toStdString());
    }
}
