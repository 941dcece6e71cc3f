// The program's entry: the window and the page dialog, created once and kept
// until the program ends.

#include "app/main.h"
#include "app/tableau.h"
#include "common/memory_tuning.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char* argv[])
{
    tamblure::keepFreedMemoryForReuse();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tamblure"));
    QApplication::setDesktopFileName(QStringLiteral("tamblure"));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("tamblure"), QIcon(QStringLiteral(":/icons/tamblure.svg"))));

    // The toolkit's own texts (the folder browser, the standard buttons) in
    // French, like the rest of the program; without the file they stay in
    // English.
    QTranslator toolkitTexts;
    if (toolkitTexts.load(QStringLiteral("qtbase_fr"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&toolkitTexts);

    tamblure::app::TDlgTableau DlgTableau;
    tamblure::app::TForm1 Form1(DlgTableau);
    Form1.show();
    return QApplication::exec();
}
