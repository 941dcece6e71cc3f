// The program's entry: the window and the page dialog, created once and kept
// until the program ends.

#include "app/main.h"
#include "app/tableau.h"
#include "common/memory_tuning.h"

#include <QApplication>
#include <QLibraryInfo>
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
        reached = "ni DISPLAY ni WAYLAND_DISPLAY n'est défini";
    std::fprintf(stderr,
                 "tamblure : aucun affichage graphique n'est accessible (%s) : la fenêtre ne peut pas s'ouvrir "
                 "(tamblure-batch fait le même travail sans affichage).\n",
                 reached.c_str());
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

} // namespace

int main(int argc, char* argv[])
{
    tamblure::keepFreedMemoryForReuse();
    qInstallMessageHandler(holdStartupMessage);
    QApplication application(argc, argv);
    passOnStartupMessages();
    QApplication::setApplicationName(QStringLiteral("Tamblure"));
    // The desktop entry's name without ".desktop": it is also the AppStream
    // id and the icon's name.
    QApplication::setDesktopFileName(QStringLiteral("org.tamblure.Tamblure"));
    QApplication::setWindowIcon(tamblure::app::applicationIcon());

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
