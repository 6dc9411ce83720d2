// Ends the tray program the way Exit does when the session ends under it (logoff, shutdown, a
// termination signal), so the reader stops, the port is closed and the settings stay as they are.
#include "app/pelmora.h"
#include "platform/gui/afxwin.h"

namespace {

const bool kInstalled = [] {
    AfxSetSessionEndHandler([] { theApp.OnExit(); });
    return true;
}();

}  // namespace
