#include "EditorTestSupport.h"
#include "editor/lnf/EmbeddedArt.h"
#include "editor/lnf/LumoLNF.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace
{
    struct ArtFile
    {
        std::string name;
        int width, height;
    };

    std::string numbered (const char* prefix, int i)
    {
        return prefix + juce::String (i).paddedLeft ('0', 2).toStdString() + ".png";
    }

    std::vector<ArtFile> allArt()
    {
        std::vector<ArtFile> files { { "toggle_on.png", 108, 108 }, { "toggle_off.png", 108, 108 } };

        for (int i = 0; i < 55; ++i)
            files.push_back ({ numbered ("knob_large_", i), 168, 168 });
        for (int i = 0; i < 55; ++i)
            files.push_back ({ numbered ("knob_small_", i), 136, 136 });
        for (auto* name : { "segment_on.png", "segment_below_centre.png", "segment_off.png" })
            files.push_back ({ name, 22, 36 });
        for (auto* name : ledImageNames)
            files.push_back ({ std::string (name) + ".png", 48, 48 });

        files.push_back ({ "wordmark.png", 500, 80 });
        return files;
    }

    juce::uint32 bigEndian (const char* p)
    {
        return juce::ByteOrder::bigEndianInt (p);
    }

    // The chunk types of a PNG file, in order; empty when the signature is wrong.
    std::vector<std::string> chunkTypes (brisalto::EmbeddedArt::Data data)
    {
        static const char signature[] = "\x89PNG\r\n\x1a\n";
        std::vector<std::string> types;

        if (data.size < 8 || std::memcmp (data.bytes, signature, 8) != 0)
            return types;

        for (int at = 8; at + 12 <= data.size; at += 12 + (int) bigEndian (data.bytes + at))
            types.emplace_back (data.bytes + at + 4, 4);

        return types;
    }

    juce::Colour pixel (const juce::Image& image, int x, int y)
    {
        return image.getPixelAt (x, y);
    }

    float distanceFromCentre (const juce::Image& image, int x, int y)
    {
        return std::hypot ((float) x + 0.5f - (float) image.getWidth() * 0.5f,
                           (float) y + 0.5f - (float) image.getHeight() * 0.5f);
    }

    void forEachPixel (const juce::Image& image, const std::function<void (int, int)>& f)
    {
        for (int y = 0; y < image.getHeight(); ++y)
            for (int x = 0; x < image.getWidth(); ++x)
                f (x, y);
    }

    // Centre of the indicator's white core, relative to the knob centre (y downwards).
    juce::Point<double> dotCentre (const juce::Image& frame)
    {
        double sx = 0, sy = 0, sw = 0;
        forEachPixel (frame,
                      [&] (int x, int y)
                      {
                          const auto c = pixel (frame, x, y);
                          const auto white = juce::jmin (c.getRed(), c.getGreen(), c.getBlue());
                          const auto r = distanceFromCentre (frame, x, y);

                          if (white > 160 && r > 14.0f && r < 34.0f)
                          {
                              sx += white * ((double) x + 0.5 - frame.getWidth() * 0.5);
                              sy += white * ((double) y + 0.5 - frame.getHeight() * 0.5);
                              sw += white;
                          }
                      });
        return { sx / sw, sy / sw };
    }

    const LumoLNF& lnf()
    {
        static LumoLNF instance;
        return instance;
    }
}

TEST (EmbeddedArt, EveryImageIsAPlainRgbaPngWithATransparentBorder)
{
    for (const auto& file : allArt())
    {
        SCOPED_TRACE (file.name);
        const auto data = brisalto::EmbeddedArt::file (file.name.c_str());
        ASSERT_NE (data.bytes, nullptr);

        const auto types = chunkTypes (data);
        ASSERT_GE (types.size(), 3u);
        EXPECT_EQ (types.front(), "IHDR");
        EXPECT_EQ (types.back(), "IEND");
        EXPECT_LE (types.size(), 5u);
        for (size_t i = 1; i + 1 < types.size(); ++i)
            EXPECT_EQ (types[i], "IDAT");

        const auto* ihdr = data.bytes + 16;
        EXPECT_EQ ((int) bigEndian (ihdr), file.width);
        EXPECT_EQ ((int) bigEndian (ihdr + 4), file.height);
        EXPECT_EQ (std::string (ihdr + 8, 5), std::string ("\x08\x06\x00\x00\x00", 5));  // depth, RGBA, no interlace

        const auto image = brisalto::EmbeddedArt::image (file.name.c_str());
        ASSERT_EQ (image.getBounds(), juce::Rectangle<int> (file.width, file.height));

        int opaqueBorderPixels = 0;
        forEachPixel (image,
                      [&] (int x, int y)
                      {
                          const auto onBorder = x == 0 || y == 0 || x == file.width - 1 || y == file.height - 1;
                          opaqueBorderPixels += onBorder && pixel (image, x, y).getAlpha() != 0 ? 1 : 0;
                      });
        EXPECT_EQ (opaqueBorderPixels, 0);
    }
}

TEST (EmbeddedArt, KnobFramesDifferOnlyInTheirDotAtFiveDegreeSteps)
{
    for (const auto* strip : { &lnf().knobFramesLarge, &lnf().knobFramesSmall })
    {
        ASSERT_EQ (strip->size(), 55u);
        const auto& first = strip->front();

        for (int i = 0; i < 55; ++i)
        {
            SCOPED_TRACE ("size " + std::to_string (first.getWidth()) + ", frame " + std::to_string (i));
            const auto& frame = (*strip)[(size_t) i];
            int alphaChanges = 0, changesOutsideTheDotRing = 0;

            forEachPixel (frame,
                          [&] (int x, int y)
                          {
                              const auto a = pixel (first, x, y), b = pixel (frame, x, y);
                              const auto r = distanceFromCentre (frame, x, y);
                              alphaChanges += a.getAlpha() != b.getAlpha() ? 1 : 0;
                              changesOutsideTheDotRing += a != b && (r < 15.4f || r > 32.5f) ? 1 : 0;
                          });
            EXPECT_EQ (alphaChanges, 0);
            EXPECT_EQ (changesOutsideTheDotRing, 0);

            const auto dot = dotCentre (frame);
            const auto angle = juce::radiansToDegrees (std::atan2 (dot.x, -dot.y));
            EXPECT_NEAR (angle, -135.0 + 5.0 * i, 0.5);
            EXPECT_NEAR (dot.getDistanceFromOrigin(), 24.0, 0.3);

            const auto largeDot = dotCentre (lnf().knobFramesLarge[(size_t) i]);
            EXPECT_NEAR (dot.x, largeDot.x, 0.05);
            EXPECT_NEAR (dot.y, largeDot.y, 0.05);
        }
    }
}

TEST (EmbeddedArt, SmallCapIsTheLargeCapWithoutItsPlate)
{
    const auto& large = lnf().knobFramesLarge[20];
    const auto& small = lnf().knobFramesSmall[20];
    int differing = 0, translucentCap = 0;

    forEachPixel (small,
                  [&] (int x, int y)
                  {
                      const auto r = distanceFromCentre (small, x, y);
                      const auto s = pixel (small, x, y), l = pixel (large, x + 16, y + 16);

                      if (r <= 38.0f)
                          differing += std::abs (s.getRed() - l.getRed()) > 1 || std::abs (s.getGreen() - l.getGreen()) > 1
                                  || std::abs (s.getBlue() - l.getBlue()) > 1
                              ? 1
                              : 0;
                      if (r <= 39.0f)
                          translucentCap += s.getAlpha() != 255 ? 1 : 0;
                  });
    EXPECT_EQ (differing, 0);
    EXPECT_EQ (translucentCap, 0);

    // The large frame's plate is opaque to radius 68; its halo ends by 79.
    EXPECT_EQ (pixel (large, 84, 84 - 67).getAlpha(), 255);
    EXPECT_EQ (pixel (large, 84, 84 + 80).getAlpha(), 0);
}

TEST (EmbeddedArt, RingSegmentsHaveExactMirroredGlows)
{
    // Alpha outwards from the bar, beside its long sides and beyond its ends.
    const int side[] = { 255, 255, 140, 114, 89, 63, 38, 19, 6, 0, 0 };  // from column 10 leftwards
    const int end[] = { 255, 78, 58, 42, 28, 17, 8, 2, 0, 0 };           // from row 9 upwards

    struct Segment
    {
        juce::Image image;
        juce::uint32 bar, glow;
    };
    const Segment segments[] = { { lnf().segmentOnImage, 0xff71f7fc, 0xff3af3fb },
                                 { lnf().segmentBelowCentreImage, 0xfffbcd76, 0xfffab446 },
                                 { lnf().segmentOffImage, 0xff0f0f0f, 0 } };

    for (const auto& s : segments)
    {
        SCOPED_TRACE (juce::String::toHexString ((int) s.bar).toStdString());
        const auto& image = s.image;

        forEachPixel (image,
                      [&] (int x, int y)
                      {
                          const auto c = pixel (image, x, y);
                          EXPECT_EQ (c, pixel (image, 21 - x, y)) << x << ", " << y;
                          EXPECT_EQ (c, pixel (image, x, 35 - y)) << x << ", " << y;

                          const auto inBar = x >= 9 && x <= 12 && y >= 9 && y <= 26;
                          if (inBar)
                          {
                              EXPECT_EQ (c.getARGB(), s.bar);
                          }
                          else if (s.glow == 0)
                          {
                              EXPECT_EQ (c.getAlpha(), 0);
                          }
                          else if (c.getAlpha() >= 128)
                          {
                              for (auto channel : { &juce::Colour::getRed, &juce::Colour::getGreen, &juce::Colour::getBlue })
                                  EXPECT_NEAR ((c.*channel)(), (juce::Colour (s.glow).*channel)(), 2);
                          }
                      });

        if (s.glow == 0)
            continue;

        for (int i = 0; i < 11; ++i)
            EXPECT_EQ (pixel (image, 10 - i, 17).getAlpha(), side[i]) << "column " << 10 - i;
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ (pixel (image, 10, 9 - i).getAlpha(), end[i]) << "row " << 9 - i;
        EXPECT_EQ (pixel (image, 5, 20).getAlpha(), pixel (lnf().segmentOnImage, 5, 20).getAlpha());
    }
}

TEST (EmbeddedArt, TogglesAndLedsShowTheirColours)
{
    struct Centre
    {
        const char* name;
        juce::uint32 argb;
    };
    const Centre centres[] = {
        { "toggle_on.png", 0xff3ef3fb },      { "toggle_off.png", 0xff0b2123 },       { "led_green_on.png", 0xff76fb3e },
        { "led_green_off.png", 0xff070e04 },  { "led_red_on.png", 0xfffc4e46 },       { "led_red_off.png", 0xff0e0404 },
        { "led_amber_on.png", 0xfffbb742 },   { "led_amber_dim.png", 0xfff6a23a },    { "led_amber_off.png", 0xff0e0a04 },
        { "led_blue_on.png", 0xff3ea7fb },    { "led_cyan_on.png", 0xff3ef3fb },      { "led_violet_on.png", 0xffb13efb },
        { "led_magenta_on.png", 0xfff63efb }, { "led_lightblue_on.png", 0xff3ed2fb }, { "led_shared_dim.png", 0xff20aed2 },
        { "led_shared_off.png", 0xff040d0e }, { "led_grey.png", 0xff060606 },
    };

    for (const auto& c : centres)
    {
        const auto image = brisalto::EmbeddedArt::image (c.name);
        const auto mid = image.getWidth() / 2;

        for (auto [x, y] :
             { std::pair (mid - 1, mid - 1), std::pair (mid, mid - 1), std::pair (mid - 1, mid), std::pair (mid, mid) })
            EXPECT_EQ (pixel (image, x, y).getARGB(), c.argb) << c.name << " at " << x << ", " << y;
    }

    // The pressed button is an opaque disc of radius 38 on the panel's colour, the raised one of 40.
    EXPECT_EQ (pixel (lnf().toggleOnImage, 54, 54 + 30).getARGB(), 0xff2c2c30u);
    for (auto [image, radius] : { std::pair (lnf().toggleOnImage, 37), std::pair (lnf().toggleOffImage, 39) })
    {
        EXPECT_EQ (pixel (image, 54, 54 - radius).getAlpha(), 255);
        EXPECT_EQ (pixel (image, 54 + radius, 54).getAlpha(), 255);
        EXPECT_EQ (pixel (image, 54, 54 + 51).getAlpha(), 0);
    }
}

TEST (EmbeddedFont, IsRobotoMediumWithOutlinesForTheTextWeShow)
{
    const auto typeface = LumoLNF::getRobotoMediumTypeface();
    ASSERT_NE (typeface, nullptr);
    EXPECT_EQ (typeface->getName(), "Roboto");
    EXPECT_EQ (typeface->getStyle(), "Medium");

    juce::String text;
    for (juce::juce_wchar c = 0x21; c <= 0x7e; ++c)
        text += juce::String::charToString (c);
    for (juce::juce_wchar c = 0xa1; c <= 0xff; ++c)
        if (c != 0xad)  // the soft hyphen is invisible
            text += juce::String::charToString (c);
    for (juce::juce_wchar c : { 0x20ac, 0x2122, 0x2212, 0x221e })  // euro, trade mark, minus, infinity
        text += juce::String::charToString (c);

    juce::Array<int> glyphs;
    juce::Array<float> offsets;
    typeface->getGlyphPositions (text, glyphs, offsets);
    ASSERT_EQ (glyphs.size(), text.length());

    for (int i = 0; i < glyphs.size(); ++i)
    {
        juce::Path outline;
        EXPECT_TRUE (typeface->getOutlineForGlyph (glyphs[i], outline) && ! outline.isEmpty())
            << "U+" << juce::String::toHexString ((int) text[i]);
    }
}
