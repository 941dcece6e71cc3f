#pragma once

// Module main: the program's window. It holds the folder to work on, the JPEG
// quality, the size criterion with its number, the page check box, the start
// button and the list of pictures done; the start button runs the whole batch
// inside its handler, on the user-interface thread.

#include <QWidget>

#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSlider;

namespace tamblure::window {

class TDlgTableau;

// The application's error handler: runs an event handler's work and shows
// any error it raises in an error box titled "Tamblure", the message ended by
// withFinalPeriod(); the program goes on. Every handler of the windows runs
// its work through it, so that no exception reaches the toolkit's frames.
void runHandler(QWidget* owner, const std::function<void()>& work) noexcept;

class TForm1 : public QWidget {
    Q_OBJECT

public:
    // The page dialog is shown before every run that writes the page; it
    // must outlive the window.
    explicit TForm1(TDlgTableau& pageDialog, QWidget* parent = nullptr);
    ~TForm1() override;

    // True from a press of Button1 until its run has returned.
    bool running() const { return running_; }

    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* repertoire;
    QSlider* Qualite;
    QLineEdit* Largeur;
    QListWidget* resultat;
    QPushButton* Button1;
    QPushButton* ChoixRep;
    QCheckBox* CheckHTML;
    QGroupBox* RadioCritere;
    QRadioButton* RadioDimension; // RadioCritere's first item, "Dimension maximale"
    QRadioButton* RadioFacteur;   // its second item, "Facteur de réduction"

public slots:
    void Button1Click();
    void ChoixRepClick();
    void QualiteChange(int position);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class Host;

    void FormCreate();
    void FormClose();
    void runBatch();

    TDlgTableau& DlgTableau_;
    bool running_ = false;
    bool closing_ = false; // the window was asked to close during a run
    bool placed_ = false;
};

} // namespace tamblure::window
