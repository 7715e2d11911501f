// The render of the audition, driven through the holder's programming calls
// with readers in memory. Each case lists, per output frame, which song
// frame and which frames of the two click sounds must be heard there.
#include "AudioDeviceASFF.h"
#include "AudioOutDeviceCallbackSeq.h"
#include "AudioTestSupport.h"

#include <QCoreApplication>
#include <QStringList>
#include <QThread>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

using audiotest::MemoryReader;
using audiotest::Samples;

namespace {

// Song frame i: left 101 (i + 1), right the negative (odd, so that halving
// shows the rounding); first click frame j: 1000 (j + 1); second: 10 (j + 1).
Samples song(int frames)
{
    Samples s;
    for (int i = 0; i < frames; ++i) {
        s.push_back(int16_t(101 * (i + 1)));
        s.push_back(int16_t(-101 * (i + 1)));
    }
    return s;
}

Samples click(int frames, int unit)
{
    Samples s;
    for (int j = 0; j < frames; ++j) {
        s.push_back(int16_t(unit * (j + 1)));
        s.push_back(int16_t(unit * (j + 1)));
    }
    return s;
}

struct RenderCase {
    const char* name;
    int songFrames;
    int click1Frames;
    int click2Frames;
    uint8_t level;
    uint8_t clickFlag;
    uint8_t secondFlag;
    bool loop;
    int loopStart;
    int loopEnd;
    int startFrame;
    std::vector<int32_t> triggers1;
    std::vector<int32_t> triggers2;
    int frames;                      // per buffer
    std::vector<const char*> heard;  // one line per buffer
    bool ends;                       // the pass ends in the last buffer
};

// A line of "s<song frame>+a<first click frame>+b<second click frame>"
// tokens, one per output frame; "_" is silence.
void expectedBuffer(const char* line, const RenderCase& c, std::vector<int>& left, std::vector<int>& right)
{
    std::istringstream tokens(line);
    std::string token;
    while (tokens >> token) {
        int l = 0;
        int r = 0;
        std::istringstream parts(token);
        std::string part;
        while (std::getline(parts, part, '+')) {
            if (part == "_")
                continue;
            const int n = std::stoi(part.substr(1));
            if (part[0] == 's') {
                l += 101 * (n + 1) * c.level / 100;  // integer division rounds toward zero
                r += -101 * (n + 1) * c.level / 100;
            } else {
                const int unit = part[0] == 'a' ? 1000 : 10;
                l += unit * (n + 1);
                r += unit * (n + 1);
            }
        }
        left.push_back(l);
        right.push_back(r);
    }
}

// clang-format off
const std::vector<RenderCase> kCases = {
    // name, song/click1/click2 frames, level, click flag, second flag, loop, loop start, loop end, start frame,
    // triggers 1, triggers 2, frames per buffer, heard, ends
    {"level 100 keeps the song", 12, 3, 3, 100, 0, 0, false, 2, 12, 2, {}, {}, 6,
     {"s2 s3 s4 s5 s6 s7"}, false},
    {"level 50 halves toward zero", 12, 3, 3, 50, 0, 0, false, 2, 12, 2, {}, {}, 6,
     {"s2 s3 s4 s5 s6 s7"}, false},
    {"level 0 leaves only the clicks", 12, 3, 3, 0, 1, 1, false, 2, 12, 2, {0}, {4}, 6,
     {"a0 a1 a2 _ b0 b1"}, false},
    {"click flag clear: no click whatever the second flag", 12, 3, 3, 100, 0, 1, false, 2, 12, 2, {0}, {1}, 6,
     {"s2 s3 s4 s5 s6 s7"}, false},
    {"the second click needs its own flag", 12, 3, 3, 100, 1, 0, false, 2, 12, 2, {0}, {1}, 6,
     {"s2+a0 s3+a1 s4+a2 s5 s6 s7"}, false},
    {"trigger 0 sounds at the loop start, each list its own sound", 12, 3, 3, 100, 1, 1, false, 2, 12, 2, {0}, {2}, 6,
     {"s2+a0 s3+a1 s4+a2+b0 s5+b1 s6+b2 s7"}, false},
    {"a wrap mid-buffer goes on with the loop start and resets both clicks", 12, 6, 6, 100, 1, 1, true, 2, 6, 2, {0}, {1}, 8,
     {"s2+a0 s3+a1+b0 s4+a2+b1 s5+a3+b2 s2+a0 s3+a1+b0 s4+a2+b1 s5+a3+b2",
      "s2+a0 s3+a1+b0 s4+a2+b1 s5+a3+b2 s2+a0 s3+a1+b0 s4+a2+b1 s5+a3+b2"}, false},
    {"without loop the rest of the buffer is silent", 12, 3, 3, 100, 1, 1, false, 2, 5, 2, {0}, {}, 6,
     {"s2+a0 s3+a1 s4+a2 _ _ _"}, true},
    {"a re-trigger restarts the click at its first frame", 12, 6, 6, 100, 1, 1, false, 2, 12, 2, {0, 2}, {}, 6,
     {"s2+a0 s3+a1 s4+a0 s5+a1 s6+a2 s7+a3"}, false},
    {"a click goes on in the next buffer", 12, 5, 3, 100, 1, 1, false, 0, 12, 0, {2}, {}, 4,
     {"s0 s1 s2+a0 s3+a1", "s4+a2 s5+a3 s6+a4 s7"}, false},
    {"loop end -1 is the song's length", 12, 3, 3, 100, 0, 0, false, 8, -1, 8, {}, {}, 6,
     {"s8 s9 s10 s11 _ _"}, true},
    {"a song shorter than the loop end ends after its last frame", 12, 3, 3, 100, 0, 0, false, 8, 20, 8, {}, {}, 6,
     {"s8 s9 s10 s11 _ _"}, true},
    {"a song shorter than the loop end wraps after its last frame", 12, 3, 3, 100, 1, 1, true, 8, 20, 9, {0}, {}, 6,
     {"s9 s10 s11 s8+a0 s9+a1 s10+a2"}, false},
    {"a start at the loop end ends at once", 12, 3, 3, 100, 0, 0, false, 2, 6, 6, {}, {}, 4,
     {"_ _ _ _"}, true},
};
// clang-format on

void PrintTo(const RenderCase& c, std::ostream* os)
{
    *os << c.name;
}

class Render : public ::testing::TestWithParam<RenderCase> { };

TEST_P(Render, HearsTheListedFrames)
{
    const RenderCase& c = GetParam();
    MemoryReader songReader(song(c.songFrames));
    MemoryReader click1(click(c.click1Frames, 1000));
    MemoryReader click2(click(c.click2Frames, 10));
    uint8_t clickFlag = c.clickFlag;
    uint8_t level = c.level;
    uint8_t second = c.secondFlag;
    AudioDeviceASFF holder(&songReader, &click1, &click2, &clickFlag, &level, &second);
    ASSERT_EQ(holder.prepareCallback(c.loopStart, c.loopEnd, c.startFrame, c.triggers1, c.triggers2), 0u);
    holder.setLoop(c.loop);
    holder.play();

    for (size_t b = 0; b < c.heard.size(); ++b) {
        SCOPED_TRACE(testing::Message() << "buffer " << b);
        std::vector<int16_t> left(size_t(c.frames), 7);
        std::vector<int16_t> right(size_t(c.frames), 7);
        EXPECT_EQ(holder.callback()->render(left.data(), right.data(), c.frames), c.frames);
        std::vector<int> wantLeft;
        std::vector<int> wantRight;
        expectedBuffer(c.heard[b], c, wantLeft, wantRight);
        EXPECT_EQ(std::vector<int>(left.begin(), left.end()), wantLeft);
        EXPECT_EQ(std::vector<int>(right.begin(), right.end()), wantRight);
    }
    EXPECT_EQ(holder.isPlaying(), !c.ends);
    EXPECT_EQ(holder.callback()->isPlaying(), !c.ends);
}

INSTANTIATE_TEST_SUITE_P(Cases, Render, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string n;
    for (const char* p = info.param.name; *p; ++p)
        n += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return n;
});

TEST(RenderOutput, FullScaleSumsAreHeldAt31129AndMinus31130)
{
    MemoryReader songReader(Samples {16384, -16384, 32767, -32768, 100, -100});
    MemoryReader click1(Samples {16384, -16384});
    MemoryReader none(Samples {});
    uint8_t clickFlag = 1;
    uint8_t level = 100;
    uint8_t second = 0;
    AudioDeviceASFF holder(&songReader, &click1, &none, &clickFlag, &level, &second);
    holder.prepareCallback(0, -1, 0, {0}, {});
    holder.play();
    int16_t left[3];
    int16_t right[3];
    holder.callback()->render(left, right, 3);
    EXPECT_EQ(std::vector<int>(left, left + 3), (std::vector<int> {31129, 31129, 100}));
    EXPECT_EQ(std::vector<int>(right, right + 3), (std::vector<int> {-31130, -31130, -100}));
}

TEST(RenderOutput, NotPlayingIsSilentAndSignalsNothing)
{
    MemoryReader songReader(song(8));
    uint8_t on = 1;
    uint8_t level = 100;
    AudioDeviceASFF holder(&songReader, nullptr, nullptr, &on, &level, &on);
    holder.prepareCallback(0, -1, 0, {0}, {});
    int emitted = 0;
    QObject::connect(&holder, &AudioDeviceASFF::signalLocation, [&] { ++emitted; });
    int16_t left[4] = {1, 1, 1, 1};
    int16_t right[4] = {1, 1, 1, 1};
    holder.callback()->render(left, right, 4);
    EXPECT_EQ(std::vector<int>(left, left + 4), std::vector<int>(4, 0));
    EXPECT_EQ(std::vector<int>(right, right + 4), std::vector<int>(4, 0));
    EXPECT_EQ(emitted, 0);
    EXPECT_EQ(holder.getLocation(), 0);
}

// The last buffer of a pass without loop: the position, then the end, both
// delivered on the GUI thread although the render runs on another.
TEST(RenderSignals, LocationThenStopArriveOnTheGuiThread)
{
    MemoryReader songReader(song(10));
    uint8_t off = 0;
    uint8_t level = 100;
    AudioDeviceASFF holder(&songReader, nullptr, nullptr, &off, &level, &off);
    holder.prepareCallback(0, 6, 0, {}, {});
    holder.play();
    QStringList order;
    bool onGuiThread = true;
    QObject receiver;
    const auto note = [&](const char* what) {
        order << what;
        onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread();
    };
    QObject::connect(&holder, &AudioDeviceASFF::signalLocation, &receiver, [&] { note("location"); });
    QObject::connect(&holder, &AudioDeviceASFF::signalStop, &receiver, [&] { note("stop"); });

    std::thread device([&] {
        int16_t left[4];
        int16_t right[4];
        holder.callback()->render(left, right, 4);  // frames 0..3
        holder.callback()->render(left, right, 4);  // frames 4, 5, then the end
        holder.callback()->render(left, right, 4);  // stopped: silent, no signal
    });
    device.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(order, (QStringList {"location", "location", "stop"}));
    EXPECT_TRUE(onGuiThread);
    EXPECT_FALSE(holder.isPlaying());
    EXPECT_EQ(holder.getLocation(), 6);
}

}  // namespace
