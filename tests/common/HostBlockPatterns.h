#pragma once

#include <vector>

// Host block sizes seen in real hosts, for an instance prepared for 512 samples: each pattern
// repeats. Hosts split blocks at loop points and automation points, change them with the
// buffer size, and some vary them on every call.
struct HostBlockPattern
{
    const char* name;
    std::vector<int> sizes;
};

inline const HostBlockPattern hostBlockPatterns[] = {
    { "512", { 512 } },  // first: the constant reference
    { "512, 400", { 512, 400 } },
    { "512, 341", { 512, 341 } },
    { "512, 256", { 512, 256 } },
    { "256, 512", { 256, 512 } },
    { "64, 32", { 64, 32 } },
    { "1024, 512", { 1024, 512 } },
    { "512, 100, 412, 1, 33, 479, 300", { 512, 100, 412, 1, 33, 479, 300 } },
};
