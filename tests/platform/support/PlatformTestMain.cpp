#include "PlatformTestMain.h"

#include <QTest>

#include <iostream>

namespace support {

int runPlatformTest(QObject &cases, const std::map<std::string, Helper> &helpers, int argc,
                    char *argv[]) {
    if (argc >= 3 && std::string(argv[1]) == "--helper") {
        const auto helper = helpers.find(argv[2]);
        if (helper == helpers.end()) {
            std::cerr << "no helper mode '" << argv[2] << "'" << std::endl;
            return 2;
        }
        return helper->second({argv + 3, argv + argc});
    }
    return QTest::qExec(&cases, argc, argv);
}

} // namespace support
