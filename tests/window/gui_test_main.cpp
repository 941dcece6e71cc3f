// Runs the window test classes: the one named by the first argument, or
// every one of them when the first argument is an option or missing; Qt
// Test's own options follow. "--classes" lists the classes, one per line,
// for CTest to register each on its own. The program makes its own home and
// configuration folders before the toolkit starts, so that the user's
// documents folder and settings file are never looked at.

#include "gui_test_support.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    using tamblure::test::GuiTest;
    using tamblure::test::guiTests;

    if (argc == 2 && std::strcmp(argv[1], "--classes") == 0) {
        for (const GuiTest& test : guiTests())
            std::printf("%s\n", test.name);
        return 0;
    }
    std::vector<const GuiTest*> chosen;
    if (argc >= 2 && argv[1][0] != '-') {
        for (const GuiTest& test : guiTests())
            if (std::strcmp(test.name, argv[1]) == 0)
                chosen.push_back(&test);
        if (chosen.empty()) {
            std::fprintf(stderr, "no window test class named %s (--classes lists them)\n", argv[1]);
            return 2;
        }
        // Qt Test reads the rest; the class name is not one of its options.
        argv[1] = argv[0];
        --argc;
        ++argv;
    } else {
        for (const GuiTest& test : guiTests())
            chosen.push_back(&test);
    }

    QTemporaryDir root;
    if (!root.isValid()) {
        std::fprintf(stderr, "no temporary folder for the window tests\n");
        return 1;
    }
    const QByteArray rootPath = QFile::encodeName(root.path());
    qputenv("TAMBLURE_GUI_TEST_ROOT", rootPath);
    qputenv("HOME", rootPath + "/home");
    qputenv("XDG_CONFIG_HOME", rootPath + "/config");
    QDir().mkpath(root.path() + QStringLiteral("/home"));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication application(argc, argv);
    // The tests close windows; that must not end anything.
    QApplication::setQuitOnLastWindowClosed(false);

    int failures = 0;
    for (const GuiTest* test : chosen) {
        std::unique_ptr<QObject> tests = test->make();
        failures += QTest::qExec(tests.get(), argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
