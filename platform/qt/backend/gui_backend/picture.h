// Qt backend of support/ui/picture.h.
#pragma once

#include "support/ui/qt/picture.h"
