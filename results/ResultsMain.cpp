#include "results/ResultsMain.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QStyleFactory>
#include <clocale>
#include <cstdio>
#include <cstring>

#include "results/ResultsWindow.h"

namespace voltrex::results {

namespace {

constexpr const char* Usage =
    "usage: voltrex2-results [FOLDER]\n"
    "Shows the results of a Voltrex II working folder (default: the working directory):\n"
    "the records of Voltrex2.csv, each pack's capacity history and the curves in curves/.\n";

// How many arguments an option of the toolkit takes up with its value (0:
// none of its options).
int ToolkitOption(const char* argument) {
    static const char* const withValue[] = {"-platform",
                                            "-platformpluginpath",
                                            "-platformtheme",
                                            "-plugin",
                                            "-qwindowgeometry",
                                            "-qwindowtitle",
                                            "-qwindowicon",
                                            "-style",
                                            "-stylesheet",
                                            "-display",
                                            "-geometry",
                                            "-title",
                                            "-name",
                                            "-session"};
    static const char* const alone[] = {"-reverse", "-sync", "-nograb", "-dograb", "-widgetcount"};
    for (const char* option : withValue) {
        if (std::strcmp(argument, option) == 0) {
            return 2;
        }
    }
    for (const char* option : alone) {
        if (std::strcmp(argument, option) == 0) {
            return 1;
        }
    }
    return 0;
}

}  // namespace

void ConfigureResultsAppearance() {
    QApplication::setApplicationName(QStringLiteral("Voltrex II Results"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    QGuiApplication::setDesktopFileName(QStringLiteral("voltrex2-results"));
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) {
        QApplication::setStyle(style);
    }
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/results/voltrex2-%1.png").arg(size), QSize(size, size));
    }
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("voltrex2"), icon));
}

int ResultsMain(int argc, char* argv[]) {
    // The arguments are looked at before the window system is: --help works
    // without a display.
    const char* folderArgument = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("voltrex2-results 1.0");
            return 0;
        }
        // The toolkit's own options (-platform offscreen, -style Fusion, ...)
        // are the toolkit's.
        if (const int taken = ToolkitOption(argv[i]); taken > 0) {
            i += taken - 1;
            continue;
        }
        if (argv[i][0] == '-' && std::strcmp(argv[i], "--") != 0 && folderArgument == nullptr) {
            std::fprintf(stderr, "voltrex2-results: unknown option %s\n%s", argv[i], Usage);
            return 2;
        }
        if (std::strcmp(argv[i], "--") == 0 && i + 1 < argc) {
            ++i;
        }
        if (folderArgument != nullptr) {
            std::fprintf(stderr, "voltrex2-results: one folder only\n%s", Usage);
            return 2;
        }
        folderArgument = argv[i];
    }
    const QString folder =
        folderArgument != nullptr ? QString::fromLocal8Bit(folderArgument) : QDir::currentPath();
    if (!QFileInfo(folder).isDir()) {
        std::fprintf(stderr, "voltrex2-results: %s is not a folder\n",
                     folder.toLocal8Bit().constData());
        return 2;
    }

    QApplication application(argc, argv);
    // The toolkit has set the C library to the user's locale; numbers are
    // read and written with a decimal point whatever it is.
    std::setlocale(LC_NUMERIC, "C");
    ConfigureResultsAppearance();
    ResultsWindow window;
    window.OpenFolder(folder);
    window.show();
    return QApplication::exec();
}

}  // namespace voltrex::results
