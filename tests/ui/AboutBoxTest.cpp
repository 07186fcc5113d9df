// The about box and the help and feedback commands.
#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QUrl>

#include "main/Tabout_form.h"
#include "norvik/Version.h"
#include "support/WindowFixture.h"

using norvik::test::WindowFixture;
using norvik::ui::Tabout_form;

class AboutBoxTest : public QObject {
    Q_OBJECT

private slots:
    void contentsInOrder();
    void oneModelessBoxThatOnlyHides();
    void bannerIsDrawn();
    void helpOpensTheDocumentOnlyWhenItIsThere();
};

void AboutBoxTest::contentsInOrder() {
    Tabout_form about;
    QCOMPARE(about.windowTitle(), QStringLiteral("About Norvik"));
    const QString version = QString::fromUtf8(norvik::kVersion);
    QCOMPARE(about.versionStrip()->text(), QStringLiteral("版本:") + version);
    const QStringList lines = about.description()->toPlainText().split(QLatin1Char('\n'));
    const QStringList head{
        QStringLiteral("软件名称:Norvik(Norvik)"),
        QStringLiteral("版本: ") + version,
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
    };
    QVERIFY(lines.size() > head.size());
    QCOMPARE(lines.mid(0, head.size()), head);
    QVERIFY(!lines[head.size()].isEmpty()); // the contact lines follow
    QVERIFY(about.description()->isReadOnly());
    QCOMPARE(about.description()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QVERIFY(about.rightsLine()->isReadOnly());
    QVERIFY(!about.rightsLine()->text().isEmpty());
    QCOMPARE(about.okButton()->text(), QStringLiteral("OK"));

    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    // Banner above the strip above the text; OK at the bottom right.
    QVERIFY(about.banner()->geometry().bottom() < about.versionStrip()->geometry().top());
    QVERIFY(about.versionStrip()->geometry().bottom() < about.description()->geometry().top());
    QVERIFY(about.description()->geometry().bottom() < about.rightsLine()->geometry().top());
    const QRect ok = about.okButton()->geometry();
    QVERIFY(ok.right() > about.width() * 3 / 4 && ok.bottom() > about.height() * 7 / 8);
}

void AboutBoxTest::oneModelessBoxThatOnlyHides() {
    WindowFixture f;
    Tabout_form about;
    f.form->setAboutBox(&about);
    f.form->show();
    QCOMPARE(about.minimumSize(), about.maximumSize());
    QVERIFY(about.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    f.w().aboutItem->trigger();
    f.w().aboutButton->trigger();
    QVERIFY(about.isVisible());
    QVERIFY(!about.isModal());
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    int shown = 0;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        shown += qobject_cast<Tabout_form*>(window) != nullptr && window->isVisible() ? 1 : 0;
    }
    QCOMPARE(shown, 1);

    about.okButton()->click();
    QVERIFY(!about.isVisible());
    f.form->showAboutBox();
    QVERIFY(about.isVisible());
    QVERIFY(about.close()); // the close button hides it as well; the object lives on
    QVERIFY(!about.isVisible());
    QVERIFY(!about.testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(f.form->isVisible());
}

void AboutBoxTest::bannerIsDrawn() {
    Tabout_form about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    const QImage image = about.banner()->grab().toImage();
    QVERIFY(image.width() >= about.width() - 1);
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 4) {
        for (int x = 0; x < image.width(); x += 4) {
            colours.insert(image.pixel(x, y));
        }
    }
    QVERIFY2(colours.size() > 20, "the banner should be a drawn picture, not a flat area");
}

void AboutBoxTest::helpOpensTheDocumentOnlyWhenItIsThere() {
    WindowFixture f;
    f.form->show();
    QVERIFY(QTest::qWaitForWindowActive(f.form.get()));
    // No document beside the executable: nothing at all happens.
    QTest::keyClick(f.form.get(), Qt::Key_F1);
    f.w().helpButton->trigger();
    f.w().feedbackButton->trigger();
    QVERIFY(f.platform.calls.isEmpty());

    const QString document = f.exe.filePath(QStringLiteral("NVK.html"));
    norvik::test::WriteFileBytes(document, "<html></html>");
    QTest::keyClick(f.form.get(), Qt::Key_F1);
    f.w().feedbackButton->trigger();
    const auto urls = f.platform.callsOf(QStringLiteral("openUrl"));
    QCOMPARE(urls.size(), 2);
    const QUrl help(urls[0].text);
    QVERIFY(help.isLocalFile());
    QCOMPARE(help.toLocalFile(), document);
    QVERIFY(!help.hasFragment());
    const QUrl feedback(urls[1].text);
    QCOMPARE(feedback.toLocalFile(), document);
    QCOMPARE(feedback.fragment(), QStringLiteral("feedback"));
}

QTEST_MAIN(AboutBoxTest)
#include "AboutBoxTest.moc"
