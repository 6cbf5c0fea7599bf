#include "report/RvDataSetConnection.h"

RvDataSetConnection::RvDataSetConnection(const QString &componentName, QObject *parent)
    : QObject(parent)
{
    setObjectName(componentName);
}
