#include "ToolWindows.h"

const QStringList& ToolWindowCatalog::creationOrder() {
  static const QStringList order{QStringLiteral("RegFrm"), QStringLiteral("TraceFrm"), QStringLiteral("BitSetFrm"),
                                 QStringLiteral("TransmitFrm"), QStringLiteral("FiltersFrm")};
  return order;
}

void ToolWindowCatalog::addWindow(const QString& componentName, Factory factory) {
  if (creationOrder().contains(componentName)) factories_[componentName] = std::move(factory);
}

ToolWindowCatalog::Factory ToolWindowCatalog::factory(const QString& componentName) const {
  const auto it = factories_.find(componentName);
  return it == factories_.end() ? Factory() : it->second;
}

void ToolWindowCatalog::setRegisterFileActions(FileAction load, FileAction save) {
  registerLoad_ = std::move(load);
  registerSave_ = std::move(save);
}
