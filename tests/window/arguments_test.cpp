// The window's command line: a folder to open on, help and version without a
// window, and what it refuses.

#include "gui_test_support.h"

#include "window/window_arguments.h"

#include <QTest>

namespace tamblure::test {

using Kind = window::WindowArguments::Kind;

class ArgumentsTest : public QObject {
    Q_OBJECT

private slots:
    void areReadAsTheUsageSays_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("message");
        QTest::newRow("nothing") << QStringList() << int(Kind::Window) << ""
                                 << "";
        QTest::newRow("a folder") << QStringList{"Photos"} << int(Kind::Window) << "Photos"
                                  << "";
        QTest::newRow("a folder named like an option") << QStringList{"--", "-été"} << int(Kind::Window) << "-été"
                                                       << "";
        QTest::newRow("help") << QStringList{"Photos", "--help"} << int(Kind::Help) << ""
                              << "";
        QTest::newRow("short help") << QStringList{"-h"} << int(Kind::Help) << ""
                                    << "";
        QTest::newRow("version") << QStringList{"--version"} << int(Kind::Version) << ""
                                 << "";
        QTest::newRow("unknown option") << QStringList{"--bogus"} << int(Kind::Wrong) << ""
                                        << "tamblure : --bogus : option inconnue";
        QTest::newRow("two folders") << QStringList{"a", "b"} << int(Kind::Wrong) << ""
                                     << "tamblure : un seul dossier à la fois";
    }

    void areReadAsTheUsageSays()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, kind);
        QFETCH(QString, folder);
        QFETCH(QString, message);
        std::vector<std::string> given;
        for (const QString& argument : arguments)
            given.push_back(argument.toStdString());
        const window::WindowArguments read = window::readWindowArguments(given);
        QCOMPARE(int(read.kind), kind);
        QCOMPARE(QString::fromStdString(read.folder), folder);
        QCOMPARE(QString::fromStdString(read.message), message);
    }
};

TAMBLURE_GUI_TEST(ArgumentsTest)

} // namespace tamblure::test

#include "arguments_test.moc"
