#include "ReceptionOrder.h"

#include <algorithm>

#include "CanRegisterMap.h"

void TReceptionOrder::Observe(std::uint8_t isr) {
  std::erase_if(pending_, [isr](int buffer) { return !(isr & CanReg::RxFlag(buffer)); });
  for (int buffer = 1; buffer <= 3; ++buffer)
    if ((isr & CanReg::RxFlag(buffer)) && std::find(pending_.begin(), pending_.end(), buffer) == pending_.end())
      pending_.push_back(buffer);
}

void TReceptionOrder::Taken(int buffer) {
  std::erase(pending_, buffer);
}
