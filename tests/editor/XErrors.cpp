// Outside a standalone app JUCE leaves X errors to the host; Xlib's default handler would end
// the test program on the first one (a bare Xvfb has no window manager and lacks atoms that
// JUCE expects). The test program installs this handler instead, as a host would.

#include <X11/Xlib.h>

namespace
{
    int ignoreError (Display*, XErrorEvent*)
    {
        return 0;
    }
}

void ignoreXErrors()
{
    XSetErrorHandler (ignoreError);
}
