#include <QSignalSpy>
#include <QTest>

#include "core/Mpus.h"
#include "core/system/StandardClasses.h"
#include "ui/MainFrm.h"

class MainFrameTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { RegisterStandardClasses(); }

    void opensWithWorkspaceAndQuitsCleanly() {
        auto* window = new CMainFrame;
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(window->windowTitle().endsWith(" - simQuorvex"));
        QVERIFY(!window->Workspace().IsEmpty());
        QVERIFY(window->Workspace().GetMpus() != nullptr);
        QVERIFY(window->close());
        delete window;
    }

    void titleMarksUnsavedChanges() {
        CMainFrame window;
        window.Workspace().SetModifiedFlag(true);
        QVERIFY(window.windowTitle().contains("*"));
        window.Workspace().SetModifiedFlag(false);
        QVERIFY(!window.windowTitle().contains("*"));
    }
};

QTEST_MAIN(MainFrameTest)
#include "MainFrameTest.moc"
