#include "ScreenDpi.h"

namespace support {

namespace {

constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
constexpr wchar_t kLogPixels[] = L"LogPixels";

} // namespace

ScreenDpi::ScreenDpi() {
    RegCreateKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                    nullptr, &m_key, nullptr);
    DWORD size = sizeof m_previous;
    m_hadValue = RegQueryValueExW(m_key, kLogPixels, nullptr, nullptr,
                                  reinterpret_cast<BYTE *>(&m_previous), &size) == ERROR_SUCCESS;
}

ScreenDpi::~ScreenDpi() {
    if (m_hadValue)
        set(m_previous);
    else
        RegDeleteValueW(m_key, kLogPixels);
    RegCloseKey(m_key);
}

bool ScreenDpi::set(DWORD dpi) {
    return RegSetValueExW(m_key, kLogPixels, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&dpi),
                          sizeof dpi) == ERROR_SUCCESS;
}

} // namespace support
