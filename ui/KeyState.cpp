#include "ui/KeyState.h"

#include <QGuiApplication>

#ifdef SIMQ_HAVE_X11
#include <X11/XKBlib.h>
#endif

SKeyLocks ReadKeyLocks() {
    SKeyLocks locks;
#ifdef SIMQ_HAVE_X11
    if (auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>()) {
        unsigned state = 0;
        if (Display* display = x11->display();
            display && XkbGetIndicatorState(display, XkbUseCoreKbd, &state) == Success) {
            locks.caps = state & 1;
            locks.num = state & 2;
            locks.scroll = state & 4;
        }
    }
#endif
    return locks;
}
