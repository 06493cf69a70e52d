#include "DeviceMessageFilter.h"

void DeviceMessageFilter::install() {}
