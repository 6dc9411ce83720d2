// The About box: texts, caption, title style, the picture behind everything, and the white
// background when the picture is missing.
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <QUrl>

#include "dialog_test_support.h"
#include "dialogs/about_dialog.h"
#include "platform/gui/qt/qt_peers.h"
#include "res/dialog_templates.h"
#include "settings/product_info.h"
#include "settings/scanner_settings.h"
#include "support/ui/picture.h"

// The About picture's resource; a test takes it away to see the box without it.
int qInitResources_about_picture();
int qCleanupResources_about_picture();

namespace {

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

class AboutDialogTest : public testing::Test {
protected:
    void SetUp() override {
        theConfig.setStore(std::make_shared<util::MemorySettingsStore>());
        theConfig.setProductInfo(util::VLAppInfo(kProductId, 0, kProductName, kVersionMajor,
                                                 kVersionMinor, kVersionRelease, kVersionBuild));
    }

    static QLabel* label(AboutDialog& d, int id) {
        return qobject_cast<QLabel*>(afx::qt::controlOf(d, id));
    }

    // The box as painted, after initialisation, without running it modally.
    static QImage painted(AboutDialog& dialog) {
        dialog.OnInitDialog();
        return afx::qt::widgetOf(dialog).grab().toImage();
    }
};

TEST_F(AboutDialogTest, ShowsTheVersionNoticeAndSupportLink) {
    AboutDialog dialog;
    dialog.OnInitDialog();
    EXPECT_EQ(afx::qt::widgetOf(dialog).windowTitle(), QStringLiteral("About Pelmora"));
    const QString info = label(dialog, res::kAboutInfoId)->text();
    const QString web = QString::fromLatin1(theConfig.webAddress().t_str());
    EXPECT_TRUE(info.startsWith(QStringLiteral("Pelmora v1.0.3 build 5<br>")))
        << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("Copyright"))) << info.toStdString();
    EXPECT_TRUE(
        info.endsWith(QStringLiteral("<p>For more information and support visit <a href=\"") + web +
                      QStringLiteral("\">") + web + QStringLiteral("</a>.")))
        << info.toStdString();
    EXPECT_EQ(label(dialog, res::kAboutInfoId)->textFormat(), Qt::RichText);
    EXPECT_EQ(label(dialog, res::kAboutTitleId)->text(), QStringLiteral("Pelmora"));
}

TEST_F(AboutDialogTest, TitleComesFromTheProductRecordButTheCaptionDoesNot) {
    theConfig.setProductInfo(util::VLAppInfo(kProductId, 0, "Pelmora Lite", 2, 1, 0, 9));
    AboutDialog dialog;
    dialog.OnInitDialog();
    EXPECT_EQ(label(dialog, res::kAboutTitleId)->text(), QStringLiteral("Pelmora Lite"));
    EXPECT_TRUE(label(dialog, res::kAboutInfoId)->text().startsWith("Pelmora Lite v2.1.0 build 9"));
    EXPECT_EQ(afx::qt::widgetOf(dialog).windowTitle(), QStringLiteral("About Pelmora"));
}

TEST_F(AboutDialogTest, TitleIsNavyArialOverThePicture) {
    AboutDialog dialog;
    dialog.OnInitDialog();
    QLabel* title = label(dialog, res::kAboutTitleId);
    EXPECT_EQ(title->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    EXPECT_EQ(title->font().family(), QStringLiteral("Arial"));
    EXPECT_DOUBLE_EQ(title->font().pointSizeF(), 24.0);
    EXPECT_FALSE(title->autoFillBackground());
    EXPECT_EQ(title->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
    QLabel* info = label(dialog, res::kAboutInfoId);
    EXPECT_TRUE(info->autoFillBackground());
    EXPECT_EQ(info->palette().color(QPalette::Window), QColor(255, 255, 255));
    EXPECT_EQ(info->margin(), 4);
}

TEST_F(AboutDialogTest, PictureFillsTheClientAreaAndShowsBehindTheTitle) {
    AboutDialog dialog;
    const QImage image = painted(dialog);
    ASSERT_TRUE(dialog.picture().IsLoaded());
    EXPECT_EQ(afx::qt::imageOf(dialog.picture().peer()).size(), QSize(400, 300));
    // Light blue at the bottom, white at the top: the picture, stretched over the whole box.
    const QColor bottom = image.pixelColor(2, image.height() - 3);
    EXPECT_GT(bottom.blue(), bottom.red() + 30) << bottom.name().toStdString();
    const QColor top = image.pixelColor(2, 2);
    EXPECT_GT(top.red(), 245);
    EXPECT_GT(top.blue(), 245);
    // Inside the title's rectangle but left of its letters the gradient shows, not a grey fill.
    const QRect title = afx::qt::controlOf(dialog, res::kAboutTitleId)->geometry();
    const QColor behind = image.pixelColor(title.left() + 2, title.center().y());
    EXPECT_GT(behind.blue(), behind.red() + 4) << behind.name().toStdString();
}

TEST_F(AboutDialogTest, WhiteBackgroundWithoutThePicture) {
    qCleanupResources_about_picture();
    AboutDialog dialog;
    const QImage image = painted(dialog);
    qInitResources_about_picture();
    EXPECT_FALSE(dialog.picture().IsLoaded());
    EXPECT_EQ(image.pixelColor(2, image.height() - 3), QColor(255, 255, 255));
    const QRect title = afx::qt::controlOf(dialog, res::kAboutTitleId)->geometry();
    EXPECT_EQ(image.pixelColor(title.left() + 2, title.center().y()), QColor(255, 255, 255));
    EXPECT_EQ(label(dialog, res::kAboutTitleId)->text(), QStringLiteral("Pelmora"));
    EXPECT_TRUE(label(dialog, res::kAboutInfoId)->text().startsWith("Pelmora v1.0.3 build 5"));
    // And it is back for the next box.
    AboutDialog again;
    again.OnInitDialog();
    EXPECT_TRUE(again.picture().IsLoaded());
}

TEST_F(AboutDialogTest, OkEndsTheBoxWithoutRecomposingAnything) {
    AboutDialog dialog;
    const int result = dialogs_test::runModal(dialog, [&] {
        theConfig.setProductInfo(util::VLAppInfo(kProductId, 0, "Changed", 9, 9, 9, 9));
        QTest::mouseClick(afx::qt::controlOf(dialog, IDOK), Qt::LeftButton);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(label(dialog, res::kAboutTitleId)->text(), QStringLiteral("Pelmora"));
    EXPECT_TRUE(label(dialog, res::kAboutInfoId)->text().startsWith("Pelmora v1.0.3"));

    AboutDialog escaped;
    EXPECT_EQ(dialogs_test::runModal(
                  escaped, [&] { QTest::keyClick(&afx::qt::widgetOf(escaped), Qt::Key_Escape); }),
              IDCANCEL);
}

TEST_F(AboutDialogTest, TheLinkOpensInTheBrowser) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    AboutDialog dialog;
    dialog.OnInitDialog();
    const QString web = QString::fromLatin1(theConfig.webAddress().t_str());
    emit label(dialog, res::kAboutInfoId)->linkActivated(web);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_EQ(catcher.opened.front(), QUrl(web));
}

TEST(Picture, LoadsOnlyWhatExists) {
    CPicture picture;
    EXPECT_FALSE(picture.IsLoaded());
    EXPECT_FALSE(picture.Load(20001, nullptr, nullptr));
    EXPECT_FALSE(picture.Load(20000, nullptr, "PNG"));
    EXPECT_TRUE(picture.Load(20000, nullptr, nullptr));
    EXPECT_TRUE(picture.Load(20000, nullptr, "JPG"));
    QImage target(40, 30, QImage::Format_RGB32);
    target.fill(Qt::black);
    QPainter painter(&target);
    CDC dc(&painter);
    EXPECT_TRUE(picture.Render(&dc, CRect(0, 0, 40, 30), nullptr));
    painter.end();
    EXPECT_GT(target.pixelColor(1, 1).red(), 240);  // white top-left, stretched to the target
}

TEST(Picture, TheResourceIsABaselineJfif) {
    QFile file(QStringLiteral(":/JPG/20000"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("\xFF\xD8\xFF\xE0"));
    EXPECT_EQ(bytes.mid(6, 5), QByteArray("JFIF\0", 5));
    EXPECT_TRUE(bytes.contains("\xFF\xC0"));   // baseline frame
    EXPECT_FALSE(bytes.contains("\xFF\xC2"));  // no progressive frame
}

}  // namespace

#include "about_dialog_test.moc"
