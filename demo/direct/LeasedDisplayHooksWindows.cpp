#include "LeasedDisplayHooks.h"

// Windows lends no display to the demo: nothing to join.
DirectModeHooks leasedDisplayHooks() {
    return {};
}
