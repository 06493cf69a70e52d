#pragma once

#include <vector>

struct Event;

// A link of the event chain. A handler names one successor and remembers, without owning
// them, the handlers that attached themselves to it.
class EventHandler {
public:
    EventHandler() = default;
    virtual ~EventHandler() = default;
    EventHandler(const EventHandler &) = delete;
    EventHandler &operator=(const EventHandler &) = delete;

    // The handler neither owns the event nor releases it.
    virtual void handleEvent(Event *&event) = 0;

    // Makes `next` this handler's successor and lists this handler among its children. A
    // null successor changes nothing. Duplicates are kept, and an earlier successor keeps
    // this handler in its children.
    void attach(EventHandler *next);

    EventHandler *successorHandler() const { return successor; }
    const std::vector<EventHandler *> &childHandlers() const { return attachedHandlers; }

private:
    EventHandler *successor = nullptr;
    // Not called "children": the window is also a QObject, and the name would hide
    // QObject::children() from everyone who uses the window.
    std::vector<EventHandler *> attachedHandlers;
};
