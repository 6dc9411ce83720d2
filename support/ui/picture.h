// CPicture: a picture decoded from a JPEG resource of the program, rendered into a device
// context. Implemented by the windowing backend the build picks.
#pragma once

#include "gui_backend/picture.h"
