#include "processor/render/RenderThread.h"

namespace brisalto::RenderThread
{
    namespace
    {
        thread_local bool rendersAudio = false;
    }

    void markCurrent() noexcept
    {
        rendersAudio = true;
    }
    bool isCurrent() noexcept
    {
        return rendersAudio;
    }
    void forgetCurrent() noexcept
    {
        rendersAudio = false;
    }
}
