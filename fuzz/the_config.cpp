// The fuzz targets' settings store; each input installs a fresh in-memory one.
#include "settings/product_info.h"
#include "settings/scanner_settings.h"

util::VLAppConfig theConfig(kProductName, kCompanyName, kCompanyWebAddress);
