// TRS232Object: the wrapper of the serial node.
#pragma once

#include "trivet.h"

class TRS232Object : public TNode {
 public:
  // Creates the serial node by its class identity; throws ENodeError when it cannot.
  TRS232Object();

 protected:
  void CreateNode() override;
};
