#include "SessionRegistryRampStore.h"

#include "Utf16.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>

namespace hlx::windows {

namespace {

// A registry key, closed with the object.
class Key {
public:
    Key() = default;
    explicit Key(HKEY key)
        : m_key(key) {}
    ~Key() {
        if (m_key)
            RegCloseKey(m_key);
    }
    Key(const Key &) = delete;
    Key &operator=(const Key &) = delete;
    Key(Key &&other) noexcept
        : m_key(other.m_key) {
        other.m_key = nullptr;
    }
    Key &operator=(Key &&other) noexcept {
        std::swap(m_key, other.m_key);
        return *this;
    }

    HKEY get() const { return m_key; }
    explicit operator bool() const { return m_key != nullptr; }

private:
    HKEY m_key = nullptr;
};

std::wstring sessionPath() {
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session))
        session = 0;
    return std::wstring(SessionRegistryRampStore::registryKey) + L"\\" + std::to_wstring(session);
}

Key opened() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, sessionPath().c_str(), 0, KEY_READ | KEY_WRITE, &key) !=
        ERROR_SUCCESS)
        return Key();
    return Key(key);
}

// Made one level at a time, so that each key it makes is volatile; one that is there already is
// only opened, whatever it is.
Key made() {
    const std::wstring path = sessionPath();
    Key key;
    for (size_t from = 0; from <= path.size();) {
        const size_t to = std::min(path.find(L'\\', from), path.size());
        const std::wstring name = path.substr(from, to - from);
        HKEY next = nullptr;
        if (RegCreateKeyExW(key ? key.get() : HKEY_CURRENT_USER, name.c_str(), 0, nullptr,
                            REG_OPTION_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &next,
                            nullptr) != ERROR_SUCCESS)
            return Key();
        key = Key(next);
        from = to + 1;
    }
    return key;
}

} // namespace

std::optional<GammaRamp> SessionRegistryRampStore::recall(const HeadsetDisplay &display) {
    const Key key = opened();
    if (!key)
        return std::nullopt;
    const std::wstring name = toUtf16(keyOf(display));
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &bytes) !=
            ERROR_SUCCESS ||
        type != REG_BINARY || bytes % sizeof(uint16_t) != 0)
        return std::nullopt;
    std::vector<uint16_t> values(bytes / sizeof(uint16_t));
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE *>(values.data()), &bytes) != ERROR_SUCCESS ||
        bytes != values.size() * sizeof(uint16_t))
        return std::nullopt;
    return GammaRamp::fromChannels(values.data(), values.size());
}

bool SessionRegistryRampStore::keep(const HeadsetDisplay &display, const GammaRamp &own) {
    const std::vector<uint16_t> values = own.channels();
    if (values.empty())
        return false;
    const Key key = made();
    return key && RegSetValueExW(key.get(), toUtf16(keyOf(display)).c_str(), 0, REG_BINARY,
                                 reinterpret_cast<const BYTE *>(values.data()),
                                 DWORD(values.size() * sizeof(uint16_t))) == ERROR_SUCCESS;
}

void SessionRegistryRampStore::forget(const HeadsetDisplay &display) {
    if (const Key key = opened())
        RegDeleteValueW(key.get(), toUtf16(keyOf(display)).c_str());
}

} // namespace hlx::windows
