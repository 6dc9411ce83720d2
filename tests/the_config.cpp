#include "settings/product_info.h"
#include "settings/scanner_settings.h"

util::VLAppConfig theConfig(kProductName, kCompanyName, kCompanyWebAddress);
