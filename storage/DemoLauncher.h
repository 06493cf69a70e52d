#pragma once

#include "Singleton.h"

// Starts the demo program that lies beside the utility's working directory and remembers in
// the settings which path it started.
class DemoLauncher : public Singleton<DemoLauncher> {
public:
    // Neither waits for the demo nor reports a failed start: the path is recorded either way.
    void launch() const;

private:
    friend class Singleton<DemoLauncher>;
    DemoLauncher() = default;
};
