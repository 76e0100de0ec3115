// Late-bound calls of INode's operations by DISPID, so that a node can be
// driven through IDispatch::Invoke as well as through its own slots.
#pragma once

#include "INode.h"

// Checks and converts the arguments (passed last-first), calls the operation
// through the node's own slot and returns its outcome. A failing operation
// gives DISP_E_EXCEPTION with its status and error object in `excepInfo`.
HRESULT InvokeNodeOperation(INode* node, DISPID member, std::uint16_t flags, DISPPARAMS* params, VARIANT* result,
                            EXCEPINFO* excepInfo, std::uint32_t* argErr);
