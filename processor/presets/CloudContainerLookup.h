#pragma once

#include <functional>
#include <string>

// The cloud container lookup: makes the container's documents folder on a background thread
// and hands its path to `answer` on the message thread; never answers when there is no store.
// The worker thread ends when it runs out of work; it is joined before the next one starts
// and, at the latest, when the library's static objects are destroyed.
void requestCloudContainer (std::function<void (const std::string&)> answer);

// Each processor holds one for its whole life. Answers are posted to the message thread only
// while one exists: after the last instance a format wrapper shuts JUCE's message manager down,
// and a post racing that deletion would touch freed memory.
class CloudContainerAnswerGate
{
public:
    CloudContainerAnswerGate();
    ~CloudContainerAnswerGate();
    CloudContainerAnswerGate (const CloudContainerAnswerGate&) = delete;
    CloudContainerAnswerGate& operator= (const CloudContainerAnswerGate&) = delete;
};
