#pragma once

// What most tests share: the XDG folders of their own and the hand-driven message thread.
#include "common/MessagePump.h"
#include "common/ScopedXdgFolders.h"
