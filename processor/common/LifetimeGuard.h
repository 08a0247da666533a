#pragma once

#include <memory>
#include <mutex>

// Lets asynchronous work (message-thread callbacks, timers of other objects) reach an object
// only while it is alive, whatever thread destroys it: the owner calls invalidate() first
// thing in its destructor, which waits for a callback that is running and stops later ones.
template <typename Owner>
class LifetimeGuard
{
    // Declared before the handle that names it (clang looks names up in order here).
    struct State
    {
        std::recursive_mutex mutex;
        Owner* owner = nullptr;
    };

public:
    explicit LifetimeGuard (Owner& owner)
        : state (std::make_shared<State>())
    {
        state->owner = &owner;
    }
    ~LifetimeGuard() { invalidate(); }

    void invalidate()
    {
        std::lock_guard<std::recursive_mutex> lock (state->mutex);
        state->owner = nullptr;
    }

    // A copyable handle that async work carries instead of a raw pointer.
    class Handle
    {
    public:
        // Runs fn(owner) when the owner is alive; returns whether it ran.
        template <typename Fn>
        bool call (Fn&& fn) const
        {
            if (state == nullptr)
                return false;
            std::lock_guard<std::recursive_mutex> lock (state->mutex);
            if (state->owner == nullptr)
                return false;
            fn (*state->owner);
            return true;
        }

    private:
        friend class LifetimeGuard;
        explicit Handle (std::shared_ptr<State> s)
            : state (std::move (s))
        {
        }
        std::shared_ptr<State> state;
    };

    Handle handle() const { return Handle (state); }

private:
    std::shared_ptr<State> state;
};
