#include "Eyeshield.h"

#include "BlackBody.h"
#include "EntryResults.h"

#include <cmath>

namespace hlx {

namespace {

// Night-light tools' usual steps: level 1 dims the blue about as evening lamps do; the others
// are warmer still.
constexpr struct {
    int level;
    int kelvin;
} levels[] = {
    {1, 4500},
    {2, 3400},
    {3, 2700},
};

std::vector<uint16_t> scaled(const std::vector<uint16_t> &channel, double factor) {
    std::vector<uint16_t> result(channel.size());
    for (size_t i = 0; i < channel.size(); ++i)
        result[i] = static_cast<uint16_t>(std::lround(channel[i] * factor));
    return result;
}

} // namespace

std::optional<int> Eyeshield::temperatureOf(int level) {
    for (const auto &entry : levels) {
        if (entry.level == level)
            return entry.kelvin;
    }
    return std::nullopt;
}

GammaRamp Eyeshield::shielded(const GammaRamp &original, int kelvin) {
    const BlackBody::Rgb white = BlackBody::whitePoint(kelvin);
    return {scaled(original.red, white.red), scaled(original.green, white.green),
            scaled(original.blue, white.blue)};
}

std::optional<int> Eyeshield::levelOf(const GammaRamp &ramp, const GammaRamp &own, int tolerance) {
    if (ramp.matches(own, tolerance))
        return std::nullopt;
    for (const auto &entry : levels) {
        if (ramp.matches(shielded(own, entry.kelvin), tolerance))
            return entry.level;
    }
    return std::nullopt;
}

GammaRamp Eyeshield::ownOf(const GammaRamp &current, const std::optional<GammaRamp> &kept,
                           int tolerance) {
    if (kept && kept->size() == current.size()) {
        if (current.matches(*kept, tolerance) || levelOf(current, *kept, tolerance))
            return *kept;
        return current;
    }
    const GammaRamp plain = GammaRamp::identity(current.size());
    return levelOf(current, plain, tolerance) ? plain : current;
}

Eyeshield::Eyeshield(DisplayGamma &gamma, OwnRampStore &store)
    : m_gamma(gamma)
    , m_store(store) {}

int Eyeshield::switchOn(const HeadsetDisplay &display, int level) {
    const std::optional<int> kelvin = temperatureOf(level);
    if (!kelvin)
        return entryResult::failed;
    const std::lock_guard<std::mutex> lock(m_mutex);
    const std::optional<GammaRamp> current = m_gamma.read(display.output);
    if (!current || current->size() == 0)
        return entryResult::failed;
    const GammaRamp own = ownRamp(display, *current);
    const GammaRamp warm = shielded(own, *kelvin);
    // Kept before the warm table goes on: a run that ends in between leaves the two in step.
    m_store.keep(display, own);
    if (!current->matches(warm, m_gamma.readBackTolerance()) &&
        !m_gamma.write(display.output, warm))
        return entryResult::failed;
    m_level = level;
    m_giveBackOnReturn = false;
    return entryResult::ok;
}

int Eyeshield::switchOff(const HeadsetDisplay &display) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    const std::optional<GammaRamp> current = m_gamma.read(display.output);
    if (!current || !giveBack(display, *current))
        return entryResult::failed;
    m_level.reset();
    m_giveBackOnReturn = false;
    return entryResult::ok;
}

void Eyeshield::switchOffAway() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_level.reset();
    m_giveBackOnReturn = true;
}

std::optional<int> Eyeshield::level() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_level;
}

void Eyeshield::reapply(const HeadsetDisplay &display) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_level && !m_giveBackOnReturn)
        return;
    const std::optional<GammaRamp> current = m_gamma.read(display.output);
    if (!current || current->size() == 0)
        return;
    if (!m_level) {
        m_giveBackOnReturn = !giveBack(display, *current);
        return;
    }
    // A display plugged again, or given a new mode, may come with a table of its own.
    const GammaRamp own = ownRamp(display, *current);
    const GammaRamp warm = shielded(own, *temperatureOf(*m_level));
    if (current->matches(warm, m_gamma.readBackTolerance()))
        return;
    m_store.keep(display, own);
    m_gamma.write(display.output, warm);
}

GammaRamp Eyeshield::ownRamp(const HeadsetDisplay &display, const GammaRamp &current) {
    return ownOf(current, m_store.recall(display), m_gamma.readBackTolerance());
}

bool Eyeshield::giveBack(const HeadsetDisplay &display, const GammaRamp &current) {
    // A table with no entries is the display's own: there is nothing to give back.
    if (current.size() != 0) {
        const GammaRamp own = ownRamp(display, current);
        if (!current.matches(own, m_gamma.readBackTolerance()) &&
            !m_gamma.write(display.output, own))
            return false;
    }
    // Read afresh next time: another program may change it while the shield is off.
    m_store.forget(display);
    return true;
}

} // namespace hlx
