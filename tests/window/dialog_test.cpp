// The page dialog: its controls, its two outcomes, and the column count read
// from the spin box as typed.

#include "gui_test_support.h"

#include "window/tableau.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

namespace tamblure::test {

class DialogTest : public QObject {
    Q_OBJECT

private slots:
    void init() { dialog_ = std::make_unique<window::TDlgTableau>(); }
    void cleanup() { dialog_.reset(); }

    void theControlsStandWhereTheTablePutsThem_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::newRow("Bevel1") << "Bevel1" << QRect(8, 8, 297, 161) << QString();
        QTest::newRow("Label2") << "Label2" << QRect(32, 24, 21, 13) << "&Titre";
        QTest::newRow("EditTitre") << "EditTitre" << QRect(32, 48, 249, 21) << QString();
        QTest::newRow("Label1") << "Label1" << QRect(80, 88, 98, 13) << "Nombre de &colonnes";
        QTest::newRow("SpinColonne") << "SpinColonne" << QRect(80, 112, 105, 22) << "1";
        QTest::newRow("OKBtn") << "OKBtn" << QRect(79, 180, 75, 25) << "OK";
        QTest::newRow("CancelBtn") << "CancelBtn" << QRect(159, 180, 75, 25) << "Annuler";
    }

    void theControlsStandWhereTheTablePutsThem()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        auto* widget = dialog_->findChild<QWidget*>(name);
        QVERIFY2(widget != nullptr, qPrintable(name));
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            // A label grows to its text when the font needs more room.
            QCOMPARE(label->pos(), geometry.topLeft());
            QCOMPARE(label->height(), geometry.height());
            QVERIFY(label->width() >= geometry.width());
            QCOMPARE(label->text(), text);
            return;
        }
        QCOMPARE(widget->geometry(), geometry);
        if (auto* button = qobject_cast<QPushButton*>(widget))
            QCOMPARE(button->text(), text);
        else if (auto* spin = qobject_cast<QSpinBox*>(widget))
            QCOMPARE(spin->text(), text);
    }

    void theDialogIsAFixedPageHtmlBox()
    {
        QCOMPARE(dialog_->windowTitle(), QStringLiteral("Page HTML"));
        QCOMPARE(dialog_->size(), QSize(313, 214));
        QCOMPARE(dialog_->maximumSize(), QSize(313, 214));
        QCOMPARE(dialog_->Bevel1->frameShadow(), QFrame::Sunken);
        QCOMPARE(dialog_->Label2->buddy(), dialog_->EditTitre);
        QCOMPARE(dialog_->Label1->buddy(), dialog_->SpinColonne);
        QCOMPARE(dialog_->columnCount(), 1);
    }

    void tabGoesFromOkToCancelToTheTitleToTheColumns()
    {
        QStringList order;
        QWidget* widget = dialog_->OKBtn;
        do {
            // The spin box's own line edit, inside it, is not a stop of its own.
            if ((widget->focusPolicy() & Qt::TabFocus) && widget->parentWidget() == dialog_.get())
                order << widget->objectName();
            widget = widget->nextInFocusChain();
        } while (widget != dialog_->OKBtn);
        QCOMPARE(order, (QStringList{"OKBtn", "CancelBtn", "EditTitre", "SpinColonne"}));
    }

    void theOutcomesOfTheDialog_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("result");
        QTest::newRow("OK") << "OK" << int(QDialog::Accepted);
        QTest::newRow("Enter") << "Enter" << int(QDialog::Accepted);
        QTest::newRow("Annuler") << "Annuler" << int(QDialog::Rejected);
        QTest::newRow("Escape") << "Escape" << int(QDialog::Rejected);
        QTest::newRow("the close box") << "close" << int(QDialog::Rejected);
    }

    void theOutcomesOfTheDialog()
    {
        QFETCH(QString, how);
        QFETCH(int, result);
        ModalAnswerer answerer([&](QDialog& dialog) {
            if (how == u"OK")
                dialog_->OKBtn->click();
            else if (how == u"Annuler")
                dialog_->CancelBtn->click();
            else if (how == u"Enter")
                QTest::keyClick(dialog_->EditTitre, Qt::Key_Return);
            else if (how == u"Escape")
                QTest::keyClick(dialog_->EditTitre, Qt::Key_Escape);
            else
                dialog.close();
        });
        QCOMPARE(dialog_->exec(), result);
        QVERIFY(!dialog_->isVisible());
    }

    void theColumnCountIsTheNumberAsTyped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("corrected");
        QTest::newRow("within the limits") << "7" << 7 << "7";
        QTest::newRow("above them") << "25" << 25 << "10";
        QTest::newRow("zero") << "0" << 0 << "1";
        QTest::newRow("negative") << "-3" << -3 << "1";
        QTest::newRow("with a sign") << "+4" << 4 << "4";
        QTest::newRow("nothing") << "" << 1 << "1";
        QTest::newRow("a sign alone") << "-" << 1 << "1";
        QTest::newRow("beyond 32 bits") << "99999999999" << 1 << "1";
    }

    void theColumnCountIsTheNumberAsTyped()
    {
        QFETCH(QString, typed);
        QFETCH(int, count);
        QFETCH(QString, corrected);
        dialog_->show();
        dialog_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog_.get()));
        dialog_->SpinColonne->setFocus();
        dialog_->SpinColonne->clear();
        QTest::keyClicks(dialog_->SpinColonne, typed);
        QCOMPARE(dialog_->SpinColonne->text(), typed);
        QCOMPARE(dialog_->columnCount(), count);
        // Leaving the field brings the number into 1 to 10.
        dialog_->EditTitre->setFocus();
        QTest::qWait(0);
        QCOMPARE(dialog_->SpinColonne->text(), corrected);
        QCOMPARE(dialog_->columnCount(), corrected.toInt());
    }

    void lettersCannotBeTypedIntoTheColumnCount()
    {
        dialog_->SpinColonne->clear();
        QTest::keyClicks(dialog_->SpinColonne, QStringLiteral("3a"));
        QCOMPARE(dialog_->SpinColonne->text(), QStringLiteral("3"));
        QCOMPARE(dialog_->columnCount(), 3);
    }

private:
    std::unique_ptr<window::TDlgTableau> dialog_;
};

TAMBLURE_GUI_TEST(DialogTest)

} // namespace tamblure::test

#include "dialog_test.moc"
