#include "Platform.h"
#include "WideText.h"

#include <windows.h>

namespace platform {

std::string deviceLibraryFileName() {
    return "libHLX.dll";
}

// A bare name goes through the standard search, which starts in the executable's folder.
LibraryHandle loadLibrary(const std::string &fileName) {
    const std::wstring wideName = widen(fileName);
    return LoadLibraryW(wideName.c_str());
}

void *resolveSymbol(LibraryHandle library, const char *name) {
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
}

} // namespace platform
