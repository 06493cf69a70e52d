#include "CaseRegistry.h"

int main(int argc, char *argv[]) {
    return checks::CaseRegistry::instance().run(argc, argv);
}
