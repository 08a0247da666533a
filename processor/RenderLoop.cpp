#include "PluginProcessor.h"
#include "RenderThread.h"

void BrisaltoAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    juce::ScopedNoDenormals noDenormals;
    RenderThread::markCurrent();
    mRenderCounter++;
    applyPendingChannelStateChanges();

    for (int ch = getTotalNumInputChannels(); ch < getTotalNumOutputChannels(); ++ch)
        buffer.clear (ch, 0, buffer.getNumSamples());
}

void BrisaltoAudioProcessor::processBlockBypassed (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    RenderThread::markCurrent();
    applyPendingChannelStateChanges();
    for (int ch = getTotalNumInputChannels(); ch < getTotalNumOutputChannels(); ++ch)
        buffer.clear (ch, 0, buffer.getNumSamples());
}

void BrisaltoAudioProcessor::prepareRenderLoop() {}
