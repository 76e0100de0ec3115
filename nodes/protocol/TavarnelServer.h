// The protocol node library's identities and descriptions, as registration
// writes them and the class factory uses them.
#pragma once

#include "NodeTypeInfo.h"

const ServerDescription& TavarnelServer();
