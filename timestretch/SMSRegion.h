#pragma once
// Where analysed frames are filed: regions of time-ordered frames, the list
// of regions of one channel, and the lists of channels of an analysis.
//
//   SMSAnalysisData  -- list of channels (SMSChannelData), one per analysed
//                       stream
//   SMSChannelData   -- list of region lists (SMSRegionList), one per channel
//   SMSRegionList    -- consecutive regions with their start times
//   CSMSRegion       -- time-ordered frames, owned by the region
//
// Times compare with a tolerance of 1e-8 s. Every object owns what it holds
// and frees it on destruction. Allocation failures throw the integer -1.
#include "SMSFrame.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class CSMSRegion {
public:
    static constexpr double kTimeTolerance = 1e-8;

    CSMSRegion() = default;
    virtual ~CSMSRegion();
    CSMSRegion(const CSMSRegion&) = delete;
    CSMSRegion& operator=(const CSMSRegion&) = delete;

    // Inserts a frame by its time: 0, the region taking the frame (`frame`
    // is then null); 2 when a frame within 1e-8 s of that time is already
    // present (nothing changes, the caller keeps the frame). The region's
    // end time rises to the frame's time when that is later.
    virtual int AddFrame(std::unique_ptr<SMSFrame>& frame);

    int32_t Count() const { return static_cast<int32_t>(m_frames.size()); }
    SMSFrame* Frame(int32_t i) const { return m_frames[static_cast<size_t>(i)]; }
    SMSFrameList Frames() const { return {Count(), m_frames.data()}; }
    // The region's length in seconds (relative to its start).
    double EndTime() const { return m_endTime; }
    void SetEndTime(double seconds) { m_endTime = seconds; }

private:
    std::vector<SMSFrame*> m_frames;  // owned
    double m_endTime = 0.0;
};

class SMSRegionList {
public:
    // 256 samples at 44100 Hz.
    static constexpr double kDefaultHopDuration = 1.0 / 172.265625;

    // Appends an empty region starting at the list's end time; the
    // quarter-second lookup is extended to cover it. Returns the region.
    CSMSRegion* NewRegion();

    // Files a frame: with one region as it is; with several into the last
    // region whose start is not after the frame's time (1e-8 s tolerance),
    // the time made relative to that start. Returns 0 (the region took the
    // frame), 2 (a frame at that time is already there) or 3 (no region
    // fits); on 2 and 3 the lists are unchanged and the caller keeps it.
    int StoreFrame(std::unique_ptr<SMSFrame>& frame);

    // Adds `seconds` to the last region's end time and the list's.
    void ExtendLast(double seconds);

    int32_t Count() const { return static_cast<int32_t>(m_regions.size()); }
    CSMSRegion* Region(int32_t i) const { return m_regions[static_cast<size_t>(i)].get(); }
    double StartTime(int32_t i) const { return m_starts[static_cast<size_t>(i)]; }
    double EndTime() const { return m_endTime; }
    double HopDuration() const { return m_hopDuration; }
    void SetHopDuration(double seconds) { m_hopDuration = seconds; }
    // Region index of every quarter second: entry floor(time * 4).
    const std::vector<int32_t>& QuarterSecondLookup() const { return m_lookup; }

private:
    std::vector<std::unique_ptr<CSMSRegion>> m_regions;
    std::vector<double> m_starts;
    std::vector<int32_t> m_lookup;
    double m_endTime = 0.0;
    double m_hopDuration = kDefaultHopDuration;
};

// An owning list that inserts at an index and hands out items by index.
template <typename T> class SMSOwningList {
public:
    static constexpr int kBadIndex = 6;

    // Inserts at `index` (-1 appends). Returns 0, or 6 for an index outside
    // 0 .. Count() (the item is then dropped and the list unchanged).
    int Insert(int32_t index, std::unique_ptr<T> item);
    // The item at `index` (-1 the last); null outside the list.
    T* At(int32_t index) const;
    // Removes the item at `index` (-1 the last) from the list and hands it
    // over; null outside the list.
    std::unique_ptr<T> Take(int32_t index);
    int32_t Count() const { return static_cast<int32_t>(m_items.size()); }

private:
    std::vector<std::unique_ptr<T>> m_items;
};

// The region lists of one analysed channel.
class SMSChannelData : public SMSOwningList<SMSRegionList> { };
// The channels of an analysis.
class SMSAnalysisData : public SMSOwningList<SMSChannelData> { };
