// Analysis results in the project engine: a wave read back from its
// wave-info file, the segmenter and onset jobs, the segment marks, and the
// first assignment of style sections from the segment labels.
#include "CKRMcore.h"

#include "BeatGrid.h"
#include "IF_onsetAnalyzer.h"
#include "IF_prjMngr.h"
#include "IF_segmenter.h"
#include "base/ResultCode.h"

#include <QDebug>
#include <algorithm>
#include <cmath>

using krm::fail;
using krm::kOk;
using krm::kSectionCount;
using krm::nest;
using krm::nestOnFail;

namespace {

constexpr uint8_t kIntro2 = 1;
constexpr uint8_t kMainA = 3;
constexpr uint8_t kEnding2 = 13;
constexpr uint8_t kNoSection = 15;  // SegmentEntry::section of an unassigned segment

const char* const kIllegalAnalysis = "Illegal analyzed file!";

QString chainText(const char* text, uint32_t code)
{
    return QString(text).arg(code, 0, 16);
}

uint32_t distance(uint32_t a, uint32_t b)
{
    return a > b ? a - b : b - a;
}

// The greatest power of two from 2 up to `limit` that divides x, else 1.
int64_t powerOfTwoDivisor(int64_t x, int64_t limit)
{
    int64_t best = 1;
    for (int64_t m = 2; m <= limit; m *= 2) {
        if (x % m == 0)
            best = m;
    }
    return best;
}

}  // namespace

void CKRMcore::setErrorTextOnce(const QString& text)
{
    m_errorState.setTextOnce(text);
}

void CKRMcore::raiseErrorFlag()
{
    m_errorState.raiseFlag();
}

// ---------------------------------------------------------------- analysis results

uint32_t CKRMcore::applyWaveInfo(WaveInfoRecord* rec, const QString& path, uint32_t frames)
{
    try {
        const std::wstring audio = rec ? rec->path : std::wstring();
        CKRMcore temp;
        if (const uint32_t r = nestOnFail(temp.setAllInfo(projectInfo), 1))
            return r;
        const size_t n = temp.projectInfo.waveCount();
        if (n >= krm::kNoWave)
            return fail(2);  // a 256th wave could not be addressed
        if (const uint32_t r = nestOnFail(temp.projectInfo.addWave(rec), 2))
            return r;
        // Until the commit, every way out gives the record back to the
        // caller instead of releasing it with the temporary engine.
        struct GiveBack {
            ProjectInfo& project;
            uint8_t index;
            bool armed = true;
            ~GiveBack()
            {
                if (armed)
                    project.detachWave(index);
            }
        } giveBack {temp.projectInfo, static_cast<uint8_t>(n)};

        const uint32_t loaded =
            temp.prjMngr ? nestOnFail(temp.prjMngr->loadWaveInfo(path.toStdWString(), giveBack.index), 2)
                         : fail(1);
        if (loaded != kOk)
            return nest(loaded, 3);
        uint32_t tempo = 120;
        temp.calcSecTempo(kMainA, tempo);

        WaveInfoRecord* wave = nullptr;
        if (const uint32_t r = temp.waveAt(giveBack.index, wave, 5))
            return r;
        const double end = samplesToSeconds(frames);
        if (!wave->beats.empty() && static_cast<double>(wave->beats.back()) > end) {
            setErrorText(kIllegalAnalysis);
            return fail(6);
        }
        if (!wave->onsets.empty() && static_cast<double>(wave->onsets.back()) > end) {
            setErrorText(kIllegalAnalysis);
            return fail(7);
        }
        if (!audio.empty())
            wave->path = audio;
        if (const uint32_t r = nestOnFail(setAllInfo(temp.projectInfo), 8))
            return r;
        giveBack.armed = false;
        return kOk;
    } catch (...) {
        raiseErrorFlag();
        return fail(9);
    }
}

uint32_t CKRMcore::analyzeOnset(const QString& path, uint32_t& frames, std::vector<float>& onsets)
{
    if (!onsetAnalyzer)
        return fail(1);
    try {
        return onsetAnalyzer->analyze(QString(path), frames, onsets);
    } catch (...) {
        raiseErrorFlag();
        return fail(2);
    }
}

uint32_t CKRMcore::runSegmenter(const QString& path, SegmenterTimeSig ts)
{
    try {
        if (!segmenter)
            return fail(1);
        if (const uint32_t r = nestOnFail(segmenter->run(path, ts), 2))
            return r;
        WaveInfoRecord* wave = nullptr;
        if (const uint32_t r = waveAt(0, wave, 3))
            return r;
        std::vector<SegmentMark> marks;
        for (const SegmentEntry& e : segmenter->segments())
            marks.push_back({e.start, static_cast<uint16_t>(e.label & 0xFFFFu)});
        return nestOnFail(setSegMarks(marks, 3), 4);
    } catch (...) {
        raiseErrorFlag();
        return fail(5);
    }
}

uint32_t CKRMcore::setSegMarks(const std::vector<SegmentMark>& marks, uint8_t mask)
{
    try {
        return storeSegMarks(0, marks, mask);
    } catch (...) {
        raiseErrorFlag();
        return fail(4);
    }
}

uint32_t CKRMcore::storeSegMarks(uint8_t w, const std::vector<SegmentMark>& marks, uint8_t mask)
{
    WaveInfoRecord* wave = nullptr;
    if (const uint32_t r = waveAt(w, wave, 1))
        return r;
    WaveInfoRecord copy(*wave);
    if (mask & 1)
        copy.detectedMarks.clear();
    if (mask & 3)
        copy.fittedMarks.clear();
    for (const SegmentMark& m : marks) {
        if (mask & 1)
            copy.detectedMarks.push_back(m);
        if (mask & 2)
            copy.fittedMarks.push_back(m);
    }
    return nestOnFail(projectInfo.setWave(w, copy), 3);
}

QObject* CKRMcore::segmenterObject()
{
    return segmenter ? segmenter->qobject() : nullptr;
}

void CKRMcore::stopSegmenter()
{
    try {
        if (segmenter)
            segmenter->stop();
    } catch (...) {
        raiseErrorFlag();
    }
}

void CKRMcore::dumpSegmenter(std::vector<float>& beatTimes, uint32_t& numerator, uint32_t& denominator)
{
    try {
        if (segmenter)
            segmenter->dump(beatTimes, numerator, denominator);
    } catch (...) {
        raiseErrorFlag();
    }
}

// ---------------------------------------------------------------- initial section assignment

uint32_t CKRMcore::makeInitSecAsgnBySegLbl(uint8_t w)
{
    try {
        WaveInfoRecord* wave = nullptr;
        uint32_t r = waveAt(w, wave, 1);
        if (r != kOk)
            return r;
        const std::vector<SegmentMark> marks = wave->detectedMarks;
        // The last segment ends at the last onset; without one there is no
        // end to give it.
        if (!marks.empty() && wave->onsets.empty())
            return fail(1);

        std::vector<SegmentEntry> segs;
        segs.reserve(marks.size());
        for (size_t i = 0; i < marks.size(); ++i) {
            const float end = i + 1 < marks.size() ? marks[i + 1].time : wave->onsets.back();
            const uint32_t label =
                static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(marks[i].label)));
            segs.push_back({kNoSection, marks[i].time, end, label});
        }
        uint8_t toggle = 0;
        if (!marks.empty()) {
            r = beatParityAt(wave->beats, secondsToSamples(marks[0].time), wave->beatStep, toggle);
            if (r != kOk)
                return nest(r, 9);
        }

        std::vector<SegmentEntry> fitted;
        r = fitSegForTS(w, segs, fitted, toggle);
        if (r != kOk) {
            setErrorTextOnce(chainText("error at makeInitSecAsgnBySegLbl() fitSegForTS [%1]", r));
            return nest(r, 2);
        }
        std::vector<SegmentMark> fittedMarks;
        fittedMarks.reserve(fitted.size());
        for (const SegmentEntry& f : fitted)
            fittedMarks.push_back({f.start, static_cast<uint16_t>(f.label & 0xFFFFu)});
        if ((r = nestOnFail(snapSegMarksToBeats(fittedMarks, w, toggle), 4)) != kOk)
            return r;
        // The fitted marks belong to the wave they were fitted on.
        if ((r = nestOnFail(storeSegMarks(w, fittedMarks, 2), 5)) != kOk)
            return r;
        qDebug() << "segmenter2 path 1";
        for (size_t i = 0; i < fitted.size(); ++i) {
            fitted[i].start = fittedMarks[i].time;
            fitted[i].label = fittedMarks[i].label;
        }

        std::vector<SegmentEntry> chosen;
        assignSections(chosen, fitted);
        r = doSegToSec(w, toggle, chosen);
        if (r != kOk) {
            setErrorTextOnce(chainText("error at makeInitSecAsgnBySegLbl() doSegToSec [%1]", r));
            return nest(r, 6);
        }

        SectionRecord* mainA = nullptr;
        r = projectInfo.getSection(kMainA, &mainA);
        if (r != kOk) {
            setErrorTextOnce(chainText("error at makeInitSecAsgnBySegLbl() getSecInfo [%1]", r));
            return nest(r, 7);
        }
        if (!mainA || !mainA->used || mainA->endAdrs == mainA->startAdrs)
            return kOk;
        uint8_t bpb = 4, unit = 4;
        if ((r = projectInfo.getTimeSig(&bpb, &unit)) != kOk) {
            setErrorTextOnce(chainText("error at makeInitSecAsgnBySegLbl() updateTempo [%1]", r));
            return nest(r, 8);
        }
        const double frames = static_cast<double>(mainA->endAdrs) - static_cast<double>(mainA->startAdrs);
        const double tempo = mainA->barCount * (bpb * 2646000.0 * 4.0 / unit) / frames;
        // A tempo that truncates to 0 (or does not fit) is no tempo: the
        // project keeps the one it has.
        if (!(tempo >= 1.0 && tempo < 4294967296.0))
            return kOk;
        r = updateTempo(static_cast<uint32_t>(tempo));
        if (r != kOk) {
            setErrorTextOnce(chainText("error at makeInitSecAsgnBySegLbl() updateTempo [%1]", r));
            return nest(r, 8);
        }
        return kOk;
    } catch (...) {
        raiseErrorFlag();
        return fail(9);
    }
}

uint32_t CKRMcore::beatParityAt(const std::vector<float>& beats, uint32_t address, uint16_t beatStep,
                                uint8_t& toggle)
{
    if (beats.empty())
        return fail(1);
    const size_t s = beatStep ? beatStep : 1;
    const double t = static_cast<float>(address / krm::kSampleRate);
    for (size_t j = 0; j < beats.size(); j += s) {
        if (beats[j] < t)
            continue;
        if (j == 0) {
            toggle = 0;
            return kOk;
        }
        // The nearer of the two entries decides; a tie goes to the earlier.
        if (beats[j] - t >= t - beats[j - s]) {
            toggle = static_cast<uint8_t>(((j - s) / s) % 2);
            return kOk;
        }
    }
    toggle = static_cast<uint8_t>(((beats.size() - 1) / s) % 2);
    return kOk;
}

uint32_t CKRMcore::fitSegForTS(uint8_t w, const std::vector<SegmentEntry>& segs,
                               std::vector<SegmentEntry>& fitted, uint8_t toggle)
{
    try {
        uint8_t bpb = 4, unit = 4;
        uint32_t r = nestOnFail(projectInfo.getTimeSig(&bpb, &unit), 1);
        if (r != kOk)
            return r;
        WaveInfoRecord* wave = nullptr;
        if ((r = waveAt(w, wave, 2)) != kOk)
            return r;
        if (wave->onsets.empty())
            return fail(3);
        const double lastOnset = wave->onsets.back();

        CKRMcore temp;
        if ((r = nestOnFail(temp.setAllInfo(projectInfo), 4)) != kOk)
            return r;
        if ((r = nestOnFail(temp.setTimeSignature(bpb, unit), 5)) != kOk)
            return r;

        fitted = segs;
        if (!fitted.empty()) {
            uint32_t a = 0;
            if ((r = nestOnFail(temp.snapToBeat(w, toggle, secondsToSamples(segs[0].start), a), 6)) != kOk)
                return r;
            fitted[0].start = samplesToSeconds(a);
        }
        // A segment that fitting would collapse gets one second, as long as
        // that stays before the last onset.
        if (fitted.size() >= 2 && fitted[1].start <= fitted[0].start) {
            if (!(fitted[0].start + 1.0 < lastOnset))
                return fail(7);
            fitted[1].start = static_cast<float>(fitted[0].start + 1.0);
        }
        for (size_t k = 0; k < fitted.size(); ++k) {
            uint32_t end = 0;
            if ((r = nestOnFail(temp.fitSegEndToBar(w, toggle, segs, fitted, k, end), 8)) != kOk)
                return r;
            fitted[k].end = samplesToSeconds(end);
            if (k + 1 == fitted.size())
                break;
            SegmentEntry& next = fitted[k + 1];
            next.start = fitted[k].end;
            if (next.start >= next.end) {
                if (!(next.start + 1.0 < lastOnset))
                    return fail(0xA);
                next.end = static_cast<float>(next.start + 1.0);
            }
        }
        return kOk;
    } catch (...) {
        raiseErrorFlag();
        return fail(0xB);
    }
}

uint32_t CKRMcore::fitSegEndToBar(uint8_t w, uint8_t toggle, const std::vector<SegmentEntry>& segs,
                                  const std::vector<SegmentEntry>& fitted, size_t k, uint32_t& endAdrs)
{
    uint8_t bpb = 4, unit = 4;
    uint32_t r = nestOnFail(projectInfo.getTimeSig(&bpb, &unit), 1);
    if (r != kOk)
        return r;
    if (bpb == 0)
        return fail(1);  // a bar of no beats has no bar lines
    if (k >= segs.size() || k >= fitted.size())
        return fail(2);
    uint32_t sS = 0, sE = 0, fS = 0, fE = 0;
    if ((r = nestOnFail(beatIndexAtAddress(w, toggle, secondsToSamples(segs[k].start), sS), 2)) != kOk ||
        (r = nestOnFail(beatIndexAtAddress(w, toggle, secondsToSamples(segs[k].end), sE), 3)) != kOk ||
        (r = nestOnFail(beatIndexAtAddress(w, toggle, secondsToSamples(fitted[k].start), fS), 4)) != kOk ||
        (r = nestOnFail(beatIndexAtAddress(w, toggle, secondsToSamples(fitted[k].end), fE), 5)) != kOk)
        return r;
    const uint32_t ownEnd = secondsToSamples(fitted[k].end);
    endAdrs = ownEnd;

    const int64_t B = bpb;
    const int64_t start = fS, end = fE;
    if ((end - start) % B == 0)
        return nestOnFail(getBeatAdrs(w, toggle, fE, endAdrs), 6);

    WaveInfoRecord* wave = nullptr;
    if ((r = waveAt(w, wave, 2)) != kOk)
        return r;
    const int64_t beatCount =
        static_cast<int64_t>(BeatGridLayout(wave->beats.size(), wave->beatStep, toggle).beatCount());

    // Forward to the next bar line of the segment's own bars.
    int64_t c = -1;
    for (int64_t step = 1; step < B; ++step) {
        const int64_t span = end + step - start;
        if (span > 0 && span % B == 0) {
            c = end + step;
            break;
        }
    }
    if (c >= 0 && c < beatCount) {
        const int64_t q = (c - start) / B;
        const int64_t p = c - B;
        uint32_t ac = 0, ap = 0;
        if ((r = nestOnFail(getBeatAdrs(w, toggle, static_cast<uint32_t>(c), ac), 7)) != kOk)
            return r;
        if (p >= 0 && (r = nestOnFail(getBeatAdrs(w, toggle, static_cast<uint32_t>(p), ap), 7)) != kOk)
            return r;
        const auto nearer = [&] {
            if (p < 0)
                return ac;
            return distance(ap, ownEnd) <= distance(ac, ownEnd) ? ap : ac;
        };
        if (q == 1) {
            endAdrs = ac;
        } else if (q == 2) {
            endAdrs = nearer();
        } else {
            // Prefer a bar count that is a power of two, or a multiple of a
            // higher power of two than its neighbour, within one and a half
            // bars of the detected length.
            const int64_t W = static_cast<int64_t>(1.5 * static_cast<double>(B));
            const int64_t detected = static_cast<int64_t>(sE) - static_cast<int64_t>(sS);
            const int64_t pq = powerOfTwoDivisor(q, q), pq1 = powerOfTwoDivisor(q - 1, q);
            if (pq > pq1 && std::llabs((c - start) - detected) < W)
                endAdrs = ac;
            else if (p >= 0 && pq1 > 1 && std::llabs((p - start) - detected) < W)
                endAdrs = ap;
            else
                endAdrs = nearer();
        }
        return kOk;
    }

    // Back to the previous bar line inside the segment, if there is one.
    for (int64_t step = 0; step < B; ++step) {
        const int64_t b = end - step;
        if (b <= start || b < 0)
            break;
        if ((b - start) % B == 0)
            return nestOnFail(getBeatAdrs(w, toggle, static_cast<uint32_t>(b), endAdrs), 8);
    }
    return kOk;
}

uint32_t CKRMcore::collectLabelStats(std::vector<LabelStats>& stats, uint32_t& count,
                                     const std::vector<SegmentEntry>& segs)
{
    stats.clear();
    for (size_t i = 0; i < segs.size(); ++i) {
        const SegmentEntry& e = segs[i];
        if (e.section != kNoSection)
            continue;
        const double length = static_cast<float>(e.end - e.start);
        const int32_t index = static_cast<int32_t>(i);
        auto it =
            std::find_if(stats.begin(), stats.end(), [&](const LabelStats& s) { return s.label == e.label; });
        if (it == stats.end()) {
            stats.push_back({e.label, length, index, index});
        } else if (length > it->longest) {
            it->longest = length;
            it->first = it->last = index;
        } else if (length == it->longest) {
            it->first = std::min(it->first, index);
            it->last = std::max(it->last, index);
        }
    }
    count = static_cast<uint32_t>(stats.size());
    return kOk;
}

uint32_t CKRMcore::assignSections(std::vector<SegmentEntry>& chosen, std::vector<SegmentEntry>& segs)
{
    chosen.clear();
    const size_t n = segs.size();
    // Any value but 0 and "none" marks an entry as chosen; the sections
    // themselves are numbered by time order when they are written.
    uint8_t mark = kMainA;
    const auto choose = [&](size_t i) {
        if (segs[i].section == kNoSection)
            segs[i].section = mark++;
    };
    if (n >= 1 && n <= 6) {
        for (size_t i = 0; i < n; ++i)
            choose(i);
        if (n >= 5)
            segs.front().section = kIntro2;
        if (n == 6)
            segs.back().section = kEnding2;
    } else if (n >= 7) {
        segs.front().section = kIntro2;
        segs.back().section = kEnding2;
        std::vector<LabelStats> stats;
        uint32_t k = 0;
        collectLabelStats(stats, k, segs);
        std::stable_sort(stats.begin(), stats.end(),
                         [](const LabelStats& a, const LabelStats& b) { return a.longest > b.longest; });

        struct Candidate {
            uint8_t used;
            float length;
            uint32_t index;
        };
        std::vector<Candidate> candidates;
        for (size_t i = 0; i < n; ++i)
            candidates.push_back({0, segs[i].end - segs[i].start, static_cast<uint32_t>(i)});
        std::stable_sort(candidates.begin(), candidates.end(),
                         [](const Candidate& a, const Candidate& b) { return a.length > b.length; });
        const auto chooseLongest = [&](int count) {
            for (Candidate& c : candidates) {
                if (count == 0)
                    break;
                if (segs[c.index].section == kNoSection) {
                    choose(c.index);
                    c.used = 1;
                    --count;
                }
            }
        };

        if (k >= 4) {
            choose(static_cast<size_t>(stats[0].last));
            choose(static_cast<size_t>(stats[1].last));
            choose(static_cast<size_t>(stats[2].first));
            choose(static_cast<size_t>(stats[3].first));
        } else if (k == 3) {
            choose(static_cast<size_t>(stats[0].last));
            choose(static_cast<size_t>(stats[1].first));
            choose(static_cast<size_t>(stats[2].first));
            chooseLongest(1);
        } else if (k == 2) {
            choose(static_cast<size_t>(stats[0].last));
            choose(static_cast<size_t>(stats[1].first));
            chooseLongest(2);
        } else {
            chooseLongest(4);
        }
    }
    for (const SegmentEntry& e : segs) {
        if (e.section != kNoSection)
            chosen.push_back(e);
    }
    std::stable_sort(chosen.begin(), chosen.end(),
                     [](const SegmentEntry& a, const SegmentEntry& b) { return a.start < b.start; });
    return kOk;
}

uint32_t CKRMcore::doSegToSec(uint8_t w, uint8_t toggle, const std::vector<SegmentEntry>& chosen)
{
    const size_t m = chosen.size();
    for (size_t i = 0; i < m; ++i) {
        if (chosen[i].section == 0)
            continue;
        // Six entries: "Intro 2", "Main A" to "Main D" in time order, "Ending 2".
        size_t target = m <= 4 ? i + kMainA : (i == 0 ? kIntro2 : i + 2);
        if (m >= 6 && i == 5)
            target = kEnding2;
        if (target >= kSectionCount)
            return fail(2);
        const uint8_t s = static_cast<uint8_t>(target);

        SectionRecord rec;
        rec.used = 1;
        rec.waveIndex = w;
        rec.toggle = toggle;
        rec.startAdrs = secondsToSamples(chosen[i].start);
        rec.endAdrs = secondsToSamples(chosen[i].end);
        uint32_t r = nestOnFail(setSecInfo(s, rec), 2);
        if (r != kOk)
            return r;

        SectionRecord* sec = nullptr;
        if ((r = sectionAt(s, sec, 3)) != kOk)
            return r;
        uint32_t b0 = 0, e = 0, pb = 0;
        if ((r = nestOnFail(beatIndexAtAddress(sec->waveIndex, sec->toggle, sec->startAdrs, b0), 3)) != kOk ||
            (r = nestOnFail(beatIndexAtAddress(sec->waveIndex, sec->toggle, sec->endAdrs, e), 4)) != kOk ||
            (r = nestOnFail(prevBarBeat(s, e, pb), 5)) != kOk)
            return r;

        // The end moves to the nearer bar line, forward only when that
        // keeps whole bars from the start.
        uint32_t endBeat = pb;
        if (sec->tempoFromBeats) {
            endBeat = e;
        } else {
            uint32_t nb = 0;
            if (nextBarBeat(s, e, nb) == kOk && nb - e <= e - pb) {
                uint8_t bpb = 4, unit = 4;
                if ((r = nestOnFail(projectInfo.getTimeSig(&bpb, &unit), 6)) != kOk)
                    return r;
                if (bpb == 0)
                    return fail(6);
                endBeat = (nb - b0) % bpb == 0 ? nb : pb;
            }
        }
        uint32_t startAdrs = 0, endAdrs = 0;
        if ((r = nestOnFail(getBeatAdrs(sec->waveIndex, sec->toggle, b0, startAdrs), 7)) != kOk ||
            (r = nestOnFail(getBeatAdrs(sec->waveIndex, sec->toggle, endBeat, endAdrs), 8)) != kOk)
            return r;
        if (startAdrs < endAdrs) {
            SectionRecord moved(*sec);
            moved.startAdrs = startAdrs;
            moved.endAdrs = endAdrs;
            if ((r = nestOnFail(setSecInfo(s, moved), 9)) != kOk)
                return r;
        }
    }
    return kOk;
}

uint32_t CKRMcore::changeTimeSignature(uint8_t beatsPerBar, uint8_t beatUnit)
{
    try {
        CKRMcore temp;
        uint32_t r = nestOnFail(temp.setAllInfo(projectInfo), 1);
        if (r != kOk)
            return r;
        if ((r = temp.setTimeSignature(beatsPerBar, beatUnit)) != kOk) {
            setErrorTextOnce(temp.errorText());
            return nest(r, 2);
        }
        for (size_t w = 0; w < temp.projectInfo.waveCount(); ++w) {
            if ((r = temp.makeInitSecAsgnBySegLbl(static_cast<uint8_t>(w))) != kOk) {
                setErrorTextOnce(temp.errorText());
                return nest(r, 3);
            }
        }
        return nestOnFail(setAllInfo(temp.projectInfo), 4);
    } catch (...) {
        raiseErrorFlag();
        return fail(5);
    }
}
