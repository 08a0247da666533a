#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

// One queued block of an exchange record.
struct timestampedBuffer
{
    std::vector<float> samples;
    int64_t timestamp = 0;
    int32_t writers = 0;
};

// A process-wide exchange record: the external side-chain slots and the link records of
// instances in one host process. Every member but the mutex is guarded by mMutex.
struct extSideChainData
{
    extSideChainData();
    extSideChainData (const extSideChainData&) = delete;
    extSideChainData& operator= (const extSideChainData&) = delete;

    // Entry nearest to `wanted` (the first of equals), or nullptr for an empty queue.
    // Caller holds mMutex.
    timestampedBuffer* findBufWithClosestTimestamp (int64_t wanted, int64_t& found);

    // Frees the entry with the smallest timestamp (first of equals). Caller holds mMutex.
    void removeOldestBuffer();

    // Empties every entry (samples and queue length kept). Takes mMutex.
    void clear();

    std::mutex mMutex;
    std::deque<timestampedBuffer> mSamplesQueue;
    int32_t mWriteCount = 0;
    int32_t mCapacity = 16;
    int32_t mChannelCount = 1;
    int32_t mGroupNumber = 0;
    float mPubThresholdDb = 0.0f;
    float mPubAttackSamples = 0.01f;
    float mPubReleaseMs = 0.1f;
    float mPubRatio = 4.0f;
    float mPubMakeupDb = 0.0f;
    float mPubMix = 1.0f;
    int32_t mPubChangeCount = 0;
};
