// The class list of TAVRO.OCX, served by its exports and written by its
// registration.
#pragma once

#include "module/ClassFactory.h"

namespace tavro {

extern const ServerModule kTavroServer;

} // namespace tavro
