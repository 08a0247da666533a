#pragma once

// Transcendental work a whole block at a time, in vector lanes. Each function is compiled for
// every x86-64 instruction set worth having (SSSE3, SSE4, AVX2, AVX-512 and a scalar fallback)
// and runs the best one the CPU offers, chosen once at the first call (see prepare below).
//
// Accuracy (Highway's documented bounds): logarithms within 4 ulp, exponentials within 1 ulp,
// tanh within 4 ulp of the exact value. Pointers may alias only where a function says so;
// n may be any count.
namespace brisalto::dsp::block
{
    // Picks the instruction set now (CPU detection), so that no render call does it.
    void prepare() noexcept;

    // db[i] = 20 log10 |x[i]|, like brisalto::dsp::toDb: -144 at or below 6.4e-8 and for NaN, +inf for
    // infinities. db may be x.
    void magnitudesToDb (const float* x, float* db, int n) noexcept;

    // db[i] = 10 log10 p[i] for squared magnitudes, like 0.5 * brisalto::dsp::toDb (brisalto::dsp::finiteOrZero (p)):
    // -72 at or below 6.4e-8 and for anything not finite. db may be p.
    void powersToDb (const float* p, float* db, int n) noexcept;

    // gain[i] = 10^(db[i] / 20), exactly 1 where db[i] is 0. gain may be db.
    void dbToGains (const float* db, float* gain, int n) noexcept;

    // y[i] = tanh (scale * x[i] + offset). y may be x.
    void tanhOf (const float* x, float* y, int n, float scale, float offset) noexcept;

    // y[i] = x[i]^exponent for x[i] >= 0 (0 stays 0). y may be x.
    void powerOf (const float* x, float* y, int n, float exponent) noexcept;

    // Runs `count` independent biquads (transposed direct form II) in place over n samples of
    // their blocks, side by side in vector lanes. Biquad k has the coefficients
    // coeffs[5k .. 5k+4] (b0, b1, b2, a1, a2) and the state z[2k], z[2k+1], updated.
    void biquads (float* const* blocks, int count, int n, const float* coeffs, float* z) noexcept;
}
