#pragma once

#include <QString>

// What travels along the event chain. Handlers read only its text.
struct Event {
    QString text;
};
