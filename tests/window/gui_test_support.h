#pragma once

// Helpers of the window tests: a registry of the test classes, the test's own
// configuration and home folders, and an answerer for the modal windows that
// the window opens while a test drives it.

#include <QDialog>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

namespace tamblure::test {

// Each test class registers itself under its own name; the test program runs
// one class, named on its command line, or all of them.
struct GuiTest {
    const char* name;
    std::function<std::unique_ptr<QObject>()> make;
};
std::vector<GuiTest>& guiTests();
int registerGuiTest(GuiTest test);

#define TAMBLURE_GUI_TEST(Class)                                                                                       \
    [[maybe_unused]] static const int registered##Class =                                                              \
        ::tamblure::test::registerGuiTest({#Class, [] { return std::make_unique<Class>(); }});

// The folder that the test program made for itself; HOME is its "home".
QString testRoot();
QString testHome();

// Points XDG_CONFIG_HOME at a new folder below the test root (not created),
// so that each test starts without a settings file; returns it.
QString freshConfigHome();

// The settings file under the current XDG_CONFIG_HOME, built by hand.
QString settingsFileUnder(const QString& configHome);

// A file's bytes; empty when it cannot be read.
QByteArray contentsOf(const QString& path);

// Answers every modal window that comes up while it exists: a message box is
// recorded and confirmed; any other dialog (the page dialog, the folder
// browser) is handed to dialogAction, which must close it.
class ModalAnswerer : public QObject {
public:
    struct Box {
        QString title;
        QString text;
        QMessageBox::Icon icon;
    };

    explicit ModalAnswerer(std::function<void(QDialog&)> dialogAction = {});

    const std::vector<Box>& boxes() const { return boxes_; }
    int boxCount() const { return static_cast<int>(boxes_.size()); }
    int dialogsSeen() const { return dialogsSeen_; }

private:
    void poll();

    std::function<void(QDialog&)> dialogAction_;
    std::vector<Box> boxes_;
    int dialogsSeen_ = 0;
    QTimer timer_;
};

} // namespace tamblure::test
