#include "EditorTestSupport.h"
#include "editor/panels/TextEditPanel.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
    struct Result
    {
        TextEditPanel* panel;
        int code;
        juce::String text;
    };

    struct RecordingDialog
    {
        RecordingDialog()
        {
            dialog.onResult = [this] (TextEditPanel* p, int code, juce::String text) { results.push_back ({ p, code, text }); };
        }

        TextEditPanel dialog;
        std::vector<Result> results;
    };
}

TEST (TextEditPanel, ChildrenAndLabelFontFollowThePanelSize)
{
    TextEditPanel dialog;
    const struct
    {
        int w, h;
        juce::Rectangle<int> text, ok, cancel, status;
        float font;
    } sizes[] = {
        { 350, 100, { 16, 16, 312, 32 }, { 280, 64, 40, 24 }, { 184, 64, 72, 24 }, { 16, 70, 128, 16 }, 14.0f },
        { 280, 80, { 13, 13, 250, 26 }, { 224, 51, 40, 24 }, { 147, 51, 72, 24 }, { 13, 56, 102, 13 }, 11.7f },
        { 700, 200, { 32, 32, 624, 64 }, { 560, 128, 40, 24 }, { 368, 128, 72, 24 }, { 32, 140, 256, 32 }, 14.0f },
    };
    for (int round = 0; round < 3; ++round)
    {
        for (const auto& s : sizes)
        {
            SCOPED_TRACE (testing::Message() << s.w << "x" << s.h);
            dialog.setSize (s.w, s.h);
            EXPECT_EQ (dialog.textEditor->getBounds(), s.text);
            EXPECT_EQ (dialog.okButton->getBounds(), s.ok);
            EXPECT_EQ (dialog.cancelButton->getBounds(), s.cancel);
            EXPECT_EQ (dialog.statusLabel->getBounds(), s.status);
            EXPECT_FLOAT_EQ (dialog.statusLabel->getFont().getHeight(), s.font);
        }
    }
}

TEST (TextEditPanel, ReportsOkWithTheTextAsTypedAndCancelWithNothing)
{
    for (const juce::String typed : { "", "  My Preset  ", "Lead.midi3" })
    {
        RecordingDialog r;
        r.dialog.textEditor->setText (typed);
        r.dialog.buttonClicked (r.dialog.okButton.get());
        r.dialog.buttonClicked (r.dialog.cancelButton.get());
        ASSERT_EQ (r.results.size(), 2u);
        EXPECT_EQ (r.results[0].panel, &r.dialog);
        EXPECT_EQ (r.results[0].code, 1);
        EXPECT_EQ (r.results[0].text, typed);
        EXPECT_EQ (r.results[1].code, 0);
        EXPECT_EQ (r.results[1].text, juce::String());
    }
}

TEST (TextEditPanel, ReturnAndEscapeNeitherConfirmNorCancel)
{
    RecordingDialog r;
    r.dialog.textEditor->setText ("name");
    for (auto key : { juce::KeyPress::returnKey, juce::KeyPress::escapeKey })
    {
        r.dialog.textEditor->keyPressed (juce::KeyPress (key));
        EXPECT_FALSE (r.dialog.keyPressed (juce::KeyPress (key)));
    }
    pumpPendingMessages (1000);
    EXPECT_TRUE (r.results.empty());
    EXPECT_EQ (r.dialog.textEditor->getText(), "name");
}

TEST (TextEditPanel, WithoutACallbackTheButtonsDoNothing)
{
    TextEditPanel dialog;
    dialog.buttonClicked (dialog.okButton.get());
    dialog.buttonClicked (dialog.cancelButton.get());
    SUCCEED();
}
