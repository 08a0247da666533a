#pragma once

#include <cstdint>

// Per-sample recursions of several channels side by side: one channel per vector lane. The
// data comes in tiles, step-major: step j of lane k at [j * laneWidth() + k]. Compiled for
// every instruction set as BlockMath is; the arithmetic matches the channels' scalar code
// operation for operation, so the results are the same bits.
namespace brisalto::dsp::lanes
{
    // Floats per vector on the instruction set in use: the tiles' row length.
    int laneWidth() noexcept;

    // The values a linear release ramp hands on, `steps` steps of every lane: at step j the
    // ramp position is q = min (offset + j, end); the value is (release - 1 - q) * rampDb /
    // release for q < end, else 0. The per-lane arrays hold laneWidth() entries.
    void rampValues (const int32_t* offsets, const int32_t* ends, const int32_t* releases, const float* rampDb, float* values,
                     int steps) noexcept;
}
