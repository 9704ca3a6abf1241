#pragma once

// True once the application has been asked to quit (Close pressed, or the
// last window closed) and its loops are unwinding. Lets pending events through
// once while it looks.
bool applicationIsQuitting();
