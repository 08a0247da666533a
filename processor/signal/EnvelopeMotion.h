#pragma once

#include "processor/signal/ChannelComprState.h"

#include <cmath>
#include <cstdint>

// The envelope's running values, kept in locals (or vector lanes) through a block.
struct EnvelopeMotion
{
    float gr, releaseStep;
    int32_t countdown;
    float releaseStart, attackTarget, attackStep;
    int32_t attackLength;
    float attackSum;
    int32_t attackCount;

    static EnvelopeMotion of (const channelComprStateT& s) noexcept
    {
        return { s.mGrDb,         s.mReleaseStepDb, s.mReleaseCountdown, s.mReleaseStartDb,   s.mAttackTargetDb,
                 s.mAttackStepDb, s.mAttackLength,  s.mAttackSumSquares, s.mAttackSampleCount };
    }

    void storeTo (channelComprStateT& s) const noexcept
    {
        s.mGrDb = gr;
        s.mReleaseStepDb = releaseStep;
        s.mReleaseCountdown = countdown;
        s.mReleaseStartDb = releaseStart;
        s.mAttackTargetDb = attackTarget;
        s.mAttackStepDb = attackStep;
        s.mAttackSumSquares = attackSum;
        s.mAttackSampleCount = attackCount;
    }

    bool isFinite() const noexcept
    {
        return std::isfinite (gr) && std::isfinite (releaseStep) && std::isfinite (attackTarget) && std::isfinite (attackStep)
            && std::isfinite (attackSum) && std::isfinite (releaseStart);
    }

    void restart() noexcept
    {
        gr = releaseStep = attackTarget = attackStep = attackSum = releaseStart = 0.0f;
        countdown = attackCount = 0;
    }
};

// How the envelope releases.
struct ReleaseShape
{
    float lengthSamples;  // the release time in samples, as set
    int32_t count;        // samples of a straight release
    bool nonLinear;
    float exponent;
};
