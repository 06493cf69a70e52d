#include "EdidSample.h"
#include "ParserTargets.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <algorithm>
#include <ctime>
#include <memory>

namespace {

using Target = std::string (*)(std::string_view);

// The fuzz build's time limit for one input: an input that once hung must now take less. Counted
// in processor time, which other work on a busy machine does not stretch.
constexpr double timeLimitSeconds = 2;

Target targetNamed(const QString &name) {
    if (name == "edid")
        return hlx::fuzz::judgeDisplay;
    if (name == "udev-rules")
        return hlx::fuzz::readUdevRules;
    if (name == "user-list")
        return hlx::fuzz::readUserList;
    return nullptr;
}

QByteArray fileBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// Every input that the fuzzers (scripts/fuzz.sh) found crashing, hanging or answering wrong, kept
// in regressions/<target>/, and the fuzzers' seeds, through the same target bodies the fuzzers
// run. In the sanitizer build a read past the end fails here as it did under the fuzzer.
class TestParserRegressions : public QObject {
    Q_OBJECT

private slots:
    void inputPasses_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QByteArray>("input");

        const QDir regressions(HLX_REGRESSION_DIR);
        int kept = 0;
        for (const QString &target : regressions.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QVERIFY2(targetNamed(target), qPrintable("no fuzz target named " + target));
            const QDir folder(regressions.filePath(target));
            for (const QString &name : folder.entryList(QDir::Files, QDir::Name)) {
                QTest::newRow(qPrintable(target + '/' + name))
                    << target << fileBytes(folder.filePath(name));
                ++kept;
            }
        }
        qInfo("%d kept inputs", kept);

        for (const char *kind : {"headsets", "monitors"}) {
            const std::string dir = HLX_EDID_DIR "/" + std::string(kind);
            for (const std::string &name : EdidSample::hexFiles(dir)) {
                const std::vector<uint8_t> edid = EdidSample::fromHexFile(dir + '/' + name);
                QVERIFY2(edid.size() >= 128, name.c_str());
                QTest::newRow(("seed edid/" + std::string(kind) + '/' + name).c_str())
                    << QString("edid")
                    << QByteArray(reinterpret_cast<const char *>(edid.data()), int(edid.size()));
            }
        }
        const QByteArray rules = fileBytes(HLX_UDEV_RULES_FILE);
        QVERIFY2(rules.contains("ATTRS{idVendor}"), HLX_UDEV_RULES_FILE " holds no rule");
        QTest::newRow("seed udev-rules/70-xrhardware.rules") << QString("udev-rules") << rules;
        const QDir lists(HLX_USER_LIST_SEED_DIR);
        for (const QString &name : lists.entryList(QDir::Files, QDir::Name))
            QTest::newRow(qPrintable("seed user-list/" + name))
                << QString("user-list") << fileBytes(lists.filePath(name));
    }

    void inputPasses() {
        QFETCH(QString, target);
        QFETCH(QByteArray, input);
        // Copied into a buffer of its exact size, as libFuzzer hands it over: a QByteArray keeps
        // a terminating zero and spare room that would hide a read past the end.
        const std::unique_ptr<char[]> exact(new char[size_t(input.size())]);
        std::copy(input.begin(), input.end(), exact.get());
        const std::clock_t start = std::clock();
        const std::string problem =
            targetNamed(target)(std::string_view(exact.get(), size_t(input.size())));
        const double seconds = double(std::clock() - start) / CLOCKS_PER_SEC;
        QVERIFY2(problem.empty(), problem.c_str());
        QVERIFY2(seconds < timeLimitSeconds, qPrintable(QString("took %1 s").arg(seconds)));
    }
};

QTEST_GUILESS_MAIN(TestParserRegressions)
#include "tst_parserregressions.moc"
