// Levels in dB a vector at a time, for the files Highway compiles once per instruction set
// (BlockMath.cpp, the envelope's lanes): one definition, so that every caller gets the same
// bits. Included once per target, hence the toggling guard.
#if defined(BRISALTO_DB_LANES_INL_H) == defined(HWY_TARGET_TOGGLE)
    #ifdef BRISALTO_DB_LANES_INL_H
        #undef BRISALTO_DB_LANES_INL_H
    #else
        #define BRISALTO_DB_LANES_INL_H
    #endif

    #include <hwy/highway.h>
    #include <hwy/contrib/math/math-inl.h>

    #include <cmath>

HWY_BEFORE_NAMESPACE();
namespace brisalto::dsp::lanes::HWY_NAMESPACE
{
    namespace hn = hwy::HWY_NAMESPACE;

    // 20 log10 |v|, like brisalto::dsp::toDb: -144 at or below 6.4e-8 and for NaN, +inf for infinities.
    template <class D, class V>
    HWY_INLINE V magnitudesToDb (D d, V v)
    {
        constexpr float dbPerNeper = 8.685889638065035f;  // 20 / ln(10)
        const auto magnitude = hn::Abs (v);
        const auto isLevel = magnitude > hn::Set (d, 6.4e-8f);  // false for NaN
        const auto infinite = hn::IsInf (v);
        const auto safe = hn::IfThenElse (isLevel, hn::Min (magnitude, hn::Set (d, 3.0e38f)), hn::Set (d, 1.0f));
        auto result = hn::IfThenElse (isLevel, hn::Mul (hn::Log (d, safe), hn::Set (d, dbPerNeper)), hn::Set (d, -144.0f));
        return hn::IfThenElse (infinite, hn::Set (d, INFINITY), result);
    }
}
HWY_AFTER_NAMESPACE();

#endif
