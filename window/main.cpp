#include "window/main.h"

#include "batch/batch_run.h"
#include "batch/run_host.h"
#include "common/errors.h"
#include "window/settings.h"
#include "window/tableau.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>
#include <optional>
#include <string>
#include <thread>

namespace tamblure::window {

namespace {

const QString kCaption = QStringLiteral("Tamblure");

// The list's lines are 13 pixels high, as many names as possible in view.
class LineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(13);
        return size;
    }
};

} // namespace

void runHandler(QWidget* owner, const std::function<void()>& work) noexcept
{
    try {
        work();
    } catch (...) {
        QMessageBox::critical(owner, kCaption, QString::fromStdString(userMessage(std::current_exception())));
    }
}

// What the run reads from the window and does to it. The criterion and the
// quality are read anew for every picture, so a change made between two
// pictures applies from the next one on; the page choice and the dialog's
// values are read once, when the run starts.
class TForm1::Host final : public batch::RunHost {
public:
    explicit Host(TForm1& form) : form_(form) {}

    batch::Criterion criterion() const override
    {
        return form_.RadioFacteur->isChecked() ? batch::Criterion::ReductionFactor : batch::Criterion::LargestDimension;
    }
    int quality() const override { return form_.Qualite->value(); }
    bool pageWanted() const override { return form_.CheckHTML->isChecked(); }
    int columnCount() const override { return form_.DlgTableau_.columnCount(); }
    std::string title() const override { return form_.DlgTableau_.title().toStdString(); }

    void clearList() override { form_.resultat->clear(); }

    void addToList(const std::string& fileName) override
    {
        form_.resultat->addItem(QString::fromStdString(fileName));
        form_.resultat->scrollToBottom();
    }

    void showProgress(std::size_t done, std::size_t total) override
    {
        form_.setWindowTitle(kCaption + QStringLiteral(" – %1 / %2").arg(done).arg(total));
    }

    void processEvents() override { QCoreApplication::processEvents(); }
    bool stopRequested() const override { return form_.closing_; }

private:
    TForm1& form_;
};

TForm1::TForm1(TDlgTableau& pageDialog, QWidget* parent) : QWidget(parent), DlgTableau_(pageDialog)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kCaption);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(windowFont());
    setFixedSize(296, 387);

    Label1 = new QLabel(uiText("&Répertoire"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(24, 8, 49, 13);
    fitLabelToText(*Label1);

    Label2 = new QLabel(uiText("Compression <-> &Qualité"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(16, 64, 153, 13);
    Label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    repertoire = new QLineEdit(QStringLiteral("/"), this);
    repertoire->setObjectName(QStringLiteral("repertoire"));
    repertoire->setGeometry(24, 32, 233, 21);
    Label1->setBuddy(repertoire);

    Qualite = new QSlider(Qt::Horizontal, this);
    Qualite->setObjectName(QStringLiteral("Qualite"));
    Qualite->setGeometry(16, 80, 150, 45);
    Qualite->setRange(1, 100);
    Qualite->setValue(75);
    Qualite->setTickPosition(QSlider::TicksBelow);
    Qualite->setTickInterval(10);
    Qualite->setToolTip(QStringLiteral("75"));
    Label2->setBuddy(Qualite);
    connect(Qualite, &QSlider::valueChanged, this, &TForm1::QualiteChange);

    Largeur = new QLineEdit(QStringLiteral("200"), this);
    Largeur->setObjectName(QStringLiteral("Largeur"));
    Largeur->setGeometry(176, 136, 97, 21);

    resultat = new QListWidget(this);
    resultat->setObjectName(QStringLiteral("resultat"));
    resultat->setGeometry(24, 232, 257, 145);
    resultat->setUniformItemSizes(true);
    resultat->setItemDelegate(new LineDelegate(resultat));

    Button1 = new QPushButton(uiText("&Démarrer"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(176, 200, 75, 25);
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);

    ChoixRep = new QPushButton(QStringLiteral("..."), this);
    ChoixRep->setObjectName(QStringLiteral("ChoixRep"));
    ChoixRep->setGeometry(264, 32, 25, 25);
    connect(ChoixRep, &QPushButton::clicked, this, &TForm1::ChoixRepClick);

    CheckHTML = new QCheckBox(uiText("Page HTML"), this);
    CheckHTML->setObjectName(QStringLiteral("CheckHTML"));
    CheckHTML->setGeometry(40, 200, 97, 17);
    CheckHTML->setToolTip(uiText("Générer une page HTML"));

    RadioCritere = new QGroupBox(uiText("&Critère"), this);
    RadioCritere->setObjectName(QStringLiteral("RadioCritere"));
    RadioCritere->setGeometry(24, 120, 137, 73);
    RadioDimension = new QRadioButton(uiText("Dimension maximale"), RadioCritere);
    RadioDimension->setObjectName(QStringLiteral("RadioDimension"));
    // The items share the frame's height below its caption evenly, one
    // under the other, and take its whole width: their captions are long.
    RadioDimension->setGeometry(5, 14, 131, 27);
    RadioDimension->setChecked(true);
    RadioFacteur = new QRadioButton(uiText("Facteur de réduction"), RadioCritere);
    RadioFacteur->setObjectName(QStringLiteral("RadioFacteur"));
    RadioFacteur->setGeometry(5, 41, 131, 27);

    setTabOrder(repertoire, Qualite);
    setTabOrder(Qualite, Largeur);
    setTabOrder(Largeur, resultat);
    setTabOrder(resultat, Button1);
    setTabOrder(Button1, ChoixRep);
    setTabOrder(ChoixRep, CheckHTML);
    setTabOrder(CheckHTML, RadioDimension);
    setTabOrder(RadioDimension, RadioFacteur);

    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::FormCreate()
{
    runHandler(this, [this] {
        if (std::optional<QString> folder = loadFolderSetting())
            repertoire->setText(*folder);
    });
}

void TForm1::FormClose()
{
    // Saving fails silently: the window closes all the same.
    try {
        saveFolderSetting(repertoire->text());
    } catch (...) {
    }
}

void TForm1::QualiteChange(int position)
{
    runHandler(this, [this, position] {
        const QString hint = QString::number(position);
        Qualite->setToolTip(hint);
        // While the bar is dragged the tooltip follows it, so the quality can
        // be read as it changes.
        if (Qualite->isSliderDown())
            QToolTip::showText(QCursor::pos(), hint, Qualite);
    });
}

void TForm1::ChoixRepClick()
{
    runHandler(this, [this] {
        const QString current = repertoire->text();
        const QString start = !current.isEmpty() && QFileInfo(current).isDir() ? current : QString();
        QString chosen =
            QFileDialog::getExistingDirectory(this, uiText("Dossier des images"), start, QFileDialog::ShowDirsOnly);
        if (chosen.isEmpty())
            return;
        while (chosen.size() > 1 && chosen.endsWith(u'/'))
            chosen.chop(1);
        repertoire->setText(chosen);
    });
}

void TForm1::Button1Click()
{
    // Between two pictures a run lets the window handle its input, so a
    // press can arrive while the run is in progress; a second run inside the
    // first would share its list and its folders, and is not started.
    if (running_ || closing_)
        return;
    running_ = true;
    runHandler(this, [this] { runBatch(); });
    running_ = false;
    if (closing_)
        close();
}

void TForm1::runBatch()
{
    if (CheckHTML->isChecked() && DlgTableau_.exec() != QDialog::Accepted)
        return;
    if (closing_)
        return;
    Host host(*this);
    batch::RunEnd end = batch::RunEnd::Stopped;
    {
        // While the run lasts, the title counts the pictures and the busy
        // cursor shows over the window; both come back however the run ends,
        // before any message box.
        struct Busy {
            TForm1& form;
            explicit Busy(TForm1& f) : form(f) { form.setCursor(Qt::BusyCursor); }
            ~Busy()
            {
                form.unsetCursor();
                form.setWindowTitle(kCaption);
            }
        } busy(*this);
        // The pictures are made on as many threads as the machine has cores;
        // this thread hands them out, fills the list and the page in search
        // order, and keeps the window alive meanwhile.
        batch::RunOptions options;
        options.workers = std::max(1u, std::thread::hardware_concurrency());
        end = batch::runBatch(host, repertoire->text().toStdString(), Largeur->text().toStdString(), options);
    }
    if (end == batch::RunEnd::Finished && !closing_) {
        QMessageBox box(QMessageBox::NoIcon, kCaption, uiText("Terminé"), QMessageBox::Ok, this);
        box.exec();
    }
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!placed_) {
        placed_ = true;
        centreOnScreen(*this);
    }
}

void TForm1::closeEvent(QCloseEvent* event)
{
    FormClose();
    if (running_) {
        // The run is still working inside Button1's handler, on this
        // window's controls: it is asked to stop after the picture in hand,
        // and the window closes once the handler has returned.
        closing_ = true;
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace tamblure::window
