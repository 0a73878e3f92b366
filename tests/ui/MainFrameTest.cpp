#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "core/Devices.h"
#include "core/Mpus.h"
#include "system/StandardClasses.h"
#include "system/StandardSystems.h"
#include "ui/MainFrm.h"

class MainFrameTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { RegisterStandardClasses(); }
    // Every window here is the first of its program: no system-type question.
    void init() { ResetFirstWorkspaceRule(); }

    void opensWithTheVo16SystemAndQuitsCleanly() {
        auto* window = new CMainFrame;
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->windowTitle(), QString("Untitled - simQuorvex"));
        QCOMPARE(window->Workspace().GetMpus()->GetCount(), 1);
        QCOMPARE(QString(window->Workspace().GetMpus()->GetAt(0)->GetClassName()),
                 QString("CVo16"));
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

    void savesAndOpensTheWorkspace() {
        QTemporaryDir folder;
        const QString path = folder.filePath("machine.sqw");
        CMainFrame window;
        window.Workspace().Write(0x100, 0x42, 1, false);
        QVERIFY(window.SaveDocument(path));
        QCOMPARE(window.windowTitle(), QString("machine.sqw - simQuorvex"));
        window.Workspace().Write(0x100, 0x00, 1, false);
        QVERIFY(window.OpenDocument(path));
        QCOMPARE(window.Workspace().Read(0x100, 1), 0x42u);
    }
};

QTEST_MAIN(MainFrameTest)
#include "MainFrameTest.moc"
