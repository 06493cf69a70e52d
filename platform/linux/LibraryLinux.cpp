#include "LastError.h"
#include "Platform.h"

#include <cerrno>
#include <dlfcn.h>

namespace platform {

namespace {

void keepFailure(int code) {
    const char *text = dlerror();
    lastError() = {code, text != nullptr ? text : std::string()};
}

} // namespace

LastError &lastError() {
    thread_local LastError error;
    return error;
}

std::string deviceLibraryFileName() {
    return "libHLX.so";
}

// The search that dlopen does for a bare name uses the RUNPATH of the object that calls
// it. This code is linked statically into the executable, whose RUNPATH is $ORIGIN.
LibraryHandle loadLibrary(const std::string &fileName) {
    errno = 0;
    LibraryHandle library = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        keepFailure(errno);
    return library;
}

void *resolveSymbol(LibraryHandle library, const char *name) {
    if (library == nullptr) {
        lastError() = {EINVAL, std::string()};
        return nullptr;
    }
    dlerror();
    errno = 0;
    void *address = dlsym(library, name);
    if (address == nullptr)
        keepFailure(errno);
    return address;
}

} // namespace platform
