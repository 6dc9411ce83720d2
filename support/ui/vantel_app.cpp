#include "support/ui/vantel_app.h"

CVantelApp::CVantelApp(util::VLAppConfig* config) : m_config(config) {}

void CVantelApp::UpdateAllViews(CView*, long, CObject*) {}

void CVantelApp::SetHelpFile(const vantel::VLString& path, bool) {
    m_helpFile = path;
}

int CVantelApp::CreateDocTemplates() {
    return 0;
}
