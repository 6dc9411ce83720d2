// A coloured static whose window text is HTML: "<br>" breaks the line, "<p>" starts a paragraph
// and an anchor with an href shows as a link that opens in the browser.
#pragma once

#include "support/ui/color_static.h"

class CHtmlStatic : public CColorStatic {
public:
    using CColorStatic::CColorStatic;

protected:
    void OnSubclassed() override;
};
