#pragma once

#include <juce_events/juce_events.h>

#include <atomic>
#include <cstdint>
#include <functional>

// The pending program change of one processor: any thread puts one in
// without a lock or an allocation (the render thread included), the message thread takes it.
// A newer program change replaces one that is still pending: a controller's burst leaves one
// step to do, for the last program number.
class ProgramChangeSlot
{
public:
    void put (int channel, int program) noexcept
    {
        value.store (pendingBit | ((uint32_t) (channel & 0x0F) << 8) | (uint32_t) (program & 0x7F), std::memory_order_release);
    }

    bool isPending() const noexcept { return (value.load (std::memory_order_acquire) & pendingBit) != 0; }

    // Takes the pending program change; false when there is none.
    bool take (int& channel, int& program) noexcept
    {
        const auto v = value.exchange (0, std::memory_order_acq_rel);
        if ((v & pendingBit) == 0)
            return false;
        channel = (int) ((v >> 8) & 0x0F);
        program = (int) (v & 0x7F);
        return true;
    }

private:
    static constexpr uint32_t pendingBit = 0x80000000u;
    std::atomic<uint32_t> value { 0 };
    static_assert (std::atomic<uint32_t>::is_always_lock_free, "the slot must be lock-free");
};

// A message-thread timer that calls a function (the drain of the slot while a program-change
// mode is on).
class CallbackTimer final : public juce::Timer
{
public:
    std::function<void()> onTick;
    void timerCallback() override
    {
        if (onTick)
            onTick();
    }
};
