#pragma once

#include <functional>
#include <string>

// The cloud container lookup: makes the container's documents folder on a background thread
// and hands its path to `answer` on the message thread; never answers when there is no store.
// The worker thread ends when it runs out of work; it is joined before the next one starts
// and, at the latest, when the library's static objects are destroyed.
void requestCloudContainer (std::function<void (const std::string&)> answer);
