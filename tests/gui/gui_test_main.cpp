// Runs every window test class in one program. The program makes its own
// home and configuration folders before the toolkit starts, so that the
// user's documents folder and settings file are never looked at.

#include "gui_test_support.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

int main(int argc, char* argv[])
{
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
    for (const auto& make : tamblure::test::guiTests()) {
        std::unique_ptr<QObject> tests = make();
        failures += QTest::qExec(tests.get(), argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
