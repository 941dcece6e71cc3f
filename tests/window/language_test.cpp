// The windows in the reader's language: every caption of the window and of
// the page dialog from the catalogue, and Qt's own texts (standard buttons,
// the folder browser) in the same language.

#include "gui_test_support.h"

#include "common/translation.h"
#include "window/main.h"
#include "window/tableau.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTranslator>

namespace tamblure::test {

class LanguageTest : public QObject {
    Q_OBJECT

private slots:
    void init() { freshConfigHome(); }
    void cleanup() { useLanguage(Language::French, TAMBLURE_LOCALE_DIR); }

    void captionsSpeakTheLanguage_data()
    {
        QTest::addColumn<bool>("english");
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QString>("caption");
        const QStringList french{"&Répertoire",
                                 "Compression <-> &Qualité",
                                 "&Démarrer",
                                 "Page HTML",
                                 "Générer une page HTML",
                                 "&Critère",
                                 "Dimension maximale",
                                 "Facteur de réduction",
                                 "Page HTML",
                                 "&Titre",
                                 "Nombre de &colonnes",
                                 "OK",
                                 "Annuler"};
        const QStringList english{"&Folder",
                                  "Compression <-> &Quality",
                                  "&Start",
                                  "HTML page",
                                  "Write an HTML page",
                                  "&Criterion",
                                  "Largest dimension",
                                  "Reduction factor",
                                  "HTML page",
                                  "&Title",
                                  "Number of &columns",
                                  "OK",
                                  "Cancel"};
        const QStringList widgets{
            "Label1",         "Label2",       "Button1",    "CheckHTML",         "CheckHTML tooltip", "RadioCritere",
            "RadioDimension", "RadioFacteur", "DlgTableau", "DlgTableau Label2", "DlgTableau Label1", "OKBtn",
            "CancelBtn"};
        for (qsizetype i = 0; i < widgets.size(); ++i) {
            QTest::addRow("fr %s", qPrintable(widgets[i])) << false << widgets[i] << french[i];
            QTest::addRow("en %s", qPrintable(widgets[i])) << true << widgets[i] << english[i];
        }
    }

    void captionsSpeakTheLanguage()
    {
        QFETCH(bool, english);
        QFETCH(QString, widget);
        QFETCH(QString, caption);
        useLanguage(english ? Language::English : Language::French, TAMBLURE_LOCALE_DIR);
        window::TDlgTableau dialog;
        window::TForm1 form(dialog);
        const QMap<QString, QString> shown{
            {"Label1", form.Label1->text()},
            {"Label2", form.Label2->text()},
            {"Button1", form.Button1->text()},
            {"CheckHTML", form.CheckHTML->text()},
            {"CheckHTML tooltip", form.CheckHTML->toolTip()},
            {"RadioCritere", form.RadioCritere->title()},
            {"RadioDimension", form.RadioDimension->text()},
            {"RadioFacteur", form.RadioFacteur->text()},
            {"DlgTableau", dialog.windowTitle()},
            {"DlgTableau Label2", dialog.Label2->text()},
            {"DlgTableau Label1", dialog.Label1->text()},
            {"OKBtn", dialog.OKBtn->text()},
            {"CancelBtn", dialog.CancelBtn->text()},
        };
        QCOMPARE(shown.value(widget), caption);
    }

    void theToolkitsOwnTextsFollow_data()
    {
        QTest::addColumn<bool>("english");
        QTest::addColumn<QString>("cancel");
        QTest::newRow("fr") << false << "Annuler";
        QTest::newRow("en") << true << "Cancel";
    }

    void theToolkitsOwnTextsFollow()
    {
        QFETCH(bool, english);
        QFETCH(QString, cancel);
        useLanguage(english ? Language::English : Language::French, TAMBLURE_LOCALE_DIR);
        QTranslator translator;
        window::translateToolkit(translator);
        if (!english && translator.isEmpty())
            QSKIP("Qt's French translations are not installed (qt6-translations-l10n)");
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), cancel);
        QCoreApplication::removeTranslator(&translator);
    }
};

TAMBLURE_GUI_TEST(LanguageTest)

} // namespace tamblure::test

#include "language_test.moc"
