// The echo node's class identity: the stand-in library that EchoNode.cpp
// builds registers it, and the component tests create it by it.
#pragma once

#include "ComTypes.h"

constexpr CLSID CLSID_EchoNode{0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
