#pragma once

// Enumerations and limits shared by the processor, the editor and the state chunk.

constexpr int MAX_CHANNELS = 28;        // input channels processed
constexpr int NUM_CHANNEL_STATES = 29;  // one per channel plus a shared detector
constexpr int NUM_PARAMETERS = 30;
constexpr int NUM_EXT_SIDECHAIN_SLOTS = 8;
constexpr int NUM_LINK_RECORDS = 512;

enum class MixMode : int
{
    multiMono = 1,
    sum = 2,
    side = 3,
    sideChainSend = 4,
    sideChainReceive = 5,
    sideMidi = 6
};

enum class FilterType : int
{
    bandPass = 0,
    lowPass = 1,
    highPass = 2,
    notch = 3
};

// The detector filter's type from its normalised parameter value (0, 0.1, 0.2, 0.3): the nearest
// tenth, and band-pass for anything that is not one of the other three.
inline FilterType filterTypeFromParameter (float normalised) noexcept
{
    if (! (normalised >= 0.0f && normalised <= 1.0f))  // NaN included: never converted to int
        return FilterType::bandPass;

    const int type = (int) (normalised * 10.0f + 0.5f);
    return type >= (int) FilterType::lowPass && type <= (int) FilterType::notch ? (FilterType) type : FilterType::bandPass;
}

enum class ProgChangeMode : int
{
    off = 0,
    byIndex = 1,
    byName = 2
};

enum class LinkStatus : int
{
    noData = 0,
    exactTimestamp = 1,
    nearTimestamp = 2,
    olderTimestamp = 3,
    closestTimestamp = 4,
    sent = 5,
    // 6 is not used
    queueFull = 7,
    bufferTooShort = 8
};

// Speaker-layout labels of the weight panel.
enum class InputFormat : int
{
    defaultLayout = 0,
    layout5point1point2 = 13,  // 8 channels
    layout7point1point2 = 14   // 10 channels
};
