#include "processor/PluginProcessor.h"
#include "processor/state/StateChunkReader.h"
#include "platform/Log.h"
#include "HostileJson.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
    juce::String chunkOf (BrisaltoAudioProcessor& p)
    {
        juce::MemoryBlock block;
        p.getStateInformation (block);
        return block.toString();
    }

    void restoreBytes (BrisaltoAudioProcessor& p, const std::string& bytes)
    {
        p.setStateInformation (bytes.data(), (int) bytes.size());
    }

    // An instance whose state differs from every default, so that any reset would show.
    struct StateChunkReading : ::testing::Test
    {
        StateChunkReading()
        {
            for (int k = 0; k < 30; ++k)
                p.setParameter (k, 0.3f);
            p.mixMode = 3;
            p.trackNumber = 4;
            p.groupNumber = 0;
            p.grp_param_sync = 0;
            p.midiSideChan = 2;
            p.inputFormat = 13;
            p.midi_progr_change_channel = 6;
            p.midi_progr_change_mode = 1;
            p.midi_CC_receive_mode = 1;
            p.pluginResizedW = 500;
            p.pluginResizedH = 400;
            p.channel_weights[1] = 0.5f;
            p.currentUserPreset = "mine";
            p.mUserPresetModified = 1;
            before = chunkOf (p);
        }

        void expectUnchanged (const std::string& what)
        {
            EXPECT_EQ (chunkOf (p), before) << what;
            EXPECT_EQ (p.mUserPresetModified, 1) << what;
        }

        ScopedXdgFolders folders;
        BrisaltoAudioProcessor p;
        juce::String before;
    };

    std::string nested (int depth)
    {
        return std::string ((size_t) depth, '[') + std::string ((size_t) depth, ']');
    }
}

//==============================================================================
TEST_F (StateChunkReading, TextThatIsNotAnObjectChangesNothing)
{
    const std::string inputs[] = { "",
                                   "{",
                                   "}",
                                   " ",
                                   "x",
                                   "\x01",
                                   "null",
                                   "42",
                                   "\"text\"",
                                   "[1, 2, 3]",
                                   "[]",
                                   "{\"mixMode\": }",
                                   "{\"mixMode\": 2",
                                   "{'mixMode': 2}",
                                   "{\"a\" 1}",
                                   "{\"\": 1}",
                                   "\xef\xbb\xbf",
                                   "\xef\xbb\xbf[]",
                                   "-",
                                   "{\"a\": -}",
                                   "{\"a\": \"\\u12\"}",
                                   "{\"a\": \"unterminated",
                                   "{\"a\": tru}",
                                   "<xml/>",
                                   "\xff\xfe{\0\"\0" };
    for (const auto& input : inputs)
    {
        restoreBytes (p, input);
        expectUnchanged ("input: " + input);
    }

    p.setStateInformation (nullptr, 100);
    p.setStateInformation (before.toRawUTF8(), 0);
    p.setStateInformation (before.toRawUTF8(), -5);
    expectUnchanged ("null pointer, zero and negative sizes");
}

TEST_F (StateChunkReading, EveryTruncationOfARealChunkChangesNothing)
{
    const std::string full = before.toStdString();
    for (size_t n = 0; n < full.size(); ++n)
    {
        restoreBytes (p, full.substr (0, n));
        if (n % 256 == 0)
            brisalto::platform::log::flush();  // each refusal is logged: keep the log queue from overflowing
    }
    brisalto::platform::log::flush();
    expectUnchanged ("truncations");
}

TEST_F (StateChunkReading, ZeroBytesEndTheText)
{
    restoreBytes (p, std::string ("\0{\"mixMode\": 5}", 15));
    expectUnchanged ("zero byte first");

    restoreBytes (p, std::string ("{\"mixMode\": 5}\0 trailing garbage {[", 34));
    EXPECT_EQ (p.mixMode, 5);
}

TEST_F (StateChunkReading, WrongTypesAndRangesTakeDefaultsOrAreClamped)
{
    restoreBytes (p, R"({
        "trackNumber": 1e300, "groupNumber": -7, "grp_param_sync": "abc", "mixMode": 9,
        "midiSideChan": 2.5, "inputFormat": "13", "currentUserPreset": 12,
        "midi_progr_change_channel": 99, "midi_progr_change_mode": -1,
        "midi_CC_receive_mode": [1], "midi_receive_from_DAW": true,
        "pluginResizedW": -3, "pluginResizedH": 1e12,
        "Threshold": "0.25", "Release": "fast", "Attack": 1e300, "Lookahead": -1e300,
        "Ratio": null, "MakeupGain": {}, "Mix": [0.1], "Smooth_Orig": 1e400, "FreqOut": -0.0,
        "HardLimiterRelease": 99999999999999999,
        "channel_weights": [2.5, -1, "0.5", null, "x", 1e999]
    })");

    EXPECT_EQ (p.trackNumber, 7);  // clamped to the last slot
    EXPECT_EQ (p.groupNumber, 0);
    EXPECT_EQ (p.grp_param_sync, 1);  // not a number: default
    EXPECT_EQ (p.mixMode, 1);         // not a mode: default
    EXPECT_EQ (p.midiSideChan, -1);
    EXPECT_EQ (p.inputFormat, 13);  // a string holding a number gives that number
    EXPECT_EQ (p.currentUserPreset, "mine");
    EXPECT_EQ (p.midi_progr_change_channel, 0);
    EXPECT_EQ (p.midi_progr_change_mode, 0);
    EXPECT_EQ (p.midi_CC_receive_mode, 0);
    EXPECT_EQ (p.midi_receive_from_DAW, 1);
    EXPECT_EQ (p.pluginResizedW, 0);
    EXPECT_EQ (p.pluginResizedH, 16384);

    EXPECT_EQ (p.getParameter (Threshold), 0.25f);
    EXPECT_FLOAT_EQ (p.getParameter (Release), 0.03f);
    EXPECT_EQ (p.getParameter (Attack), 1.0f);
    EXPECT_EQ (p.getParameter (Lookahead), 0.0f);
    EXPECT_FLOAT_EQ (p.getParameter (Ratio), 0.35f);
    EXPECT_FLOAT_EQ (p.getParameter (MakeupGain), 0.5f);
    EXPECT_FLOAT_EQ (p.getParameter (Mix), 1.0f);
    EXPECT_FLOAT_EQ (p.getParameter (Smooth_Orig), 1.0f);  // infinite: default
    EXPECT_EQ (p.getParameter (FreqOut), 0.0f);
    EXPECT_EQ (p.getParameter (HardLimiterRelease), 1.0f);
    for (int k = 0; k < 30; ++k)
        EXPECT_TRUE (std::isfinite (p.getParameter (k)) && p.getParameter (k) >= 0.0f && p.getParameter (k) <= 1.0f);
    EXPECT_TRUE (std::isfinite (p.mAttackSamples.load() * 1.0f));

    EXPECT_EQ (p.channel_weights[0], 1.0f);
    EXPECT_EQ (p.channel_weights[1], 0.0f);
    EXPECT_EQ (p.channel_weights[2], 0.5f);
    EXPECT_EQ (p.channel_weights[3], 1.0f);  // null, text and infinity keep the weight
    EXPECT_EQ (p.channel_weights[4], 1.0f);
    EXPECT_EQ (p.channel_weights[5], 1.0f);
}

TEST_F (StateChunkReading, ArraysThatAreNotArraysAreIgnored)
{
    restoreBytes (p, R"({ "plugin_params": { "0": 0.9 }, "channel_weights": "all" })");
    for (int k = 0; k < 30; ++k)
        EXPECT_EQ (p.getParameter (k), 0.3f);
    EXPECT_EQ (p.channel_weights[1], 0.5f);

    restoreBytes (p, R"({ "plugin_params": 7, "channel_weights": 0.1 })");
    EXPECT_EQ (p.getParameter (0), 0.3f);
    EXPECT_EQ (p.channel_weights[0], 1.0f);

    // Elements of the wrong type take the parameter's default.
    restoreBytes (p, R"({ "plugin_params": [0.9, "x", null, [], 2] })");
    EXPECT_EQ (p.getParameter (0), 0.9f);
    EXPECT_FLOAT_EQ (p.getParameter (1), 0.03f);
    EXPECT_FLOAT_EQ (p.getParameter (2), 0.0f);
    EXPECT_FLOAT_EQ (p.getParameter (3), 0.12f);
    EXPECT_EQ (p.getParameter (4), 1.0f);
    EXPECT_EQ (p.getParameter (5), 0.3f);
}

TEST_F (StateChunkReading, DeepNestingIsRefusedBeforeParsing)
{
    restoreBytes (p, "{\"a\": " + nested (200000) + "}");
    expectUnchanged ("200000 levels");

    restoreBytes (p, "{\"a\": " + std::string (100000, '{'));
    expectUnchanged ("unclosed objects");

    // Brackets inside strings do not count; the limit itself is accepted.
    const auto depthLimit = "{\"a\": " + nested (brisalto::StateChunkReader::maxNestingDepth - 1)
        + ", \"mixMode\": 5, \"s\": \"[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[\"}";
    restoreBytes (p, depthLimit);
    EXPECT_EQ (p.mixMode, 5);

    p.mixMode = 3;
    restoreBytes (p, "{\"a\": " + nested (brisalto::StateChunkReader::maxNestingDepth) + ", \"mixMode\": 5}");
    EXPECT_EQ (p.mixMode, 3);

    // A quote in a single-quoted value must not hide the brackets after it.
    restoreBytes (p, "{\"a\": '\"', \"b\": " + nested (100000) + "}");
    EXPECT_EQ (p.mixMode, 3);
}

TEST_F (StateChunkReading, LongDigitRunsAreRefusedBeforeParsing)
{
    const std::string runs[] = {
        "{\"mixMode\": 5, \"x\": " + std::string (19, '9') + "}",
        "{\"mixMode\": 5, \"x\": -" + std::string (5000, '7') + "}",
        "{\"mixMode\": 5, \"x\": " + std::string (30, '9') + ".5}",
        "{\"mixMode\": 5, \"x\": 1e123456789}",
        "{\"mixMode\": 5, \"x\": 1.5E-0000000000001}",
        "{\"mixMode\": 5, \"x\": [" + std::string (20, '1') + "]}",
    };
    for (const auto& run : runs)
    {
        restoreBytes (p, run);
        expectUnchanged (run.substr (0, 60));
    }

    // Within the limits numbers read normally, and digits inside strings are text.
    restoreBytes (
        p,
        "{\"mixMode\": 5, \"a\": 999999999999999999, \"b\": 0.1234567890123456789012345678901234, \"c\": 1e-400, \"d\": 2E+308,"
        " \"currentUserPreset\": \""
            + std::string (200, '8') + "\"}");
    EXPECT_EQ (p.mixMode, 5);
    EXPECT_EQ (p.currentUserPreset, juce::String (std::string (200, '8')));
}

TEST_F (StateChunkReading, HostileTextsAreRefusedBeforeParsing)
{
    for (const auto& hostile : hostileJsonTexts())
    {
        brisalto::StateChunkReader::Result result;
        const auto status = brisalto::StateChunkReader::read (hostile.text.data(), (int) hostile.text.size(), true, result);
        EXPECT_NE (status, brisalto::StateChunkReader::Status::ok) << hostile.what;
        // The log says why in the words of the check every reader shares.
        EXPECT_STREQ (brisalto::StateChunkReader::describe (status),
                      brisalto::platform::json::describe (
                          brisalto::platform::json::checkText (hostile.text.data(), hostile.text.size())))
            << hostile.what;
        restoreBytes (p, hostile.text);
        expectUnchanged (hostile.what);
    }

    // A minus with blanks before its digits, and exponent signs, still read as numbers.
    restoreBytes (p, "{\"mixMode\": 5, \"Threshold\": - 0.5, \"Ratio\": 2.5e-1, \"Attack\": 25E+0}");
    EXPECT_EQ (p.mixMode, 5);
    EXPECT_EQ (p.getParameter (0), 0.0f);
    EXPECT_EQ (p.getParameter (5), 0.25f);
    EXPECT_EQ (p.getParameter (3), 1.0f);
}

TEST_F (StateChunkReading, TextIsDecodedAsUtf8WhenItIsUtf8)
{
    restoreBytes (p, "{\"currentUserPreset\": \"Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb8\"}");
    EXPECT_EQ (p.currentUserPreset, juce::String (L"Caf\u00e9 \u20ac \U0001F3B8"));

    restoreBytes (p, "\xef\xbb\xbf{\"currentUserPreset\": \"\xc3\xa9\"}");
    EXPECT_EQ (p.currentUserPreset, juce::String (L"\u00e9"));

    // Not UTF-8: each byte is one character.
    restoreBytes (p, "{\"currentUserPreset\": \"Caf\xe9\"}");
    EXPECT_EQ (p.currentUserPreset, juce::String (L"Caf\u00e9"));

    // Encoded surrogates and overlong forms are not UTF-8 either.
    EXPECT_FALSE (brisalto::StateChunkReader::isValidUtf8 ("\xed\xa0\xbd", 3));
    EXPECT_FALSE (brisalto::StateChunkReader::isValidUtf8 ("\xc0\xaf", 2));
    EXPECT_FALSE (brisalto::StateChunkReader::isValidUtf8 ("\xf4\x90\x80\x80", 4));
    EXPECT_FALSE (brisalto::StateChunkReader::isValidUtf8 ("\xe2\x82", 2));
    EXPECT_TRUE (brisalto::StateChunkReader::isValidUtf8 ("\xf4\x8f\xbf\xbf", 4));
}

TEST_F (StateChunkReading, SurrogatePairsReadBackAsOneCharacter)
{
    restoreBytes (p, R"({"currentUserPreset": "a\ud83d\ude00b\uD834\uDD1E"})");
    EXPECT_EQ (p.currentUserPreset, juce::String (L"a\U0001F600b\U0001D11E"));
    EXPECT_TRUE (chunkOf (p).contains (R"("currentUserPreset": "a\ud83d\ude00b\ud834\udd1e",)"));

    // Halves without their partner are not characters.
    restoreBytes (p, R"({"currentUserPreset": "x\ud800y\udc00\ude00\ud83d"})");
    EXPECT_EQ (p.currentUserPreset, juce::String (L"x\uFFFDy\uFFFD\uFFFD\uFFFD"));
}

TEST_F (StateChunkReading, HugeInputIsRefused)
{
    std::string huge = "{\"mixMode\": 5, \"pad\": \"" + std::string (brisalto::StateChunkReader::maxTextBytes, ' ') + "\"}";
    restoreBytes (p, huge);
    expectUnchanged ("over the size limit");
}
