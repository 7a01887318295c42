#include "frmAbout.h"

#include "Version.h"
#include "controls/Fonts.h"
#include "controls/Placement.h"
#include "controls/WindowFrame.h"
#include "platform/ErrorReport.h"
#include "platform/Platform.h"

#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>

#include <algorithm>

namespace {

const QString Unavailable = QStringLiteral("此时系统信息不可用");

// RegQueryValueEx is given a buffer of this size; a larger value does not count as read.
constexpr qsizetype ValueBufferSize = 1024;

QWidget* solidLine(QWidget* parent, const QRect& geometry, const QColor& colour) {
    auto* line = new QWidget(parent);
    line->setGeometry(geometry);
    // A sheet of the widget's own: the main window's skin, which dialogs inherit, overrides palettes.
    line->setAttribute(Qt::WA_StyledBackground, true);
    line->setStyleSheet(QStringLiteral("background-color: %1;").arg(colour.name()));
    return line;
}

// The bytes of a string value as the registry stores them; the string ends at its first NUL.
QString stringValue(const QByteArray& data) {
    const qsizetype end = data.indexOf('\0');
    return QString::fromLocal8Bit(end < 0 ? data : data.left(end));
}

// The stored size counts the terminating NUL of a string, which the seam leaves off.
qsizetype storedSize(const RegistryValue& value) {
    const bool addsNul = value.type == RegistryValue::String && !value.data.endsWith('\0');
    return value.data.size() + (addsNul ? 1 : 0);
}

} // namespace

frmAbout::frmAbout(Platform& platform, const QString& programFolder, QWidget* parent)
    : QDialog(parent), m_platform(platform) {
    // The caption is set by the load.
    setUpFixedDialog(*this, "frmAbout", QString(), programFolder, {pixelsFromTwips(5730), pixelsFromTwips(3555)});
    setModal(true);
    // Plain platform controls in the desktop's default dialog face: 宋体 9 pt.
    setFont(songTiFont(9));
    buildControls();
    load();
}

QString frmAbout::webAddress() {
    return QStringLiteral("https://www.example.com/");
}

void frmAbout::buildControls() {
    const QPixmap icon = windowIcon().pixmap(64, 64); // no icon file: an empty picture, no error

    m_picIcon = placeControl<QLabel>(this, "picIcon", twipsRect(195, 240, 1020, 1020));
    m_picIcon->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    m_picIcon->setAlignment(Qt::AlignCenter);
    if (!icon.isNull()) {
        m_picIcon->setPixmap(
            icon.size() == QSize(64, 64) ? icon : icon.scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }

    auto label = [this](const char* name, const QRect& geometry) {
        auto* widget = placeControl<QLabel>(this, name, geometry);
        widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return widget;
    };
    m_lblTitle = label("lblTitle", twipsRect(1590, 195, 3885, 480));
    QFont titleFont = songTiFont(16);
    titleFont.setBold(true);
    m_lblTitle->setFont(titleFont);
    m_lblVersion = label("lblVersion", twipsRect(1590, 780, 3885, 225));

    m_lblDescription = label("lblDescription", twipsRect(1590, 1380, 3885, 195));
    m_lblDescription->setText(QStringLiteral("Quorvane工作室"));
    m_lblDescription->setStyleSheet(QStringLiteral("QLabel { color: #000000; }"));

    m_Label1 = label("Label1", twipsRect(1590, 1905, 1980, 210));
    m_Label1->setText(QStringLiteral("www.example.com"));
    QFont linkFont = songTiFont(9);
    linkFont.setUnderline(true);
    m_Label1->setFont(linkFont);
    m_Label1->setStyleSheet(QStringLiteral("QLabel { color: #0000ff; }"));
    m_Label1->setCursor(Qt::PointingHandCursor);
    m_Label1->installEventFilter(this);

    // The heights were made for the bitmap 宋体; the CJK fonts that stand in for it here have a taller
    // line, and a label cut to the old height would lose the bottom of its text and the link's underline.
    for (QLabel* text : {m_lblTitle, m_lblVersion, m_lblDescription, m_Label1}) {
        text->resize(text->width(), std::max(text->height(), text->fontMetrics().height()));
    }

    // The etched separator: a grey line with a white one just below it.
    auto* line1 = placeControl<QWidget>(
        this, "Line1", {pixelsFromTwips(90), pixelsFromTwips(2445), pixelsFromTwips(5654) - pixelsFromTwips(90), 3});
    solidLine(line1, QRect(0, 0, line1->width(), 1), QColor(0x80, 0x80, 0x80))->setObjectName("Line1_1");
    solidLine(line1,
              QRect(pixelsFromTwips(105) - pixelsFromTwips(90), 1,
                    line1->width() - (pixelsFromTwips(105) - pixelsFromTwips(90)), 2),
              Qt::white)
        ->setObjectName("Line1_0");

    m_cmdOK = placeControl<QPushButton>(this, "cmdOK", twipsRect(4125, 2625, 1500, 345), QStringLiteral("确定"));
    m_cmdOK->setDefault(true);
    connectFatal(m_platform, this, m_cmdOK, &QPushButton::clicked, [this] { accept(); });

    m_cmdSysInfo = placeControl<QPushButton>(this, "cmdSysInfo", twipsRect(4140, 3075, 1485, 345),
                                             QStringLiteral("系统信息(&S)..."));
    connectFatal(m_platform, this, m_cmdSysInfo, &QPushButton::clicked, [this] { StartSysInfo(); });

    // Only the buttons take the focus; the picture and the labels are not stops.
    setTabOrder(m_cmdOK, m_cmdSysInfo);
    m_cmdOK->setFocus();
}

void frmAbout::load() {
    setWindowTitle(QStringLiteral("关于 Quorvane密码箱"));
    m_lblVersion->setText(QStringLiteral("版本 %1.%2.%3")
                              .arg(VAULTRY_VERSION_MAJOR)
                              .arg(VAULTRY_VERSION_MINOR)
                              .arg(VAULTRY_VERSION_PATCH));
    m_lblTitle->setText(QStringLiteral("Quorvane密码箱"));
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_Label1 && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && m_Label1->rect().contains(mouse->position().toPoint())) {
            onLinkClicked();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmAbout::onLinkClicked() {
    // A link the desktop cannot open is no concern of the About box: the result is not looked at.
    runQuietly([this] { m_platform.shell.open(webAddress()); });
}

void frmAbout::StartSysInfo() {
    // Whatever fails on the way ends in the same message as a tool that is not there.
    bool available = false;
    const bool ranThrough = runQuietly([this, &available] {
        QString path;
        if (GetKeyValue(RegistryRoot::LocalMachine, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                        QStringLiteral("PATH"), path)) {
            available = true;
        } else if (GetKeyValue(RegistryRoot::LocalMachine, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                               QStringLiteral("MSINFO"), path)) {
            // The folder value names where the tool lies; look for it with this system's separator.
            const QString program = path + QStringLiteral("/MSINFO32.EXE");
            if (QFileInfo(program).isFile()) {
                path = program;
                available = true;
            }
        }
        if (available) {
            available = m_platform.processes.startDetached(path);
        }
    });
    if (!ranThrough || !available) {
        m_platform.boxes.show(this, Unavailable, QString(), BoxButtons::Ok, BoxIcon::None);
    }
}

bool frmAbout::GetKeyValue(RegistryRoot root, const QString& keyPath, const QString& valueName, QString& text) {
    if (!m_platform.registry.keyExists(root, keyPath)) {
        text.clear();
        return false;
    }
    const std::optional<RegistryValue> value = m_platform.registry.query(root, keyPath, valueName);
    if (!value || storedSize(*value) > ValueBufferSize) {
        text.clear();
        return false;
    }
    switch (value->type) {
    case RegistryValue::String:
        text = stringValue(value->data);
        break;
    case RegistryValue::DWord:
        // The value's bytes, least significant first, read as one unsigned number. Each byte counts
        // as two hexadecimal digits: written unpadded, 256 (00 01 00 00) would read as 16.
        if (!value->data.isEmpty() && value->data.size() <= 8) {
            quint64 number = 0;
            for (qsizetype i = value->data.size() - 1; i >= 0; --i) {
                number = (number << 8) | static_cast<quint8>(value->data.at(i));
            }
            text = QString::number(number);
        }
        break;
    default:
        break;
    }
    return true;
}
