// The settings file: read when the window is made, written at every close.

#include "gui_test_support.h"

#include "window/main.h"
#include "window/tableau.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>

namespace tamblure::test {
namespace {

void putFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QString fieldAtStart()
{
    window::TDlgTableau dialog;
    window::TForm1 form(dialog);
    return form.repertoire->text();
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT

private slots:
    void firstStartShowsTheDocumentsFolderWithoutFinalSlash()
    {
        freshConfigHome();
        QCOMPARE(fieldAtStart(), testHome() + QStringLiteral("/Documents"));
    }

    void theFieldShowsTheFirstLineWhateverItHolds_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("field");
        QTest::newRow("a folder") << QByteArray("/photos/vacances\r\n") << QStringLiteral("/photos/vacances");
        QTest::newRow("an empty first line") << QByteArray("\r\n/ignored\r\n") << QString();
        QTest::newRow("an empty file") << QByteArray() << QString();
        QTest::newRow("only the first line counts") << QByteArray("/a\r\n/b\r\n") << QStringLiteral("/a");
        QTest::newRow("no line end") << QByteArray("/sans/fin") << QStringLiteral("/sans/fin");
        QTest::newRow("a bare line feed") << QByteArray("/lf\n/b\n") << QStringLiteral("/lf");
        QTest::newRow("a final slash as typed") << QByteArray("/x/\r\n") << QStringLiteral("/x/");
        QTest::newRow("not a folder at all") << QByteArray("pas un dossier\r\n") << QStringLiteral("pas un dossier");
        QTest::newRow("UTF-8 beyond Latin-1") << QByteArray("/donn\xC3\xA9"
                                                            "es/\xD0\xA4\xD0\xBE\xD1\x82\xD0\xBE\r\n")
                                              << QStringLiteral("/données/Фото");
    }

    void theFieldShowsTheFirstLineWhateverItHolds()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, field);
        putFile(settingsFileUnder(freshConfigHome()), contents);
        QCOMPARE(fieldAtStart(), field);
    }

    void anUnreadableSettingsFileGivesTheDocumentsFolder()
    {
        // A folder standing where the file should be cannot be read as one.
        QVERIFY(QDir().mkpath(settingsFileUnder(freshConfigHome())));
        QCOMPARE(fieldAtStart(), testHome() + QStringLiteral("/Documents"));
    }

    void everyCloseWritesTheFieldInUtf8WithCrLfCreatingTheFolders()
    {
        const QString configHome = freshConfigHome() + QStringLiteral("/deux/niveaux");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome));
        const QString folder = QStringLiteral("/home/zoé/Фото 写真");
        {
            window::TDlgTableau dialog;
            window::TForm1 form(dialog);
            form.show();
            form.repertoire->setText(folder);
            QVERIFY(form.close());
        }
        QCOMPARE(contentsOf(settingsFileUnder(configHome)), folder.toUtf8() + "\r\n");
        QCOMPARE(fieldAtStart(), folder);
    }

    void theFileHoldsTheFieldAtTheLastClose()
    {
        const QString configHome = freshConfigHome();
        window::TDlgTableau dialog;
        window::TForm1 form(dialog);
        form.show();
        form.repertoire->setText(QStringLiteral("/premier"));
        QVERIFY(form.close());
        form.show();
        form.repertoire->setText(QStringLiteral(""));
        QVERIFY(form.close());
        QCOMPARE(contentsOf(settingsFileUnder(configHome)), QByteArray("\r\n"));
    }

    void savingReplacesALinkInsteadOfWritingThroughIt()
    {
        const QString configHome = freshConfigHome();
        const QString elsewhere = testRoot() + QStringLiteral("/ailleurs.txt");
        putFile(elsewhere, "ne pas toucher\r\n");
        QDir().mkpath(configHome + QStringLiteral("/tamblure"));
        QVERIFY(QFile::link(elsewhere, settingsFileUnder(configHome)));

        window::TDlgTableau dialog;
        window::TForm1 form(dialog);
        form.repertoire->setText(QStringLiteral("/nouveau"));
        QVERIFY(form.close());

        QCOMPARE(contentsOf(elsewhere), QByteArray("ne pas toucher\r\n"));
        QVERIFY(!QFileInfo(settingsFileUnder(configHome)).isSymLink());
        QCOMPARE(contentsOf(settingsFileUnder(configHome)), QByteArray("/nouveau\r\n"));
    }

    void aSettingsFolderThatCannotBeMadeLetsTheWindowCloseSilently()
    {
        // A plain file where the configuration folder should be.
        const QString configHome = freshConfigHome();
        putFile(configHome, "un fichier");
        window::TDlgTableau dialog;
        window::TForm1 form(dialog);
        form.show();
        QVERIFY(form.close());
        QVERIFY(!form.isVisible());
        QCOMPARE(contentsOf(configHome), QByteArray("un fichier"));
    }
};

TAMBLURE_GUI_TEST(SettingsTest)

} // namespace tamblure::test

#include "settings_test.moc"
