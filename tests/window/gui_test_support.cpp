#include "gui_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>

namespace tamblure::test {

std::vector<GuiTest>& guiTests()
{
    static std::vector<GuiTest> tests;
    return tests;
}

int registerGuiTest(GuiTest test)
{
    guiTests().push_back(std::move(test));
    return static_cast<int>(guiTests().size());
}

QString testRoot()
{
    return qEnvironmentVariable("TAMBLURE_GUI_TEST_ROOT");
}

QString testHome()
{
    return testRoot() + QStringLiteral("/home");
}

QString freshConfigHome()
{
    static int count = 0;
    const QString folder = testRoot() + QStringLiteral("/config-%1").arg(++count);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder));
    return folder;
}

QString settingsFileUnder(const QString& configHome)
{
    return configHome + QStringLiteral("/tamblure/tamblure.ini");
}

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ModalAnswerer::ModalAnswerer(std::function<void(QDialog&)> dialogAction) : dialogAction_(std::move(dialogAction))
{
    // The timer fires inside the modal window's own event loop.
    connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::poll);
    timer_.start(10);
}

void ModalAnswerer::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible())
        return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        boxes_.push_back({box->windowTitle(), box->text(), box->icon()});
        box->buttons().constFirst()->click();
        return;
    }
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        ++dialogsSeen_;
        if (dialogAction_)
            dialogAction_(*dialog);
        else
            dialog->reject();
    }
}

} // namespace tamblure::test
