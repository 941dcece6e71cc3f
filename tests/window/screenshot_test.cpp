// The two windows as they are drawn: pictures saved for a look by eye, and
// every caption checked to fit inside its control in the font it is drawn in.

#include "gui_test_support.h"

#include "common/translation.h"
#include "window/main.h"
#include "window/tableau.h"

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace tamblure::test {
namespace {

// Every caption of a window fits its control: a label, a check box or a
// radio button needs no more than it is given (its size hint is the text
// plus the box it draws), a push button holds its text inside its frame, a
// group box its title.
void checkCaptionsFit(const QWidget& window)
{
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        int needed = 0;
        if (widget->inherits("QLabel") || widget->inherits("QCheckBox") || widget->inherits("QRadioButton")) {
            needed = widget->sizeHint().width();
        } else if (auto* button = qobject_cast<const QPushButton*>(widget)) {
            needed = button->fontMetrics().horizontalAdvance(QString(button->text()).remove(u'&')) + 6;
        } else if (auto* group = qobject_cast<const QGroupBox*>(widget)) {
            needed = group->fontMetrics().horizontalAdvance(QString(group->title()).remove(u'&')) + 8;
        } else {
            continue;
        }
        QVERIFY2(needed <= widget->width(), qPrintable(QStringLiteral("%1 needs %2 pixels, has %3")
                                                           .arg(widget->objectName())
                                                           .arg(needed)
                                                           .arg(widget->width())));
        QVERIFY2(widget->fontMetrics().height() <= widget->height(), qPrintable(widget->objectName()));
    }
}

void savePicture(QWidget& window, const QString& name)
{
    const QString folder = QStringLiteral(TAMBLURE_SCREENSHOT_DIR);
    QVERIFY(QDir().mkpath(folder));
    const QPixmap picture = window.grab();
    QCOMPARE(picture.size(), window.size());
    QVERIFY(picture.save(folder + u'/' + name, "PNG"));
}

} // namespace

class ScreenshotTest : public QObject {
    Q_OBJECT

private slots:
    void init() { freshConfigHome(); }

    void theWindowsCaptionsFitTheirControls()
    {
        window::TDlgTableau dialog;
        window::TForm1 form(dialog);
        checkCaptionsFit(form);
        checkCaptionsFit(dialog);
    }

    void picturesOfBothWindowsAreSaved()
    {
        window::TDlgTableau dialog;
        window::TForm1 form(dialog);
        form.repertoire->setText(QStringLiteral("/home/zoé/Images/Vacances"));
        form.resultat->addItems({QStringLiteral("IMG_0041.jpg"), QStringLiteral("IMG_0042.jpg")});
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        savePicture(form, QStringLiteral("tamblure-window.png"));
        dialog.EditTitre->setText(QStringLiteral("Vacances d'été"));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        savePicture(dialog, QStringLiteral("tamblure-dialog.png"));
        dialog.hide();
    }

    // English captions are other lengths in the same fixed layout.
    void inEnglishTheCaptionsFitAndPicturesAreSaved()
    {
        useLanguage(Language::English, TAMBLURE_LOCALE_DIR);
        window::TDlgTableau dialog;
        window::TForm1 form(dialog);
        useLanguage(Language::French, TAMBLURE_LOCALE_DIR);
        checkCaptionsFit(form);
        checkCaptionsFit(dialog);
        form.repertoire->setText(QStringLiteral("/home/zoe/Pictures/Holidays"));
        form.resultat->addItems({QStringLiteral("IMG_0041.jpg"), QStringLiteral("IMG_0042.jpg")});
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        savePicture(form, QStringLiteral("tamblure-window-en.png"));
        dialog.EditTitre->setText(QStringLiteral("Summer holidays"));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        savePicture(dialog, QStringLiteral("tamblure-dialog-en.png"));
        dialog.hide();
    }
};

TAMBLURE_GUI_TEST(ScreenshotTest)

} // namespace tamblure::test

#include "screenshot_test.moc"
