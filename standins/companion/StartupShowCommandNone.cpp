#include "StartupShowCommand.h"

int startupShowCommand() {
    return -1;
}
