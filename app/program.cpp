// The program's entry: the window and the page dialog, created once and kept
// until the program ends.

#include "app/main.h"
#include "app/tableau.h"
#include "app/window_arguments.h"
#include "common/memory_tuning.h"
#include "common/version.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QLineEdit>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Help and version need no window, so they are answered before the toolkit
// starts (and looks for a display); the rest waits until the toolkit has
// taken its own options out.
int answer(const tamblure::app::WindowArguments& read)
{
    using Kind = tamblure::app::WindowArguments::Kind;
    switch (read.kind) {
    case Kind::Help:
        std::fputs(tamblure::app::kWindowUsage, stdout);
        std::fputs(tamblure::app::kWindowHelp, stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case Kind::Version:
        std::printf("tamblure %s\n", tamblure::kVersion);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case Kind::Wrong:
        std::fprintf(stderr, "%s\n%s", read.message.c_str(), tamblure::app::kWindowUsage);
        return 2;
    case Kind::Window:
        break;
    }
    return -1;
}

} // namespace

int main(int argc, char* argv[])
{
    const tamblure::app::WindowArguments early = tamblure::app::readWindowArguments({argv + 1, argv + argc});
    if (early.kind == tamblure::app::WindowArguments::Kind::Help ||
        early.kind == tamblure::app::WindowArguments::Kind::Version)
        return answer(early);
    tamblure::keepFreedMemoryForReuse();
    QApplication application(argc, argv);
    std::vector<std::string> left;
    for (const QString& argument : QApplication::arguments().mid(1))
        left.push_back(argument.toStdString());
    const tamblure::app::WindowArguments read = tamblure::app::readWindowArguments(left);
    if (const int status = answer(read); status >= 0)
        return status;
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
    // A folder given on the command line (a file manager's "Open with")
    // takes the remembered one's place; the window remembers it on close.
    if (!read.folder.empty())
        Form1.repertoire->setText(QFileInfo(QString::fromStdString(read.folder)).absoluteFilePath());
    Form1.show();
    return QApplication::exec();
}
