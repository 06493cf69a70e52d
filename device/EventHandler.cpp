#include "EventHandler.h"

void EventHandler::attach(EventHandler *next) {
    if (next == nullptr)
        return;
    successor = next;
    next->attachedHandlers.push_back(this);
}
