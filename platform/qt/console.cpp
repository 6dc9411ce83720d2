#include "platform/gui/afx_console.h"

// Qt programs keep the standard streams of their start.
void AfxAttachParentConsole() {}
