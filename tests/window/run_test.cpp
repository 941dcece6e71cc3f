// Runs started from the window: the page dialog before them, the list they
// fill, "Terminé" or the error box after them, and the presses and closes
// that come while a run lets the window handle its input.

#include "gui_test_support.h"

#include "support/jpeg_fixtures.h"
#include "window/main.h"
#include "window/tableau.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

namespace tamblure::test {
namespace {

QStringList listOf(const QListWidget& list)
{
    QStringList lines;
    for (int i = 0; i < list.count(); ++i)
        lines << list.item(i)->text();
    return lines;
}

void writePhotographs(const QString& folder, const QStringList& names)
{
    std::uint32_t seed = 1;
    for (const QString& name : names) {
        JpegSpec spec;
        spec.width = 40;
        spec.height = 30;
        spec.seed = seed++;
        writeJpeg(std::filesystem::path(QFile::encodeName(folder + u'/' + name).toStdString()), spec);
    }
}

} // namespace

class RunTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        freshConfigHome();
        QVERIFY(photos_.isValid());
        dialog_ = std::make_unique<window::TDlgTableau>();
        form_ = std::make_unique<window::TForm1>(*dialog_);
        form_->show();
        form_->repertoire->setText(photos_.path());
        form_->Largeur->setText(QStringLiteral("16"));
        form_->resultat->addItems({QStringLiteral("ligne d'avant"), QStringLiteral("autre ligne")});
    }

    void cleanup()
    {
        form_.reset();
        dialog_.reset();
        QDir(photos_.path()).removeRecursively();
        QDir().mkpath(photos_.path());
    }

    void aRunFillsTheListInSearchOrderAndSaysTermine()
    {
        writePhotographs(photos_.path(), {"b.jpg", "A.jpg", "c.JPG"});
        QFile::copy(photos_.path() + "/b.jpg", photos_.path() + "/notes.txt");
        ModalAnswerer answerer;
        form_->Button1->click();

        QCOMPARE(listOf(*form_->resultat), (QStringList{"A.jpg", "b.jpg", "c.JPG"}));
        QCOMPARE(answerer.boxCount(), 1);
        QCOMPARE(answerer.boxes()[0].title, QStringLiteral("Tamblure"));
        QCOMPARE(answerer.boxes()[0].text, QStringLiteral("Terminé"));
        QCOMPARE(answerer.boxes()[0].icon, QMessageBox::NoIcon);
        for (const char* name : {"A.jpg", "b.jpg", "c.JPG"})
            QVERIFY2(QFileInfo::exists(photos_.path() + "/tamblure/" + name), name);
        QVERIFY(!form_->running());
    }

    void anErrorEndsTheRunWithItsBoxAndNoTermine_data()
    {
        QTest::addColumn<QString>("inside");
        QTest::addColumn<QString>("number");
        QTest::addColumn<bool>("fileInTheWay");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("list");
        const QStringList before{QStringLiteral("ligne d'avant"), QStringLiteral("autre ligne")};
        QTest::newRow("a number that is no integer")
            << ""
            << "abc" << false << "'abc' n'est pas une valeur entière correcte." << before;
        QTest::newRow("a file where the thumbnails go")
            << ""
            << "16" << true << "Impossible de créer " + photos_.path() + "/tamblure : le fichier existe déjà."
            << QStringList();
        QTest::newRow("a folder that does not exist")
            << "/absent"
            << "16" << false
            << "Impossible de lire le dossier " + photos_.path() + "/absent/ : fichier ou dossier inexistant."
            << QStringList();
    }

    void anErrorEndsTheRunWithItsBoxAndNoTermine()
    {
        QFETCH(QString, inside);
        QFETCH(QString, number);
        QFETCH(bool, fileInTheWay);
        QFETCH(QString, message);
        QFETCH(QStringList, list);
        writePhotographs(photos_.path(), {"a.jpg"});
        if (fileInTheWay)
            QFile::copy(photos_.path() + "/a.jpg", photos_.path() + "/tamblure");
        form_->repertoire->setText(photos_.path() + inside);
        form_->Largeur->setText(number);
        ModalAnswerer answerer;
        form_->Button1->click();

        QCOMPARE(answerer.boxCount(), 1);
        QCOMPARE(answerer.boxes()[0].title, QStringLiteral("Tamblure"));
        QCOMPARE(answerer.boxes()[0].icon, QMessageBox::Critical);
        QCOMPARE(answerer.boxes()[0].text, message);
        QCOMPARE(listOf(*form_->resultat), list);
        QVERIFY(!form_->running());
    }

    void aCancelledPageDialogDoesNothingAtAll()
    {
        writePhotographs(photos_.path(), {"a.jpg"});
        form_->CheckHTML->setChecked(true);
        ModalAnswerer answerer([](QDialog& dialog) { dialog.reject(); });
        form_->Button1->click();

        QCOMPARE(answerer.dialogsSeen(), 1);
        QVERIFY(answerer.boxes().empty());
        QCOMPARE(listOf(*form_->resultat), (QStringList{"ligne d'avant", "autre ligne"}));
        QVERIFY(!QFileInfo::exists(photos_.path() + "/tamblure"));
        QVERIFY(!QFileInfo::exists(photos_.path() + "/index.html"));
    }

    void thePageDialogKeepsItsValuesFromOneRunToTheNext()
    {
        writePhotographs(photos_.path(), {"a.jpg", "b.jpg", "c.jpg"});
        form_->CheckHTML->setChecked(true);
        QString titleSeen;
        QString columnsSeen;
        int run = 0;
        ModalAnswerer answerer([&](QDialog&) {
            if (++run == 1) {
                dialog_->EditTitre->setText(QStringLiteral("Mes vacances"));
                dialog_->SpinColonne->setValue(2);
            } else {
                titleSeen = dialog_->EditTitre->text();
                columnsSeen = dialog_->SpinColonne->text();
            }
            dialog_->OKBtn->click();
        });
        form_->Button1->click();
        QFile::remove(photos_.path() + "/index.html");
        form_->Button1->click();

        QCOMPARE(run, 2);
        QCOMPARE(titleSeen, QStringLiteral("Mes vacances"));
        QCOMPARE(columnsSeen, QStringLiteral("2"));
        QCOMPARE(answerer.boxCount(), 2);
        const QByteArray page = contentsOf(photos_.path() + "/index.html");
        QVERIFY(page.contains("<title>Mes vacances</title>"));
        // Two columns: the third picture opens a second row.
        QCOMPARE(page.count("<tr>"), 2);
    }

    // Unticking the box, or changing the dialog's values, once the run has
    // started must neither cut the page short nor change it.
    void thePageIsDecidedWhenTheRunStarts()
    {
        writePhotographs(photos_.path(), {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"});
        form_->CheckHTML->setChecked(true);
        bool changedDuringTheRun = false;
        ModalAnswerer answerer([&](QDialog&) {
            dialog_->SpinColonne->setValue(2);
            dialog_->OKBtn->click();
            // Fires once the run lets the window handle its input.
            QTimer::singleShot(0, form_.get(), [&] {
                changedDuringTheRun = form_->running();
                form_->CheckHTML->setChecked(false);
                dialog_->SpinColonne->setValue(3);
                dialog_->EditTitre->setText(QStringLiteral("changé"));
            });
        });
        form_->Button1->click();

        QVERIFY(changedDuringTheRun);

        QCOMPARE(listOf(*form_->resultat).size(), 5);
        const QByteArray page = contentsOf(photos_.path() + "/index.html");
        QCOMPARE(page.count("<td>"), 5);
        QCOMPARE(page.count("<tr>"), 3);
        QVERIFY(!page.contains("changé"));
        QVERIFY(page.endsWith("</table>\r\n</body>\r\n</html>\r\n"));
    }

    void aPressDuringARunIsIgnored()
    {
        writePhotographs(photos_.path(), {"a.jpg", "b.jpg", "c.jpg", "d.jpg"});
        int pressesDuringTheRun = 0;
        // Fires while the run lets the window handle its input.
        QTimer::singleShot(0, form_.get(), [&] {
            ++pressesDuringTheRun;
            form_->Button1->click();
        });
        ModalAnswerer answerer;
        form_->Button1->click();

        QCOMPARE(pressesDuringTheRun, 1);
        QCOMPARE(listOf(*form_->resultat), (QStringList{"a.jpg", "b.jpg", "c.jpg", "d.jpg"}));
        QCOMPARE(answerer.boxCount(), 1);
        QCOMPARE(answerer.boxes()[0].text, QStringLiteral("Terminé"));
    }

    void closingDuringARunStopsItAfterThePictureInHand()
    {
        writePhotographs(photos_.path(), {"a.jpg", "b.jpg", "c.jpg", "d.jpg"});
        const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
        bool closedAtOnce = true;
        QTimer::singleShot(0, form_.get(), [&] { closedAtOnce = form_->close(); });
        ModalAnswerer answerer;
        form_->Button1->click();

        QVERIFY(!closedAtOnce);
        QVERIFY(answerer.boxes().empty());
        const int done = form_->resultat->count();
        QVERIFY2(done < 4, qPrintable(QString::number(done)));
        QVERIFY(!form_->isVisible());
        QVERIFY(!form_->running());
        QCOMPARE(contentsOf(settingsFileUnder(configHome)), QFile::encodeName(photos_.path()) + "\r\n");
    }

    void theWindowLivesWhileAPictureIsMadeAndShowsItIsBusy()
    {
        JpegSpec spec = sized(4000, 3000);
        spec.progressive = true;
        writeJpeg(std::filesystem::path(QFile::encodeName(photos_.path() + "/big.jpg").toStdString()), spec);
        int ticksDuringTheRun = 0;
        QStringList titlesSeen;
        bool busyCursorSeen = false;
        Qt::CursorShape cursorUnderTheBox = Qt::BusyCursor;
        QString titleUnderTheBox;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] {
            if (qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr) {
                cursorUnderTheBox = form_->cursor().shape();
                titleUnderTheBox = form_->windowTitle();
                return;
            }
            if (!form_->running())
                return;
            ++ticksDuringTheRun;
            titlesSeen << form_->windowTitle();
            busyCursorSeen = busyCursorSeen || form_->cursor().shape() == Qt::BusyCursor;
        });
        ticker.start(5);
        ModalAnswerer answerer;
        form_->Button1->click();

        QCOMPARE(listOf(*form_->resultat), QStringList{"big.jpg"});
        // One picture: a run that made it on this thread would have let no
        // timer fire at all.
        QVERIFY2(ticksDuringTheRun >= 2, qPrintable(QString::number(ticksDuringTheRun)));
        QVERIFY(titlesSeen.contains(QStringLiteral("Tamblure – 0 / 1")));
        QVERIFY(busyCursorSeen);
        QCOMPARE(answerer.boxCount(), 1);
        QCOMPARE(titleUnderTheBox, QStringLiteral("Tamblure"));
        QVERIFY(cursorUnderTheBox != Qt::BusyCursor);
        QCOMPARE(form_->windowTitle(), QStringLiteral("Tamblure"));
    }

private:
    QTemporaryDir photos_;
    std::unique_ptr<window::TDlgTableau> dialog_;
    std::unique_ptr<window::TForm1> form_;
};

TAMBLURE_GUI_TEST(RunTest)

} // namespace tamblure::test

#include "run_test.moc"
