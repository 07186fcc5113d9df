#include "main/Tabout_form.h"

#include "norvik/Version.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace norvik::ui {

namespace {

constexpr QSize kBoxSize(460, 610);
constexpr int kBannerHeight = 104;

/// The banner: a northern bay at dusk (sky, two ridges, the water line with the ridges' reflection)
/// and the program's name. Drawn here, so it scales with the box and needs no picture file.
class Banner final : public QWidget {
public:
    explicit Banner(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("Image1"));
        setFixedHeight(kBannerHeight);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        static_cast<void>(event);
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal w = width();
        const qreal h = height();
        const qreal shore = h * 0.72;

        QLinearGradient sky(0, 0, 0, shore);
        sky.setColorAt(0.0, QColor(0x0b, 0x2a, 0x4a));
        sky.setColorAt(1.0, QColor(0x2f, 0x6f, 0xa8));
        p.fillRect(QRectF(0, 0, w, shore), sky);
        QLinearGradient water(0, shore, 0, h);
        water.setColorAt(0.0, QColor(0x1d, 0x4e, 0x7c));
        water.setColorAt(1.0, QColor(0x0a, 0x24, 0x40));
        p.fillRect(QRectF(0, shore, w, h - shore), water);

        // Two ridges behind the bay, the far one lighter; each is mirrored faintly in the water.
        const auto ridge = [&](const QList<QPointF>& peaks, const QColor& colour) {
            QPainterPath path(QPointF(0, shore));
            for (const QPointF& peak : peaks) {
                path.lineTo(peak.x() * w, shore - peak.y() * shore);
            }
            path.lineTo(w, shore);
            path.closeSubpath();
            p.fillPath(path, colour);
            QTransform mirror;
            mirror.translate(0, 2 * shore);
            mirror.scale(1, -1);
            QColor reflection = colour;
            reflection.setAlpha(70);
            p.save();
            p.setClipRect(QRectF(0, shore, w, h - shore));
            p.fillPath(mirror.map(path), reflection);
            p.restore();
        };
        ridge({{0.0, 0.25}, {0.18, 0.62}, {0.30, 0.42}, {0.47, 0.78}, {0.63, 0.40}, {0.80, 0.58}, {1.0, 0.30}},
              QColor(0x5d, 0x86, 0xb0));
        ridge({{0.0, 0.10}, {0.12, 0.30}, {0.26, 0.18}, {0.56, 0.36}, {0.74, 0.14}, {0.90, 0.26}, {1.0, 0.12}},
              QColor(0x16, 0x3c, 0x60));
        // Snow on the highest peak.
        QPainterPath snow(QPointF(0.47 * w, shore - 0.78 * shore));
        snow.lineTo(0.43 * w, shore - 0.66 * shore);
        snow.lineTo(0.47 * w, shore - 0.69 * shore);
        snow.lineTo(0.51 * w, shore - 0.65 * shore);
        snow.closeSubpath();
        p.fillPath(snow, QColor(0xee, 0xf4, 0xfa));
        // Ripples on the water.
        p.setPen(QPen(QColor(255, 255, 255, 60), 1.2));
        for (int i = 0; i < 4; ++i) {
            const qreal y = shore + (h - shore) * (0.25 + 0.2 * i);
            const qreal x = w * (0.08 + 0.21 * i);
            p.drawLine(QPointF(x, y), QPointF(x + w * 0.12, y));
        }

        QFont name = font();
        name.setPointSizeF(name.pointSizeF() * 2.6);
        name.setBold(true);
        name.setLetterSpacing(QFont::PercentageSpacing, 108);
        p.setFont(name);
        const QRectF nameBox(18, 10, w - 36, shore * 0.62);
        p.setPen(QColor(0, 0, 0, 90));
        p.drawText(nameBox.translated(2, 2), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Norvik"));
        p.setPen(Qt::white);
        p.drawText(nameBox, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Norvik"));

        QFont motto = font();
        motto.setPointSizeF(motto.pointSizeF() * 1.05);
        p.setFont(motto);
        p.setPen(QColor(0xdc, 0xea, 0xf7));
        p.drawText(QRectF(20, nameBox.bottom() - 4, w - 40, shore * 0.3), Qt::AlignLeft | Qt::AlignTop,
                   QStringLiteral("批量文本查找与替换"));
    }
};

} // namespace

QStringList Tabout_form::descriptionLines() {
    return {
        QStringLiteral("软件名称:Norvik(Norvik)"),
        QStringLiteral("版本: ") + QString::fromLatin1(kVersion),
        QString(),
        QStringLiteral("功能说明:"),
        QStringLiteral("1.段落文字的批量替换(一行及整段文字的替换)"),
        QStringLiteral("2.特征字符串之间的批量替换(模糊替换)"),
        QStringLiteral("3.支持所有ANSI字符文本类型(可自定义类型)"),
        QStringLiteral("4.支持Unicode/UTF8编码的文件格式"),
        QStringLiteral("5.支持文件备份并且可以进行文件恢复操作"),
        QStringLiteral("6.多重替换无限量，可自行编辑替换规则"),
        QStringLiteral("7.支持多目录查找以及将查找到的文件作为目标替换文件"),
        QStringLiteral("8.实时进度显示,可以在替换过程中暂停和停止"),
        QStringLiteral("9.对只读文件可以实施强制替换"),
        QStringLiteral("10.支持在原文件上操作和将结果文件输出到其它文件夹"),
        QStringLiteral("11.支持区分大小写以及文件夹递归操作"),
        QStringLiteral("12.支持单个和多个文件以及文件夹操作"),
        QString(),
        QStringLiteral("联系与反馈:"),
        QStringLiteral("反馈: 工具栏 > 提意见 (使用手册的反馈一节)"),
        QStringLiteral("使用手册: 其他 > 帮助 (F1)"),
    };
}

Tabout_form::Tabout_form(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("about_form"));
    setWindowTitle(QStringLiteral("About Norvik"));
    setModal(false);
    // An open about box must not keep the program alive once the main window is closed.
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 10);
    column->setSpacing(0);
    m_banner = new Banner(this);
    column->addWidget(m_banner);

    m_version = new QLabel(QStringLiteral("版本:") + QString::fromLatin1(kVersion), this);
    m_version->setObjectName(QStringLiteral("Label1"));
    m_version->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_version->setContentsMargins(12, 3, 12, 3);
    m_version->setAutoFillBackground(true);
    QPalette strip = m_version->palette();
    strip.setColor(QPalette::Window, QColor(0xd6, 0xe4, 0xf1));
    strip.setColor(QPalette::WindowText, QColor(0x0b, 0x2a, 0x4a));
    m_version->setPalette(strip);
    column->addWidget(m_version);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(12, 10, 12, 0);
    body->setSpacing(8);
    m_description = new QPlainTextEdit(this);
    m_description->setObjectName(QStringLiteral("Memo1"));
    m_description->setReadOnly(true);
    m_description->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_description->setPlainText(descriptionLines().join(QLatin1Char('\n')));
    body->addWidget(m_description, 1);

    auto* divider = new QFrame(this);
    divider->setObjectName(QStringLiteral("Bevel1"));
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    body->addWidget(divider);

    m_rights = new QLineEdit(QStringLiteral("© 2026 Norvik 开发者"), this);
    m_rights->setObjectName(QStringLiteral("Edit1"));
    m_rights->setReadOnly(true);
    m_rights->setFrame(false);
    m_rights->setFocusPolicy(Qt::ClickFocus);
    QPalette plain = m_rights->palette();
    plain.setColor(QPalette::Base, plain.color(QPalette::Window));
    m_rights->setPalette(plain);
    body->addWidget(m_rights);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("Button1"));
    m_ok->setDefault(true);
    m_ok->setMinimumWidth(88);
    buttons->addWidget(m_ok);
    body->addLayout(buttons);
    column->addLayout(body, 1);

    // OK only hides the box; its state lives until the program ends.
    connect(m_ok, &QPushButton::clicked, this, &QWidget::hide);
    setFixedSize(kBoxSize);
    if (const QScreen* screen = QApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

} // namespace norvik::ui
