// Several instances exchange on several render threads while the editor side changes groups,
// modes and slots and further instances are created, rendered and destroyed. Built with
// ThreadSanitizer this must run without a report; in any build, without a crash.

#include "processor/PluginProcessor.h"
#include "common/ExchangeTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

TEST (ExchangeStress, InstancesOnSeveralRenderThreadsWhileGroupsModesAndSlotsChange)
{
    ScopedXdgFolders folders;
    const SharedTransport playing {};
    const SharedTransport stopped { 0, false };  // their render threads share the stopped clock
    constexpr int threads = 4, perThread = 2;
    std::vector<std::unique_ptr<Member>> instances;
    for (int i = 0; i < threads * perThread; ++i)
    {
        instances.push_back (makeMember ((i / perThread) % 2 == 0 ? playing : stopped, MixMode::sum, 2, 256, 256));
        instances.back()->p->groupSelectorChanged (2 + i % 3);
    }
    const auto render = [] (Member& m, int n, int64_t position)
    {
        m.head.blockStart = position;
        m.renderBlock (position, n);
        m.output.clear();
    };

    std::atomic<bool> running { true };
    std::atomic<long> blocks { 0 };
    const int sizes[] = { 256, 256, 512, 100, 0, 1, 256 };

    std::vector<std::thread> renderers;
    for (int t = 0; t < threads; ++t)
        renderers.emplace_back (
            [&, t]
            {
                int64_t position = 0;
                for (int block = 0; running; ++block)
                {
                    const int n = sizes[(block + t) % 7];
                    for (int k = 0; k < perThread; ++k)
                        render (*instances[(size_t) (t * perThread + k)], n, position);
                    position += n;
                    ++blocks;
                }
            });

    // The editors: mix mode, group selector, slot, SYNC PARS and the synced parameters.
    std::thread editors (
        [&]
        {
            std::mt19937 random (5);
            while (running)
            {
                auto& p = *instances[random() % instances.size()]->p;
                switch (random() % 5)
                {
                    case 0: p.mixMode = (int32_t) (1 + random() % 6); break;
                    case 1: p.groupSelectorChanged ((int) (random() % 18)); break;
                    case 2: p.trackNumber = (int32_t) (random() % 12) - 2; break;
                    case 3: p.grp_param_sync = (int32_t) (random() % 2); break;
                    default: p.setParameter ((int) (random() % 7), (float) (random() % 100) / 100.0f); break;
                }
                (void) p.mLinkStatus.load();
                std::this_thread::sleep_for (std::chrono::microseconds (50));
            }
        });

    // Instances that come and go, each rendering on its own thread while it lives.
    std::thread lifecycle (
        [&]
        {
            for (int round = 0; running; ++round)
            {
                auto passing = makeMember (playing, round % 2 == 0 ? MixMode::sum : MixMode::sideChainSend, 2, 256, 256);
                passing->p->groupSelectorChanged (2 + round % 3);
                std::thread renderer (
                    [&]
                    {
                        for (int b = 0; b < 40; ++b)
                            render (*passing, 256, b * 256);
                    });
                renderer.join();
            }
        });

    // At least three seconds and at least a few hundred blocks, however slow the machine: the
    // check below counts blocks, never time.
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds (3000) || blocks.load() <= 200)
        std::this_thread::sleep_for (std::chrono::milliseconds (10));
    running = false;
    for (auto& r : renderers)
        r.join();
    editors.join();
    lifecycle.join();
    EXPECT_GT (blocks.load(), 200);
}
