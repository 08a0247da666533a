#pragma once

#include "processor/common/RelaxedAtomic.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

// One queued block of an exchange record.
//
// `samples` is storage: it grows to the largest block size written into it (in practice at
// prepareToPlay, outside any render thread) and never shrinks. `length` is how many of those
// samples the block really holds: a cleared entry has length 0, is filled by copying and is
// never matched by a sender or a receiver (stale samples of an earlier pass, or behind the end
// of a shorter block, are never read).
struct timestampedBuffer
{
    std::vector<float> samples;
    int64_t timestamp = 0;
    int32_t writers = 0;
    int32_t length = 0;

    bool holdsData() const noexcept { return length > 0; }
    bool inUse() const noexcept { return writers > 0 && length > 0; }
};

// The queue of an exchange record: at most 16 entries, oldest appended first. The entries
// live in a fixed ring, so that appending, and a full queue dropping its oldest entry to
// append a new one, never allocates or frees: the dropped entry is reused in place.
class ExchangeQueue
{
public:
    static constexpr int maxEntries = 16;

    int size() const noexcept { return count; }
    bool empty() const noexcept { return count == 0; }

    // Entry i in queue order (0 = oldest appended).
    timestampedBuffer& operator[] (int i) noexcept { return ring[(size_t) ((head + i) % maxEntries)]; }
    const timestampedBuffer& operator[] (int i) const noexcept { return ring[(size_t) ((head + i) % maxEntries)]; }

    // Appends an entry (size < maxEntries): returns it, emptied.
    timestampedBuffer& append() noexcept
    {
        auto& e = ring[(size_t) ((head + count) % maxEntries)];
        ++count;
        e.timestamp = 0;
        e.writers = 0;
        e.length = 0;
        return e;
    }

    // A full queue drops its front entry (the oldest appended) and appends: the same storage
    // becomes the last entry, emptied.
    timestampedBuffer& recycleFront() noexcept
    {
        auto& e = ring[(size_t) head];
        head = (head + 1) % maxEntries;
        e.timestamp = 0;
        e.writers = 0;
        e.length = 0;
        return e;
    }

    // Every storage slot, used or not (for growing the sample storage ahead of use).
    std::array<timestampedBuffer, maxEntries>& storage() noexcept { return ring; }

private:
    std::array<timestampedBuffer, maxEntries> ring;
    int head = 0;
    int count = 0;
};

// A process-wide exchange record: the external side-chain slots and the link records of
// instances in one host process.
//
// The fields that receivers read without the lock (the group and the write count, plus the
// publication count and the owner generation added for staleness and record reuse) are
// relaxed atomics; every other member is guarded by mMutex. Render threads take the lock
// only through RecordTryLock (a short bounded spin); while a record is locked nobody logs,
// allocates or touches an editor.
struct extSideChainData
{
    extSideChainData();
    extSideChainData (const extSideChainData&) = delete;
    extSideChainData& operator= (const extSideChainData&) = delete;

    // Entry holding data nearest to `wanted` (the first of equals), or nullptr when no entry
    // holds data; `found` is its timestamp, or the largest int64 value. Caller holds mMutex.
    timestampedBuffer* findBufWithClosestTimestamp (int64_t wanted, int64_t& found);

    // Frees the in-use entry with the smallest timestamp (first of equals). Caller holds mMutex.
    void removeOldestBuffer();

    // Copies the samples of [start, start + n) into `out`, from as many entries as they were
    // published in (hosts vary their block sizes, so a receiver's block seldom starts where a
    // sender's did). True when every sample was found; `out` is then complete. Caller holds
    // mMutex.
    bool copyWindow (int64_t start, int n, float* out) const noexcept;

    // Frees (writers 0) every in-use entry that ends at or before `end`; the entries keep their
    // samples until a sender reuses them. Caller holds mMutex.
    void freeEntriesEndingBy (int64_t end) noexcept;

    // Empties every entry: writers 0, timestamp 0, length 0 (storage and queue length kept),
    // write count 0. Takes mMutex (blocking: message thread and constructor only).
    void clear();

    // The same with mMutex already held by the caller.
    void clearLocked() noexcept;

    // Number of free entries (writers == 0). Caller holds mMutex.
    int freeEntries() const noexcept;

    // Grows every entry's sample storage to at least n, allocating outside the lock. Message
    // thread (prepareToPlay) only.
    void reserveSamples (int n);

    std::mutex mMutex;
    ExchangeQueue mSamplesQueue;
    RelaxedAtomic<int32_t> mWriteCount { 0 };  // read without the lock by link receivers
    int32_t mCapacity = ExchangeQueue::maxEntries;
    int32_t mChannelCount = 1;
    RelaxedAtomic<int32_t> mGroupNumber { 0 };  // read without the lock by link receivers
    float mPubThresholdDb = 0.0f;
    float mPubAttackSamples = 0.01f;
    float mPubReleaseMs = 0.1f;
    float mPubRatio = 4.0f;
    float mPubMakeupDb = 0.0f;
    float mPubMix = 1.0f;
    int32_t mPubChangeCount = 0;

    // Additions (see ExchangeHooks.cpp):
    RelaxedAtomic<uint32_t> mPublications { 0 };  // +1 per block published; never reset, so a
                                                  // receiver sees a stopped publisher as a count
                                                  // that no longer moves
    RelaxedAtomic<uint32_t> mGeneration { 0 };    // link records: changes at every hand-out
    bool mSenderDropped = false;                  // the last send found no free entry and dropped
                                                  // the oldest block: the queue is really full
};

// Render-thread lock of a record: a short bounded spin on try_lock. When the record stays busy
// the caller skips it for this block.
class RecordTryLock
{
public:
    explicit RecordTryLock (std::mutex& m) noexcept;
    ~RecordTryLock()
    {
        if (held != nullptr)
            held->unlock();
    }
    RecordTryLock (const RecordTryLock&) = delete;
    RecordTryLock& operator= (const RecordTryLock&) = delete;

    bool owns() const noexcept { return held != nullptr; }
    void unlock() noexcept
    {
        if (held != nullptr)
        {
            held->unlock();
            held = nullptr;
        }
    }

private:
    std::mutex* held = nullptr;
};

// Link records are handed out from a free list at construction and taken back at destruction;
// instance ids stay unique and are never reused, but a process may construct any number of
// instances over its life. With every record taken a further instance gets none.
namespace brisalto::linkrecords
{
    // Takes a free record (cleared, group 0, new generation); -1 when all 512 are taken.
    int acquire() noexcept;

    // Clears the record (group 0) and puts it back on the free list.
    void release (int index) noexcept;

    // Records currently handed out.
    int inUse() noexcept;
}
