// The program's two globals, in this order: the application object hands the settings store to
// its base and stores the product information in it.
#include "app/pelmora.h"
#include "settings/product_info.h"

util::VLAppConfig theConfig(kProductName, kCompanyName, kCompanyWebAddress);
CPelmora theApp;
