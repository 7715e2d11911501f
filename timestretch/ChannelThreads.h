#pragma once
// Work that the two channels of a stereo stretch do apart, on two threads.
//
// `RunPerChannel(channels, work)` calls work(0) on the calling thread and,
// for two channels, work(1) on a thread of its own, and returns when both
// are done: the second thread is joined before anything else happens, so
// whatever the caller does next (the channel link, the pairing of attack
// marks) sees both channels' results. The two calls must touch only their
// own channel's objects and read shared ones. An exception out of either
// call (the engine's integer -1 included) is passed on after the join, the
// left channel's first. Returns work(0)'s result, or work(1)'s when that one
// is nonzero and work(0)'s is 0.
//
// `SetChannelThreads(false)` makes every later call run work(0) and then
// work(1) on the calling thread (the same results; tests compare the two).
#include <atomic>
#include <exception>
#include <thread>

namespace stretch {

inline std::atomic<bool>& channelThreadsFlag()
{
    static std::atomic<bool> enabled {true};
    return enabled;
}

inline void SetChannelThreads(bool enabled)
{
    channelThreadsFlag().store(enabled);
}

template <typename Work> int RunPerChannel(int channels, Work work)
{
    if (channels < 2)
        return work(0);
    if (!channelThreadsFlag().load()) {
        const int left = work(0);
        const int right = work(1);
        return left != 0 ? left : right;
    }
    int rightResult = 0;
    std::exception_ptr rightFailure;
    std::thread right([&] {
        try {
            rightResult = work(1);
        } catch (...) {
            rightFailure = std::current_exception();
        }
    });
    int leftResult = 0;
    std::exception_ptr leftFailure;
    try {
        leftResult = work(0);
    } catch (...) {
        leftFailure = std::current_exception();
    }
    right.join();
    if (leftFailure)
        std::rethrow_exception(leftFailure);
    if (rightFailure)
        std::rethrow_exception(rightFailure);
    return leftResult != 0 ? leftResult : rightResult;
}

}  // namespace stretch
