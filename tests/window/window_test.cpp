// The main window's controls, their start values and the small handlers.

#include "gui_test_support.h"

#include "common/errors.h"
#include "window/main.h"
#include "window/tableau.h"

#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include <new>
#include <stdexcept>

namespace tamblure::test {
namespace {

QString textOf(const QWidget* widget)
{
    if (auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    if (auto* edit = qobject_cast<const QLineEdit*>(widget))
        return edit->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    if (auto* group = qobject_cast<const QGroupBox*>(widget))
        return group->title();
    return QString();
}

// The widgets that Tab visits, in order, starting from `first`.
QStringList tabChain(QWidget* first)
{
    QStringList names;
    QWidget* widget = first;
    do {
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isEnabled())
            names << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != first && names.size() < 50);
    return names;
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        freshConfigHome();
        dialog_ = std::make_unique<window::TDlgTableau>();
        form_ = std::make_unique<window::TForm1>(*dialog_);
    }

    void cleanup()
    {
        form_.reset();
        dialog_.reset();
    }

    void theControlsStandWhereTheTablePutsThem_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::newRow("Label1") << "Label1"
                                << "QLabel" << QRect(24, 8, 49, 13) << "&Répertoire";
        QTest::newRow("Label2") << "Label2"
                                << "QLabel" << QRect(16, 64, 153, 13) << "Compression <-> &Qualité";
        QTest::newRow("repertoire") << "repertoire"
                                    << "QLineEdit" << QRect(24, 32, 233, 21) << QString();
        QTest::newRow("Qualite") << "Qualite"
                                 << "QSlider" << QRect(16, 80, 150, 45) << QString();
        QTest::newRow("Largeur") << "Largeur"
                                 << "QLineEdit" << QRect(176, 136, 97, 21) << "200";
        QTest::newRow("resultat") << "resultat"
                                  << "QListWidget" << QRect(24, 232, 257, 145) << QString();
        QTest::newRow("Button1") << "Button1"
                                 << "QPushButton" << QRect(176, 200, 75, 25) << "&Démarrer";
        QTest::newRow("ChoixRep") << "ChoixRep"
                                  << "QPushButton" << QRect(264, 32, 25, 25) << "...";
        QTest::newRow("CheckHTML") << "CheckHTML"
                                   << "QCheckBox" << QRect(40, 200, 97, 17) << "Page HTML";
        QTest::newRow("RadioCritere") << "RadioCritere"
                                      << "QGroupBox" << QRect(24, 120, 137, 73) << "&Critère";
    }

    void theControlsStandWhereTheTablePutsThem()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        auto* widget = form_->findChild<QWidget*>(name);
        QVERIFY2(widget != nullptr, qPrintable(name));
        QCOMPARE(widget->parentWidget(), form_.get());
        QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), kind);
        // Label1 grows to its text when the font needs more room; Label2 has
        // a fixed size.
        if (name == u"Label1") {
            QCOMPARE(widget->pos(), geometry.topLeft());
            QCOMPARE(widget->height(), geometry.height());
            QVERIFY(widget->width() >= geometry.width());
        } else {
            QCOMPARE(widget->geometry(), geometry);
        }
        if (!text.isEmpty())
            QCOMPARE(textOf(widget), text);
    }

    void theWindowIsSmallFixedAndCaptionedTamblure()
    {
        QCOMPARE(form_->windowTitle(), QStringLiteral("Tamblure"));
        QCOMPARE(form_->size(), QSize(296, 387));
        QCOMPARE(form_->minimumSize(), QSize(296, 387));
        QCOMPARE(form_->maximumSize(), QSize(296, 387));
        const Qt::WindowFlags flags = form_->windowFlags();
        QVERIFY(flags & Qt::WindowMinimizeButtonHint);
        QVERIFY(flags & Qt::WindowSystemMenuHint);
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QCOMPARE(form_->Largeur->font().pixelSize(), 11);
        QCOMPARE(form_->Label1->buddy(), form_->repertoire);
        QCOMPARE(form_->Label2->buddy(), form_->Qualite);
        QVERIFY(form_->RadioDimension->isChecked());
    }

    // The icon comes from the program's resources and needs no SVG plugin:
    // each size it ships comes out at that size, with its picture in it.
    void theIconIsDrawnInEachSizeItShips()
    {
        const QIcon icon = window::applicationIcon();
        for (const int size : {16, 32, 48, 64, 128, 256}) {
            const QImage picture = icon.pixmap(size).toImage();
            QCOMPARE(picture.size(), QSize(size, size));
            QVERIFY(picture.pixelColor(size / 2, size / 2).alpha() == 255);
        }
    }

    void theListsLinesAre13PixelsHigh()
    {
        form_->resultat->addItems({QStringLiteral("a.jpg"), QStringLiteral("b.jpg")});
        const QRect first = form_->resultat->visualItemRect(form_->resultat->item(0));
        const QRect second = form_->resultat->visualItemRect(form_->resultat->item(1));
        QCOMPARE(second.top() - first.top(), 13);
    }

    void theErrorHandlerShowsTheMessageAndTheProgramGoesOn_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("shown");
        QTest::newRow("an error of the program") << 0 << "'x' n'est pas une valeur entière correcte.";
        QTest::newRow("a message ending in a period") << 1 << "Erreur JPEG #5.";
        QTest::newRow("an accented last letter") << 2 << "Impossible de créer /été.";
        QTest::newRow("no memory") << 3 << "Mémoire insuffisante.";
        QTest::newRow("any other exception") << 4 << "panne.";
    }

    void theErrorHandlerShowsTheMessageAndTheProgramGoesOn()
    {
        QFETCH(int, kind);
        QFETCH(QString, shown);
        ModalAnswerer answerer;
        window::runHandler(form_.get(), [kind] {
            switch (kind) {
            case 0:
                throw EConvertError("'x' n'est pas une valeur entière correcte");
            case 1:
                throw EJPEG("Erreur JPEG #5.");
            case 2:
                throw EInOutError("Impossible de créer /été");
            case 3:
                throw std::bad_alloc();
            default:
                throw std::runtime_error("panne");
            }
        });
        QCOMPARE(answerer.boxCount(), 1);
        QCOMPARE(answerer.boxes()[0].title, QStringLiteral("Tamblure"));
        QCOMPARE(answerer.boxes()[0].icon, QMessageBox::Critical);
        QCOMPARE(answerer.boxes()[0].text, shown);
    }

    void tabFollowsTheTable()
    {
        const QStringList expected{
            QStringLiteral("repertoire"), QStringLiteral("Qualite"),        QStringLiteral("Largeur"),
            QStringLiteral("resultat"),   QStringLiteral("Button1"),        QStringLiteral("ChoixRep"),
            QStringLiteral("CheckHTML"),  QStringLiteral("RadioDimension"), QStringLiteral("RadioFacteur")};
        QCOMPARE(tabChain(form_->repertoire), expected);
    }

    void theHintFollowsTheTrackBar_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("hint");
        QTest::newRow("lowest") << 1 << "1";
        QTest::newRow("middle") << 42 << "42";
        QTest::newRow("highest") << 100 << "100";
        QTest::newRow("past the top") << 250 << "100";
    }

    void theHintFollowsTheTrackBar()
    {
        QFETCH(int, position);
        QFETCH(QString, hint);
        QCOMPARE(form_->Qualite->toolTip(), QStringLiteral("75"));
        form_->Qualite->setValue(position);
        QCOMPARE(form_->Qualite->toolTip(), hint);
        QTest::keyClick(form_->Qualite, Qt::Key_Home);
        QCOMPARE(form_->Qualite->toolTip(), QStringLiteral("1"));
    }

    void theFolderBrowserStartsAtTheFieldsFolderAndFillsIt_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QString>("field");
        const QString root = testRoot();
        QTest::newRow("a folder") << root + "/images/été" << root + "/images/été";
        QTest::newRow("the root") << QStringLiteral("/") << QStringLiteral("/");
    }

    void theFolderBrowserStartsAtTheFieldsFolderAndFillsIt()
    {
        QFETCH(QString, choice);
        QFETCH(QString, field);
        const QString start = testRoot() + QStringLiteral("/images");
        QVERIFY(QDir().mkpath(testRoot() + QStringLiteral("/images/été")));
        form_->repertoire->setText(start);
        QString title;
        QString startedAt;
        ModalAnswerer answerer([&](QDialog& dialog) {
            auto& browser = dynamic_cast<QFileDialog&>(dialog);
            title = browser.windowTitle();
            startedAt = browser.directory().absolutePath();
            browser.setDirectory(choice);
            dialog.accept();
        });
        form_->ChoixRep->click();
        QCOMPARE(answerer.dialogsSeen(), 1);
        QCOMPARE(title, QStringLiteral("Dossier des images"));
        QCOMPARE(startedAt, start);
        QCOMPARE(form_->repertoire->text(), field);
    }

    void cancellingTheFolderBrowserLeavesTheField()
    {
        form_->repertoire->setText(QStringLiteral("/nulle/part"));
        ModalAnswerer answerer; // rejects
        form_->ChoixRep->click();
        QCOMPARE(answerer.dialogsSeen(), 1);
        QVERIFY(answerer.boxes().empty());
        QCOMPARE(form_->repertoire->text(), QStringLiteral("/nulle/part"));
    }

private:
    std::unique_ptr<window::TDlgTableau> dialog_;
    std::unique_ptr<window::TForm1> form_;
};

TAMBLURE_GUI_TEST(WindowTest)

} // namespace tamblure::test

#include "window_test.moc"
