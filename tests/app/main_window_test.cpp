#include "app/about_dlg.h"
#include "app/corvane_app.h"
#include "app/corvane_dlg.h"
#include "app/home_page.h"
#include "app/version_text.h"
#include "platform/composition.h"
#include "platform/desktop_services.h"
#include "platform/dialog_template.h"
#include "platform/message_box.h"
#include "res/resources.h"
#include "tests/support/panel_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

TEST(AboutVersionLine, DotsOfTheNumberBecomeDashes) {
    const struct {
        const char* version;
        const char* line;
    } cases[] = {
        {"Ver.:1.0.1.114", "Vistrel Ver.:1-0-1-114"},
        {"", "Vistrel "},
        {"Ver.:1..2.", "Vistrel Ver.:1--2-"},
        {"a.b.:c.d", "Vistrel a-b.:c-d"},
        {"Ver.:1.0 %1", "Vistrel Ver.:1-0 %1"},
        // A "??" of the text itself comes back as ".:", as the three replacements have it.
        {"Ver.:1??2", "Vistrel Ver.:1.:2"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MakeAboutVersionLine(QString::fromUtf8(c.version)), QString::fromUtf8(c.line))
            << c.version;
    }
}

QStringList& OpenedUrls() {
    static QStringList urls;
    return urls;
}
void RecordUrl(const QString& url) {
    OpenedUrls() << url;
}

TEST(AboutBox, ShowsTheVersionLineAndOpensTheHomePage) {
    OpenedUrls().clear();
    platform::SetUrlOpener(&RecordUrl);
    CAboutDlg about;
    ASSERT_TRUE(about.OnInitDialog());
    auto* version = platform::FindControl<QLabel>(&about, 1006);
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), QStringLiteral("Vistrel Ver.:1-0-1-114"));
    EXPECT_EQ(about.m_strVersion, version->text());
    EXPECT_EQ(version->text().count(u'.'), 1);
    auto* link = platform::FindControl<QLabel>(&about, 1005);
    ASSERT_NE(link, nullptr);
    emit link->linkActivated(QStringLiteral("link"));
    EXPECT_EQ(OpenedUrls(), QStringList{kMakerHomePage});
    platform::SetUrlOpener(nullptr);
}

TEST(FrameMargins, DistancesFromTheClientEdgesToTheChild) {
    const struct {
        QRect child;
        platform::Margins expected;
    } cases[] = {
        {QRect(5, 20, 380, 250), {5, 15, 20, 30}},
        {QRect(0, 0, 400, 300), {0, 0, 0, 0}},
        {QRect(-10, -5, 430, 320), {-10, -20, -5, -15}},
    };
    for (const auto& c : cases) {
        QWidget window;
        window.resize(400, 300);
        window.move(100, 80);
        QWidget child(&window);
        child.setGeometry(c.child);
        platform::Margins margins{99, 99, 99, 99};
        ComputeFrameMargins(&window, &child, margins);
        EXPECT_EQ(margins, c.expected) << c.child.x() << "," << c.child.y();
    }
}

TEST(Composition, CannotExistWithoutX11) {
    qint32 flag = 7;
    EXPECT_EQ(platform::IsCompositionEnabled(flag), -1);
    EXPECT_EQ(flag, 0);
    QWidget window;
    EXPECT_EQ(platform::ExtendFrameIntoClient(&window, {1, 2, 3, 4}), -1);
}

class FakeComposition final : public platform::CompositionService {
public:
    int IsCompositionEnabled(qint32& flag) override {
        flag = enabled;
        return 0;
    }
    int ExtendFrameIntoClient(QWidget* /*window*/, const platform::Margins& margins) override {
        extended << margins;
        return 0;
    }
    qint32 enabled = 0;
    QList<platform::Margins> extended;
};

class MainWindow : public testsupport::PanelFixture {
protected:
    void SetUp() override {
        PanelFixture::SetUp();
        platform::SetCompositionService(&composition);
        CCorvaneDlg::SetAboutBoxRunner([this](QWidget* parent) { aboutParents << parent; });
    }
    void TearDown() override {
        CCorvaneDlg::SetAboutBoxRunner({});
        platform::SetCompositionService(nullptr);
        PanelFixture::TearDown();
    }
    FakeComposition composition;
    QList<QWidget*> aboutParents;
};

TEST_F(MainWindow, GlassFollowsTheCompositionWithMarginsFixedAtStart) {
    CCorvaneDlg dlg;
    dlg.Create();
    EXPECT_EQ(dlg.m_bComposition, 0);
    EXPECT_TRUE(composition.extended.isEmpty());
    // The margins are measured at start whatever the state: the panel sits inside the client.
    const platform::Margins m = dlg.m_margins;
    EXPECT_GT(m.cyTopHeight, m.cxLeftWidth); // the strip with the link
    EXPECT_GT(m.cxLeftWidth, 0);
    EXPECT_GE(m.cxRightWidth, 0);
    EXPECT_GT(m.cyBottomHeight, 0);

    composition.enabled = 1;
    dlg.OnCompositionChanged();
    EXPECT_EQ(dlg.m_bComposition, 1);
    ASSERT_EQ(composition.extended.size(), 1);
    EXPECT_EQ(composition.extended.front(), m);

    composition.enabled = 0;
    dlg.OnCompositionChanged();
    EXPECT_EQ(dlg.m_bComposition, 0);
    EXPECT_EQ(composition.extended.size(), 1);
    dlg.DestroyWindow();

    composition.enabled = 1;
    CCorvaneDlg glassy;
    glassy.Create();
    ASSERT_EQ(composition.extended.size(), 2);
    EXPECT_EQ(composition.extended.back(), glassy.m_margins);
    glassy.DestroyWindow();
}

TEST_F(MainWindow, TranslucentMarginsOnlyWithGlass) {
    QWidget window;
    window.resize(100, 80);
    window.setProperty("vistrelGlassMargins", QVariantList{5, 6, 20, 7});
    const auto paint = [&window](bool glass) {
        QImage image(window.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        platform::PaintFrameBackground(&window, painter, glass);
        return image;
    };
    const QImage plain = paint(false);
    EXPECT_EQ(qAlpha(plain.pixel(1, 1)), 255);
    EXPECT_EQ(qAlpha(plain.pixel(50, 40)), 255);
    const QImage glass = paint(true);
    EXPECT_LT(qAlpha(glass.pixel(1, 1)), 255);   // the top strip
    EXPECT_LT(qAlpha(glass.pixel(97, 40)), 255); // the right border
    EXPECT_EQ(qAlpha(glass.pixel(50, 40)), 255); // under the panel
}

TEST_F(MainWindow, WindowMenuIdsSixteenToThirtyOneOpenTheAboutBox) {
    CCorvaneDlg dlg;
    dlg.Create();
    for (int id = 0; id < 48; ++id) {
        aboutParents.clear();
        dlg.OnSysCommand(id);
        EXPECT_EQ(aboutParents.size(), (id >= 16 && id <= 31) ? 1 : 0) << id;
    }
    ASSERT_NE(dlg.SystemMenu(), nullptr);
    const QList<QAction*> actions = dlg.SystemMenu()->actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    EXPECT_EQ(actions.back()->text(), QStringLiteral("バージョン情報 Vistrel(&A)..."));
    aboutParents.clear();
    actions.back()->trigger();
    EXPECT_EQ(aboutParents, QList<QWidget*>{&dlg});
    dlg.DestroyWindow();
}

TEST_F(MainWindow, FixedSizeIconAndLink) {
    OpenedUrls().clear();
    platform::SetUrlOpener(&RecordUrl);
    CCorvaneDlg dlg;
    dlg.Create();
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());
    EXPECT_FALSE(dlg.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(dlg.windowIcon().isNull());
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Vistrel"));
    auto* link = platform::FindControl<QLabel>(&dlg, 1005);
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->text().contains(QStringLiteral("Powered By Quillfen")));
    emit link->linkActivated(QStringLiteral("link"));
    EXPECT_EQ(OpenedUrls(), QStringList{kMakerHomePage});
    // The panel sits inside the client area, below the link's strip.
    EXPECT_TRUE(dlg.rect().contains(dlg.m_controlDlg.geometry()));
    EXPECT_GE(dlg.m_controlDlg.y(), link->geometry().bottom());
    platform::SetUrlOpener(nullptr);
    dlg.DestroyWindow();
}

TEST_F(MainWindow, EnterNeverClosesEscapeEndsTheRunAndBothFilesAreSaved) {
    WriteHistory(1);
    CCorvaneDlg dlg;
    int result = -1;
    bool visibleAfterEnter = false;
    QTimer::singleShot(0, &dlg, [&] {
        auto* input = platform::FindControl<QLineEdit>(&dlg.m_controlDlg, 1002);
        input->setText(QStringLiteral("abcdefg"));
        QTest::keyClick(input, Qt::Key_Return);
        QTest::keyClick(&dlg, Qt::Key_Enter);
        visibleAfterEnter = dlg.isVisible();
        QTest::keyClick(input, Qt::Key_Escape);
    });
    result = dlg.DoModal();
    EXPECT_TRUE(visibleAfterEnter);
    EXPECT_EQ(result, CCorvaneDlg::IDCANCEL);
    EXPECT_TRUE(shownStreams.isEmpty()); // Enter did not press Connect Stream
    EXPECT_TRUE(ReadFile(QStringLiteral("Vistrel.ini")).contains(QStringLiteral("[PLAYER]")));
    EXPECT_TRUE(ReadFile(QStringLiteral("History.ini")).contains(StreamId(0)));
    EXPECT_FALSE(dlg.DestroyWindow()); // the run's end destroyed it already
}

TEST_F(MainWindow, OrderlyCloseDismissesBoxesAboveTheMainWindow) {
    CCorvaneDlg::SetAboutBoxRunner({}); // the real about box, modal over the main window
    CCorvaneDlg dlg;
    bool aboutWasOpen = false;
    QTimer::singleShot(0, &dlg, [&] { dlg.OnSysCommand(IDM_ABOUTBOX); });
    QTimer::singleShot(50, &dlg, [&] {
        aboutWasOpen = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget()) != nullptr;
        CCorvaneApp::CloseMainWindow(&dlg);
    });
    EXPECT_EQ(dlg.DoModal(), CCorvaneDlg::IDCANCEL);
    EXPECT_TRUE(aboutWasOpen);
    EXPECT_TRUE(QFile::exists(PathOf(QStringLiteral("Vistrel.ini"))));
    EXPECT_TRUE(QFile::exists(PathOf(QStringLiteral("History.ini"))));
}

// A click as the window system delivers it: through the widget's window, where a modal box
// above that window holds it back.
void ClickThroughTheWindow(QWidget* widget) {
    QWidget* top = widget->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {},
                      widget->mapTo(top, widget->rect().center()));
}

TEST_F(MainWindow, TheRunAndItsBoxesHoldBackOnlyTheMainWindow) {
    CCorvaneDlg::SetAboutBoxRunner({});      // the real about box
    platform::SetMessageBoxService(nullptr); // and the real message box
    // Another window of the program's own, as the player is: no parent, no owner.
    QWidget other;
    auto* button = new QPushButton(QStringLiteral("other"), &other);
    button->resize(80, 30);
    int otherClicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++otherClicks; });
    other.show();

    CCorvaneDlg dlg;
    QCheckBox* memoEdit = nullptr;
    struct Phase {
        const char* name = "";
        int otherClicks = -1;
        bool mainTook = false;
        QString modal;
    };
    Phase phases[3];
    phases[0].name = "the run";
    phases[1].name = "about box";
    phases[2].name = "message box";
    const auto probe = [&](Phase& phase) {
        const int before = otherClicks;
        const bool checked = memoEdit->isChecked();
        ClickThroughTheWindow(button);
        ClickThroughTheWindow(memoEdit);
        phase.otherClicks = otherClicks - before;
        phase.mainTook = memoEdit->isChecked() != checked;
        QWidget* modal = QApplication::activeModalWidget();
        phase.modal =
            modal != nullptr ? QString::fromLatin1(modal->metaObject()->className()) : QString();
        if (modal != nullptr) {
            EXPECT_EQ(modal->windowModality(), Qt::WindowModal) << phase.name;
            EXPECT_EQ(modal->parentWidget()->window(), &dlg) << phase.name;
        }
    };
    QTimer::singleShot(0, &dlg, [&] {
        memoEdit = platform::FindControl<QCheckBox>(&dlg.m_controlDlg, 1008);
        probe(phases[0]);
        QTimer::singleShot(50, &dlg, [&] {
            probe(phases[1]);
            QApplication::activeModalWidget()->close();
        });
        dlg.OnSysCommand(IDM_ABOUTBOX);
        QTimer::singleShot(50, &dlg, [&] {
            probe(phases[2]);
            QApplication::activeModalWidget()->close();
        });
        platform::AfxMessageBox(&dlg.m_controlDlg,
                                QStringLiteral("接続したいSteamを選択してください."));
        dlg.reject();
    });
    EXPECT_EQ(dlg.DoModal(), CCorvaneDlg::IDCANCEL);
    EXPECT_FALSE(dlg.isModal());

    EXPECT_EQ(phases[0].otherClicks, 1);
    EXPECT_TRUE(phases[0].mainTook);
    EXPECT_EQ(phases[0].modal, QString()); // the main window's run is modal to nothing
    EXPECT_EQ(phases[1].otherClicks, 1);
    EXPECT_FALSE(phases[1].mainTook);
    EXPECT_EQ(phases[1].modal, QStringLiteral("CAboutDlg"));
    EXPECT_EQ(phases[2].otherClicks, 1);
    EXPECT_FALSE(phases[2].mainTook);
    EXPECT_EQ(phases[2].modal, QStringLiteral("QMessageBox"));
}

TEST_F(MainWindow, AnEndAskedForBeforeTheRunEndsItAtOnce) {
    CCorvaneDlg dlg;
    dlg.Create();
    CCorvaneApp::CloseMainWindow(&dlg); // an ending signal during start-up
    bool ranLoop = false;
    QTimer::singleShot(0, &dlg, [&] {
        ranLoop = true;
        dlg.reject();
    });
    EXPECT_EQ(dlg.DoModal(), CCorvaneDlg::IDCANCEL);
    EXPECT_FALSE(ranLoop);
    EXPECT_TRUE(QFile::exists(PathOf(QStringLiteral("Vistrel.ini"))));
    QCoreApplication::processEvents();
}

} // namespace
