#include "Eyeshield.h"

#include "BlackBody.h"
#include "EntryResults.h"

#include <cmath>
#include <cstdlib>

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

// Systems store the table at their own precision: one step of an 8-bit level is still a match.
constexpr int matchTolerance = 256;

std::vector<uint16_t> scaled(const std::vector<uint16_t> &channel, double factor) {
    std::vector<uint16_t> result(channel.size());
    for (size_t i = 0; i < channel.size(); ++i)
        result[i] = static_cast<uint16_t>(std::lround(channel[i] * factor));
    return result;
}

bool near(const std::vector<uint16_t> &a, const std::vector<uint16_t> &b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::abs(int(a[i]) - int(b[i])) > matchTolerance)
            return false;
    }
    return true;
}

bool near(const GammaRamp &a, const GammaRamp &b) {
    return near(a.red, b.red) && near(a.green, b.green) && near(a.blue, b.blue);
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

std::optional<int> Eyeshield::levelOf(const GammaRamp &ramp) {
    const GammaRamp identity = GammaRamp::identity(ramp.size());
    for (const auto &entry : levels) {
        if (near(ramp, shielded(identity, entry.kelvin)))
            return entry.level;
    }
    return std::nullopt;
}

Eyeshield::Eyeshield(DisplayGamma &gamma)
    : m_gamma(gamma) {}

int Eyeshield::switchOn(const HeadsetDisplay &display, int level) {
    const std::optional<int> kelvin = temperatureOf(level);
    if (!kelvin)
        return entryResult::failed;
    const std::lock_guard<std::mutex> lock(m_mutex);
    const std::optional<GammaRamp> current = m_gamma.read(display.output);
    if (!current || current->size() == 0 ||
        !m_gamma.write(display.output, shielded(ownRamp(display.output, *current), *kelvin)))
        return entryResult::failed;
    m_level = level;
    return entryResult::ok;
}

int Eyeshield::switchOff(const HeadsetDisplay &display) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    const std::optional<GammaRamp> current = m_gamma.read(display.output);
    if (!current || current->size() == 0)
        return entryResult::failed;
    const GammaRamp own = ownRamp(display.output, *current);
    if (*current != own && !m_gamma.write(display.output, own))
        return entryResult::failed;
    m_level.reset();
    // The display's own table is read afresh next time: another program may change it
    // while the shield is off.
    m_ownRamps.erase(display.output);
    return entryResult::ok;
}

std::optional<int> Eyeshield::level() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_level;
}

void Eyeshield::reapply(const HeadsetDisplay &display) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_level)
        return;
    const std::optional<GammaRamp> current = m_gamma.read(display.output);
    if (!current)
        return;
    const int kelvin = *temperatureOf(*m_level);
    if (*current == shielded(ownRamp(display.output, *current), kelvin))
        return;
    // A display plugged again, or given a new mode, starts from a table of its own.
    m_ownRamps.erase(display.output);
    m_gamma.write(display.output, shielded(ownRamp(display.output, *current), kelvin));
}

GammaRamp Eyeshield::ownRamp(const std::string &output, const GammaRamp &current) {
    const auto known = m_ownRamps.find(output);
    if (known != m_ownRamps.end() && known->second.size() == current.size())
        return known->second;
    // A table the shield left on in an earlier run is not the display's own.
    return m_ownRamps[output] = levelOf(current) ? GammaRamp::identity(current.size()) : current;
}

} // namespace hlx
