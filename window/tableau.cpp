#include "window/tableau.h"

#include "common/decimal.h"
#include "common/translation.h"

#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTranslator>

#include <algorithm>
#include <optional>

// The icons are resources of this static library: the linker keeps them only
// when something calls their initializer, which cannot stand in a namespace.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace tamblure::window {

namespace {

constexpr int kMinColumns = 1;
constexpr int kMaxColumns = 10;

// The integer a number field holds: leading blanks, an optional sign, decimal
// digits and nothing after them, within 32 bits.
std::optional<int> integerIn(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    return parseDecimal(text.mid(i).toStdString());
}

// A spin box that lets any integer be typed and brings it into its limits
// only when the typing is over (the focus leaves, Enter), so that what the
// page reads in between is the number as typed.
class ColumnSpinBox : public QSpinBox {
public:
    using QSpinBox::QSpinBox;

protected:
    QValidator::State validate(QString& input, int&) const override
    {
        for (qsizetype i = 0; i < input.size(); ++i) {
            const QChar c = input[i];
            if (!c.isDigit() && !(i == 0 && (c == u'+' || c == u'-')))
                return QValidator::Invalid;
        }
        const std::optional<int> value = integerIn(input);
        return value && *value >= minimum() && *value <= maximum() ? QValidator::Acceptable : QValidator::Intermediate;
    }

    void fixup(QString& input) const override
    {
        const std::optional<int> value = integerIn(input);
        input = QString::number(value ? std::clamp(*value, minimum(), maximum()) : minimum());
    }

    int valueFromText(const QString& text) const override { return integerIn(text).value_or(minimum()); }
};

} // namespace

QFont windowFont()
{
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    // The layouts were drawn for a narrow bitmap font; at full width the
    // usual sans-serif faces cut the radio items and labels short, while
    // the semi-condensed face keeps every caption inside its control.
    font.setStretch(QFont::SemiCondensed);
    return font;
}

void fitLabelToText(QLabel& label)
{
    const int needed = label.sizeHint().width();
    if (needed > label.width())
        label.resize(needed, label.height());
}

void centreOnScreen(QWidget& window)
{
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

QString uiText(const char* french)
{
    return QString::fromUtf8(tr(french));
}

void translateToolkit(QTranslator& translator)
{
    if (currentLanguage() != Language::French)
        return;
    if (translator.load(QStringLiteral("qtbase_fr"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&translator);
}

QIcon applicationIcon()
{
    [[maybe_unused]] static const bool resourcesLoaded = (initResources(), true);
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/tamblure-%1.png").arg(size), QSize(size, size));
    return icon;
}

TDlgTableau::TDlgTableau(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("DlgTableau"));
    setWindowTitle(uiText("Page HTML"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(windowFont());
    setFixedSize(313, 214);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(8, 8, 297, 161);

    Label2 = new QLabel(uiText("&Titre"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(32, 24, 21, 13);
    fitLabelToText(*Label2);

    EditTitre = new QLineEdit(this);
    EditTitre->setObjectName(QStringLiteral("EditTitre"));
    EditTitre->setGeometry(32, 48, 249, 21);
    Label2->setBuddy(EditTitre);

    Label1 = new QLabel(uiText("Nombre de &colonnes"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(80, 88, 98, 13);
    fitLabelToText(*Label1);

    SpinColonne = new ColumnSpinBox(this);
    SpinColonne->setObjectName(QStringLiteral("SpinColonne"));
    SpinColonne->setGeometry(80, 112, 105, 22);
    SpinColonne->setRange(kMinColumns, kMaxColumns);
    SpinColonne->setValue(kMinColumns);
    SpinColonne->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    Label1->setBuddy(SpinColonne);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(79, 180, 75, 25);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);

    CancelBtn = new QPushButton(uiText("Annuler"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(159, 180, 75, 25);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(OKBtn, CancelBtn);
    setTabOrder(CancelBtn, EditTitre);
    setTabOrder(EditTitre, SpinColonne);
}

int TDlgTableau::columnCount() const
{
    return integerIn(SpinColonne->text()).value_or(kMinColumns);
}

QString TDlgTableau::title() const
{
    return EditTitre->text();
}

void TDlgTableau::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    centreOnScreen(*this);
}

} // namespace tamblure::window
