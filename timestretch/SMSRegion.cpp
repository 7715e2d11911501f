#include "SMSRegion.h"

#include "StretchAlloc.h"

#include <algorithm>
#include <cmath>

namespace {

// Room for one more element, throwing -1. The room at least doubles (and
// grows by `step` at the least), so a list that takes a whole song's frames
// one by one is copied a bounded number of times per frame, not once per
// `step` frames.
template <typename T> void reserveOneMore(std::vector<T>& v, size_t step)
{
    if (v.size() < v.capacity())
        return;
    try {
        v.reserve(v.size() + std::max(step, v.size()));
    } catch (const std::exception&) {
        throw stretch::kAllocFailure;
    }
}

}  // namespace

CSMSRegion::~CSMSRegion()
{
    for (SMSFrame* f : m_frames)
        delete f;
}

int CSMSRegion::AddFrame(std::unique_ptr<SMSFrame>& frame)
{
    if (!frame)
        return 2;
    const double t = frame->Time();
    // The first frame more than the tolerance after t; the one before it, if
    // within the tolerance of t, is a duplicate.
    const auto at = std::upper_bound(m_frames.begin(), m_frames.end(), t + kTimeTolerance,
                                     [](double x, const SMSFrame* f) { return x < f->Time(); });
    if (at != m_frames.begin() && std::fabs((*(at - 1))->Time() - t) <= kTimeTolerance)
        return 2;
    const auto index = at - m_frames.begin();
    reserveOneMore(m_frames, 10);
    m_frames.insert(m_frames.begin() + index, frame.release());
    m_endTime = std::max(m_endTime, t);
    return 0;
}

CSMSRegion* SMSRegionList::NewRegion()
{
    reserveOneMore(m_regions, 4);
    reserveOneMore(m_starts, 4);
    auto region = std::unique_ptr<CSMSRegion>(new (std::nothrow) CSMSRegion);
    if (!region)
        throw stretch::kAllocFailure;
    const int32_t index = Count();
    const double length = region->EndTime();
    const size_t cover = static_cast<size_t>((m_endTime + length) * 4.0) + 1;
    if (cover > m_lookup.size()) {
        const size_t old = m_lookup.size();
        stretch::resizeOrThrow(m_lookup, cover);
        std::fill(m_lookup.begin() + static_cast<std::ptrdiff_t>(old), m_lookup.end(), index);
    }
    m_starts.push_back(m_endTime);
    m_regions.push_back(std::move(region));
    m_endTime += length;
    return m_regions.back().get();
}

int SMSRegionList::StoreFrame(std::unique_ptr<SMSFrame>& frame)
{
    if (m_regions.empty() || !frame)
        return 3;
    if (m_regions.size() == 1) {
        const double before = m_regions[0]->EndTime();
        const int r = m_regions[0]->AddFrame(frame);
        if (r == 0 && m_regions[0]->EndTime() > before)
            m_endTime = std::max(m_endTime, m_starts[0] + m_regions[0]->EndTime());
        return r;
    }
    const double t = frame->Time();
    int32_t index = -1;
    for (int32_t i = Count() - 1; i >= 0; --i) {
        if (m_starts[static_cast<size_t>(i)] <= t + CSMSRegion::kTimeTolerance) {
            index = i;
            break;
        }
    }
    if (index < 0)
        return 3;
    CSMSRegion& region = *m_regions[static_cast<size_t>(index)];
    const double start = m_starts[static_cast<size_t>(index)];
    const double before = region.EndTime();
    frame->SetTime(t - start);
    const int r = region.AddFrame(frame);
    if (r != 0) {
        frame->SetTime(t);
        return r;
    }
    if (index == Count() - 1 && region.EndTime() > before)
        m_endTime = std::max(m_endTime, start + region.EndTime());
    return 0;
}

void SMSRegionList::ExtendLast(double seconds)
{
    if (m_regions.empty())
        return;
    CSMSRegion& last = *m_regions.back();
    last.SetEndTime(last.EndTime() + seconds);
    m_endTime = m_starts.back() + last.EndTime();
}

template <typename T> int SMSOwningList<T>::Insert(int32_t index, std::unique_ptr<T> item)
{
    if (index == -1)
        index = Count();
    if (index < 0 || index > Count())
        return kBadIndex;
    reserveOneMore(m_items, 4);
    m_items.insert(m_items.begin() + index, std::move(item));
    return 0;
}

template <typename T> T* SMSOwningList<T>::At(int32_t index) const
{
    if (index == -1)
        index = Count() - 1;
    if (index < 0 || index >= Count())
        return nullptr;
    return m_items[static_cast<size_t>(index)].get();
}

template <typename T> std::unique_ptr<T> SMSOwningList<T>::Take(int32_t index)
{
    if (index == -1)
        index = Count() - 1;
    if (index < 0 || index >= Count())
        return nullptr;
    std::unique_ptr<T> item = std::move(m_items[static_cast<size_t>(index)]);
    m_items.erase(m_items.begin() + index);
    return item;
}

template class SMSOwningList<SMSRegionList>;
template class SMSOwningList<SMSChannelData>;
