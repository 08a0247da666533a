#pragma once

#include "editor/panels/ControlPanel.h"
#include "editor/shell/BrisaltoAudioProcessorEditor.h"
#include "processor/PluginProcessor.h"

#include <memory>

// A processor with the editor a host would open on it (through createEditorIfNeeded, so that it
// is the processor's active editor). The editor is deleted first.
struct OpenEditor
{
    explicit OpenEditor (int storedWidth = 0, int storedHeight = 0)
    {
        processor.pluginResizedW = storedWidth;
        processor.pluginResizedH = storedHeight;
        editor.reset (processor.createEditorIfNeeded());
    }

    ~OpenEditor() { close(); }

    // As hosts do: the processor hears of the deletion first.
    void close()
    {
        if (editor != nullptr)
            processor.editorBeingDeleted (editor.get());
        editor.reset();
    }

    BrisaltoAudioProcessorEditor& shell() { return dynamic_cast<BrisaltoAudioProcessorEditor&> (*editor); }
    ControlPanel& panel() { return *shell().controlPanel; }

    BrisaltoAudioProcessor processor;
    std::unique_ptr<juce::AudioProcessorEditor> editor;
};
