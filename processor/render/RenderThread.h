#pragma once

// Remembers which threads render audio. A thread that has rendered once is treated as a
// render thread from then on: work that may block or post messages is deferred there.
namespace brisalto::RenderThread
{
    void markCurrent() noexcept;
    bool isCurrent() noexcept;

    // For a thread that will not render again (tests that reuse one thread for everything).
    void forgetCurrent() noexcept;
}
