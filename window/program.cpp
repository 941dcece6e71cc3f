// The program's entry: the window and the page dialog, created once and kept
// until the program ends.

#include "common/process_setup.h"
#include "common/translation.h"
#include "common/version.h"
#include "window/main.h"
#include "window/tableau.h"
#include "window/window_arguments.h"

#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// While the toolkit starts, its messages are held back. When it cannot reach
// a display, Qt prints several English lines and aborts; the user reads one
// French line instead, and the program ends with code 1 like any other
// failure. Once the toolkit is up, what was held is passed on.
struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};
std::vector<HeldMessage> heldMessages;

[[noreturn]] void reportNoDisplay()
{
    std::string reached;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            reached += (reached.empty() ? "" : ", ") + std::string(name) + "=" + value;
    }
    if (reached.empty())
        reached = tamblure::tr("ni DISPLAY ni WAYLAND_DISPLAY n'est défini");
    std::fprintf(stderr, "%s\n",
                 tamblure::format(tamblure::tr("tamblure : aucun affichage graphique n'est accessible (%1) : la "
                                               "fenêtre ne peut pas s'ouvrir (tamblure-batch fait le même travail "
                                               "sans affichage)."),
                                  {reached})
                     .c_str());
    std::_Exit(1);
}

void holdStartupMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    // The only fatal message of the toolkit's start is "no platform plugin
    // could be initialized"; it comes after the platform's own complaint.
    if (type == QtFatalMsg)
        reportNoDisplay();
    heldMessages.push_back({type, QByteArray(context.category), text});
}

void passOnStartupMessages()
{
    qInstallMessageHandler(nullptr);
    for (const HeldMessage& message : heldMessages) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
        qt_message_output(message.type, context, message.text);
    }
    heldMessages.clear();
}

// Help and version need no window, so they are answered before the toolkit
// starts (and looks for a display); the rest waits until the toolkit has
// taken its own options out. -1: open the window.
int answer(const tamblure::window::WindowArguments& read)
{
    using Kind = tamblure::window::WindowArguments::Kind;
    switch (read.kind) {
    case Kind::Help:
        std::fputs(tamblure::tr(tamblure::window::kWindowUsage), stdout);
        std::fputs(tamblure::tr(tamblure::window::kWindowHelp), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case Kind::Version:
        std::printf("tamblure %s\n", tamblure::kVersion);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case Kind::Wrong:
        std::fprintf(stderr, "%s\n%s", read.message.c_str(), tamblure::tr(tamblure::window::kWindowUsage));
        return 2;
    case Kind::Window:
        break;
    }
    return -1;
}

} // namespace

int main(int argc, char* argv[])
{
    // The standard streams first: the locale and the catalogue are files too.
    tamblure::keepStandardStreams();
    tamblure::chooseLanguage();
    const tamblure::window::WindowArguments early = tamblure::window::readWindowArguments({argv + 1, argv + argc});
    if (early.kind == tamblure::window::WindowArguments::Kind::Help ||
        early.kind == tamblure::window::WindowArguments::Kind::Version)
        return answer(early);
    tamblure::ignoreWriteSignals();
    qInstallMessageHandler(holdStartupMessage);
    QApplication application(argc, argv);
    passOnStartupMessages();
    std::vector<std::string> left;
    for (const QString& argument : QApplication::arguments().mid(1))
        left.push_back(argument.toStdString());
    const tamblure::window::WindowArguments read = tamblure::window::readWindowArguments(left);
    if (const int status = answer(read); status >= 0)
        return status;
    QApplication::setApplicationName(QStringLiteral("Tamblure"));
    // The desktop entry's name without ".desktop": it is also the AppStream
    // id and the icon's name.
    QApplication::setDesktopFileName(QStringLiteral("org.tamblure.Tamblure"));
    QApplication::setWindowIcon(tamblure::window::applicationIcon());

    QTranslator toolkitTexts;
    tamblure::window::translateToolkit(toolkitTexts);

    tamblure::window::TDlgTableau DlgTableau;
    tamblure::window::TForm1 Form1(DlgTableau);
    // A folder given on the command line (a file manager's "Open with")
    // takes the remembered one's place; the window remembers it on close.
    if (!read.folder.empty())
        Form1.repertoire->setText(QFileInfo(QString::fromStdString(read.folder)).absoluteFilePath());
    Form1.show();
    return QApplication::exec();
}
