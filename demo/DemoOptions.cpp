#include "DemoOptions.h"

#include <limits>

namespace {

struct IntOption {
    const char *name;
    int DemoOptions::*field;
    int min;
    int max;
};

// Negative numbers are values, not options: "-screen-width -5" is a bad width rather than a
// width that went missing.
bool looksLikeOption(const QString &argument) {
    bool isNumber = false;
    argument.toLongLong(&isNumber);
    return argument.startsWith(QLatin1Char('-')) && !isNumber;
}

} // namespace

DemoOptions DemoOptions::parse(const QStringList &arguments) {
    static const IntOption intOptions[] = {
        {"-screen-width", &DemoOptions::width, 1, maxSize},
        {"-screen-height", &DemoOptions::height, 1, maxSize},
        {"-adapter", &DemoOptions::adapter, 0, std::numeric_limits<int>::max()},
    };
    DemoOptions options;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &name = arguments.at(i);
        const bool isFullscreen = name == QLatin1String("-screen-fullscreen");
        const IntOption *intOption = nullptr;
        for (const IntOption &candidate : intOptions) {
            if (name == QLatin1String(candidate.name))
                intOption = &candidate;
        }
        if (!isFullscreen && !intOption)
            continue;

        if (i + 1 >= arguments.size() || looksLikeOption(arguments.at(i + 1))) {
            options.problems << QStringLiteral("%1 has no value; keeping %2")
                                    .arg(name, isFullscreen
                                                   ? QString::number(options.fullscreen)
                                                   : QString::number(options.*(intOption->field)));
            continue;
        }
        const QString &value = arguments.at(++i);
        bool ok = false;
        const int number = value.toInt(&ok);
        if (isFullscreen) {
            if (ok && (number == 0 || number == 1))
                options.fullscreen = number == 1;
            else
                options.problems << QStringLiteral("%1 wants 0 or 1, not \"%2\"; keeping %3")
                                        .arg(name, value, QString::number(options.fullscreen));
            continue;
        }
        if (ok && number >= intOption->min && number <= intOption->max)
            options.*(intOption->field) = number;
        else
            options.problems << QStringLiteral(
                                    "%1 wants a number from %2 to %3, not \"%4\"; keeping %5")
                                    .arg(name)
                                    .arg(intOption->min)
                                    .arg(intOption->max)
                                    .arg(value)
                                    .arg(options.*(intOption->field));
    }
    return options;
}
