#include "ToolWindows.h"

const QStringList& ToolWindowCatalog::creationOrder()
{
    static const QStringList order{QStringLiteral("RegFrm"), QStringLiteral("TraceFrm"),
                                   QStringLiteral("BitSetFrm"), QStringLiteral("TransmitFrm"),
                                   QStringLiteral("FiltersFrm")};
    return order;
}

void ToolWindowCatalog::addWindow(const QString& componentName, Factory factory)
{
    if (creationOrder().contains(componentName))
        m_factories[componentName] = std::move(factory);
}

ToolWindowCatalog::Factory ToolWindowCatalog::factory(const QString& componentName) const
{
    const auto it = m_factories.find(componentName);
    return it == m_factories.end() ? Factory() : it->second;
}

void ToolWindowCatalog::setRegisterFileActions(FileAction load, FileAction save)
{
    m_registerLoad = std::move(load);
    m_registerSave = std::move(save);
}
