#pragma once

#include <vector>

// Choices for Qt's platform plugin, made only where the user made none. Qt reads them while
// the application and its first window are made; withdrawing them then lets the programs the
// utility starts inherit the user's own environment. The scaling choices are attributes of
// this process alone, so they have nothing to withdraw.
class PlatformDefaults {
public:
    PlatformDefaults();

    void withdraw();

private:
    void choose(const char *name, const char *value);
    void chooseScaling();

    std::vector<const char *> chosen;
};
