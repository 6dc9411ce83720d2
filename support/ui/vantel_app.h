// The application base of the Vantel programs: a CWinApp bound to the program's settings store.
#pragma once

#include "platform/gui/afxwin.h"
#include "support/vl_app_config.h"
#include "support/vl_string.h"

class CView;
class CObject;

class CVantelApp : public CWinApp {
public:
    // `config` outlives the application object.
    explicit CVantelApp(util::VLAppConfig* config);

    virtual void UpdateAllViews(CView* sender, long hint, CObject* hintObject);
    virtual void SetHelpFile(const vantel::VLString& path, bool contextHelp);
    // Returns the number of document templates made (none).
    virtual int CreateDocTemplates();

    util::VLAppConfig* GetConfig() const { return m_config; }

protected:
    util::VLAppConfig* m_config;
    vantel::VLString m_helpFile;
};
