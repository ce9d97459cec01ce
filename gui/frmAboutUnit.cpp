#include "gui/frmAboutUnit.h"

#include "gui/Dialogs.h"
#include "gui/PictureLoader.h"
#include "platform/System.h"

#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <stdexcept>

// Resources of a static library are registered by name, outside any namespace.
static void initAboutResources()
{
    Q_INIT_RESOURCE(about);
}

namespace tarvik::gui {
namespace {

// The dialog's layout names the logo's picture class; the loader supplies it.
constexpr const char* kLogoClass = "TJPEGImage";
const QString kLogoResource = QStringLiteral(":/about/logo.jpg");
const QString kClosePicture = QStringLiteral(":/about/close.xpm");

QImage loadLogo()
{
    initAboutResources();
    auto picture = createGraphicByClassName(QString::fromLatin1(kLogoClass));
    if (!picture)
        throw std::runtime_error(std::string("Class ") + kLogoClass + " not found");
    QFile file(kLogoResource);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("Cannot open resource " + kLogoResource.toStdString());
    picture->loadFromBytes(file.readAll());
    return picture->image();
}

QLabel* makeTextLabel(QWidget* parent, const char* name, const QString& text, QPoint topLeft)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFocusPolicy(Qt::NoFocus);
    // Sized to its text, as tall as one line of the dialog's font.
    label->setGeometry(QRect(topLeft, QSize(label->fontMetrics().horizontalAdvance(text), 13)));
    return label;
}

} // namespace

TfrmAbout::TfrmAbout(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setModal(true);
    setFixedSize(233, 270);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::Button));
    setPalette(colours);
    setAutoFillBackground(true);

    // Underlining leaves the text's width as it is.
    Label1 = makeTextLabel(this, "Label1", QString::fromLatin1(kMakerAddress), {19, 118});
    QFont link = font;
    link.setUnderline(true);
    Label1->setFont(link);
    QPalette blue = Label1->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label1->setPalette(blue);
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->installEventFilter(this);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(19, 16, 190, 49);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(QPixmap::fromImage(loadLogo()));

    BitBtn1 = new QPushButton(QStringLiteral("Close"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(64, 224, 97, 29);
    BitBtn1->setIcon(QIcon(QPixmap(kClosePicture)));
    BitBtn1->setIconSize(QSize(20, 16));
    BitBtn1->setFocusPolicy(Qt::StrongFocus);
    BitBtn1->setFocus();
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmAbout::BitBtn1Click);

    ProgramLabel = makeTextLabel(this, "ProgramLabel", QStringLiteral("Program"), {19, 80});
    VersionLabel = makeTextLabel(this, "VersionLabel", QStringLiteral("VersionLabel"), {19, 99});

    centreWhenShown(this, screenAreaOf(owner));
}

void TfrmAbout::BitBtn1Click()
{
    reject();
}

void TfrmAbout::reject()
{
    done(ModalResultCancel);
}

void TfrmAbout::Label1Click()
{
    const auto owner = reinterpret_cast<platform::WindowHandle>(winId());
    platform::current().shellExecute(owner, "Open", kMakerUrl, nullptr, nullptr,
                                     platform::ShowNormal);
}

// The link acts like a button: pressed and released over it with the left
// mouse button.
bool TfrmAbout::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != Label1)
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonPress) {
        m_linkPressed = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    } else if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const bool click = m_linkPressed && mouse->button() == Qt::LeftButton &&
                           Label1->rect().contains(mouse->position().toPoint());
        m_linkPressed = false;
        if (click)
            Label1Click();
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace tarvik::gui
