#include "processor/state/FactoryPrograms.h"
#include "processor/PluginProcessor.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>

namespace
{
    const float defaults[30] = {
        0.72f, 0.03f, 0.0f, 0.12f, 0.34f, 0.35f, 0.5f, 0.0f,  0.0f, 0.0f, 0.0f, 0.01f, 1.0f, 1.0f, 0.0f,
        0.9f,  0.5f,  0.9f, 0.0f,  0.5f,  0.0f,  0.0f, 0.05f, 0.0f, 0.0f, 0.2f, 0.1f,  0.0f, 0.0f, 0.05f
    };

    struct Program
    {
        const char* name;
        std::map<int, float> normalised;  // the values each program sets, normalised
    };

    // Names and normalised values of the seven programs as the documentation lists them.
    const Program programs[7] = {
        { "default", {} },
        { "drum : snare",
          { { 0, 0.7f },
            { 1, 0.125f },
            { 3, 0.2f },
            { 5, 0.45f },
            { 9, 1.0f },
            { 10, 0.2f },
            { 13, 1.0f },
            { 14, 1.0f },
            { 18, 1.0f } } },
        { "drum : snare less body",
          { { 0, 0.7f }, { 1, 0.125f }, { 3, 0.4f }, { 5, 0.45f }, { 7, 1.0f }, { 14, 1.0f }, { 18, 1.0f }, { 26, 0.9f } } },
        { "drum : snare less attack",
          { { 0, 0.7f }, { 1, 0.0125f }, { 3, 0.0f }, { 5, 0.45f }, { 7, 1.0f }, { 14, 1.0f }, { 18, 1.0f }, { 26, 0.9f } } },
        { "drum : snare cut background",
          { { 0, 0.56f },
            { 1, 0.1f },
            { 3, 0.0f },
            { 5, 0.85f },
            { 7, 1.0f },
            { 12, 0.05f },
            { 14, 1.0f },
            { 18, 1.0f },
            { 26, 0.9f } } },
        { "vocals : normal", { { 0, 0.6f }, { 1, 0.055f }, { 3, 0.08f }, { 6, 0.6667f }, { 9, 1.0f }, { 10, 0.1f } } },
        { "vocals : high dynamic",
          { { 0, 0.6f },
            { 1, 0.055f },
            { 3, 0.08f },
            { 6, 0.6667f },
            { 8, 1.0f },
            { 9, 1.0f },
            { 10, 0.1f },
            { 16, 0.5f },
            { 17, 0.8f } } },
    };

    void expectProgramValues (BrisaltoAudioProcessor& p, const std::map<int, float>& values, const char* what)
    {
        for (int k = 0; k < 30; ++k)
        {
            const auto it = values.find (k);
            const float expected = it != values.end() ? it->second : defaults[k];
            EXPECT_NEAR (p.getParameter (k), expected, 1.0e-4f) << what << ", parameter " << k;
        }
    }

    struct FactoryPrograms : ::testing::Test
    {
        ScopedXdgFolders folders;
        BrisaltoAudioProcessor p;
    };
}

TEST_F (FactoryPrograms, EveryProgramSetsItsValuesAndDefaultsElsewhere)
{
    ASSERT_EQ (p.getNumPrograms(), 7);

    for (int index = 0; index < 7; ++index)
    {
        // Start from something unlike every program, so leftovers would show.
        for (int k = 0; k < 30; ++k)
            p.setParameter (k, 0.3f);

        p.setCurrentProgram (index);
        EXPECT_EQ (p.getCurrentProgram(), index);
        EXPECT_EQ (p.getProgramName (index), juce::String (programs[index].name));
        expectProgramValues (p, programs[index].normalised, programs[index].name);
    }

    // The stored value of program 6's amount is the float nearest to 0.8.
    p.setCurrentProgram (6);
    EXPECT_EQ (p.getParameter (17), 0.8f);
}

TEST_F (FactoryPrograms, ProgramsReplaceEachOtherCompletely)
{
    p.setCurrentProgram (1);
    p.setCurrentProgram (5);
    EXPECT_FLOAT_EQ (p.getParameter (Ratio), defaults[Ratio]);
    EXPECT_FLOAT_EQ (p.getParameter (SoftLimiterOn), defaults[SoftLimiterOn]);
    EXPECT_FLOAT_EQ (p.getParameter (MaxMakeupOn), defaults[MaxMakeupOn]);
    EXPECT_FLOAT_EQ (p.getParameter (Smooth_Orig), defaults[Smooth_Orig]);

    p.setCurrentProgram (0);
    expectProgramValues (p, {}, "default after vocals");
    // Derived values follow: threshold back to -14 dB, ratio 4.
    EXPECT_NEAR (p.mThresholdDb, -14.0f, 1.0e-4f);
    EXPECT_NEAR (p.mRatio, 4.0f, 1.0e-5f);
}

TEST_F (FactoryPrograms, IndicesOutsideTheListGiveDefaultsAndUserSet)
{
    EXPECT_EQ (p.getCurrentProgram(), 0);  // -1 after construction reads as 0

    p.setCurrentProgram (2);
    p.setCurrentProgram (9);
    expectProgramValues (p, {}, "index 9");
    EXPECT_EQ (p.getCurrentProgram(), 9);
    EXPECT_EQ (p.getProgramName (9), "User Set");

    p.setCurrentProgram (3);
    p.setCurrentProgram (-1);
    expectProgramValues (p, {}, "index -1");
    EXPECT_EQ (p.getCurrentProgram(), 0);
    EXPECT_EQ (p.getProgramName (-1), "User Set");
    EXPECT_EQ (p.getProgramName (7), "User Set");
    EXPECT_EQ (p.getProgramName (std::numeric_limits<int>::min()), "User Set");
}

TEST_F (FactoryPrograms, NamesCannotBeChanged)
{
    p.changeProgramName (1, "mine");
    EXPECT_EQ (p.getProgramName (1), "drum : snare");
    EXPECT_EQ (sPresets.mUserSetName, "User Set");
}

TEST_F (FactoryPrograms, ProgramChangeIsNotAUserEdit)
{
    // A bulk change with the modified flag already set neither counts for the link group
    // nor marks the preset modified again.
    p.setParameter (0, 0.5f);
    ASSERT_EQ (p.mUserPresetModified, 1);
    const int changes = p.mParamChangeCounter;
    p.setCurrentProgram (4);
    EXPECT_EQ (p.mParamChangeCounter, changes);
    EXPECT_EQ (p.mUserPresetModified, 1);
}
