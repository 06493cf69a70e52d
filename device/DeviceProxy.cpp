#include "DeviceProxy.h"

void DeviceProxy::handleEvent(Event *&) {}
