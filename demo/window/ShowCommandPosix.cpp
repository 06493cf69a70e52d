#include "ShowCommand.h"

// A process started here carries no wish for how its window is shown.
ShowCommand startupShowCommand() {
    return ShowCommand::Normal;
}
