// Usage: eyeshield-call LIBRARY LEVEL|off
//
// Calls the installed device library's eye-shield entry once, as the utility's Tools menu does,
// and prints its answer, so that the guest's words from hlx-headsets can be held against what
// the library really answers on the real kernel. Built here and carried into the guest.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: eyeshield-call LIBRARY LEVEL|off\n");
        return 2;
    }
    void *library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "eyeshield-call: %s\n", dlerror());
        return 2;
    }
    const bool off = std::strcmp(argv[2], "off") == 0;
    int answer = 0;
    if (off) {
        auto *disable = reinterpret_cast<int (*)()>(dlsym(library, "HLX_DisableEyeshield"));
        if (disable == nullptr)
            return 2;
        answer = disable();
    } else {
        auto *enable = reinterpret_cast<int (*)(int)>(dlsym(library, "HLX_EnableEyeshield"));
        if (enable == nullptr)
            return 2;
        answer = enable(std::atoi(argv[2]));
    }
    std::printf("answer %d\n", answer);
    return 0;
}
