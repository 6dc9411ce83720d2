// HTML text for a SysLink.
#pragma once

#include <string>

#include "platform/gui/afx_msgmap.h"

namespace afx {

// The markup of a rich-text static, for the SysLink `link` that shows it: "<br>" breaks the
// line, "<p>" starts a paragraph, anchors with an href stay links.
std::wstring toLinkMarkup(HWND link, const char* html);

}  // namespace afx
