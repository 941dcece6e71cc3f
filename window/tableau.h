#pragma once

// Module tableau: the page dialog, which asks for the page's title and its
// number of columns. It is created once, hidden, and shown modally before
// every run that writes the page, so it keeps what the user typed from one
// run to the next.

#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QString>

class QFrame;
class QLabel;
class QTranslator;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tamblure::window {

// The font both windows are drawn in: an 11-pixel sans-serif, the size their
// fixed pixel layouts were made for.
QFont windowFont();

// Widens a label placed at its table position to the width its text needs,
// when that is more than the table gives: a caption is never cut.
void fitLabelToText(QLabel& label);

// Moves a top-level window so that it stands in the middle of its screen.
void centreOnScreen(QWidget& window);

// A text of the window in the current language (tamblure::tr), as Qt holds
// it. Every caption, tooltip and message of the windows goes through it;
// QObject::tr, which the widgets' own members would find first, is not used.
QString uiText(const char* french);

// Loads Qt's translation of its own texts (the folder browser, the standard
// buttons) for the current language into `translator` and installs it: in
// French, Qt's French file (when the package of Qt's translations is
// installed); in English, none, Qt's own texts being English.
void translateToolkit(QTranslator& translator);

// The program's icon in every size it ships (16 to 256 pixels), from PNGs in
// the program's resources: it shows without Qt's SVG plugin or an installed
// icon theme.
QIcon applicationIcon();

class TDlgTableau : public QDialog {
    Q_OBJECT

public:
    explicit TDlgTableau(QWidget* parent = nullptr);

    // The integer that SpinColonne's text holds as typed, not brought into
    // 1 to 10 (0 or 25 typed and not yet corrected count as they are); 1
    // when the text holds no integer.
    int columnCount() const;

    // EditTitre's text.
    QString title() const;

    QFrame* Bevel1;
    QLabel* Label2;
    QLineEdit* EditTitre;
    QLabel* Label1;
    QSpinBox* SpinColonne;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace tamblure::window
