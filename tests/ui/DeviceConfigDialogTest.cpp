// The Device Configuration dialog: every button path and message, with the
// bus checked after each.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

#include "core/Devices.h"
#include "core/Ram.h"
#include "devices/Keyboard.h"
#include "devices/VideoDevice.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/DeviceConfigDialog.h"
#include "ui/DisplayWindow.h"
#include "ui/KeyboardPanelWidget.h"

struct SFields {
    QString name{}, className{}, from{}, to{}, size{};
    bool readOnly = false;
    int irq = -1, stride = 1, timeScale = 0;
};
Q_DECLARE_METATYPE(SFields)

class DeviceConfigDialogTest : public QObject {
    Q_OBJECT

    std::unique_ptr<SUiWorkspace> w;
    std::unique_ptr<CDeviceConfigDialog> dialog;

    CDevices& Bus() { return *w->computer.GetDevices(); }
    void Fill(const SFields& f) {
        dialog->NameField()->setText(f.name);
        dialog->ClassField()->setCurrentIndex(dialog->ClassField()->findText(f.className));
        dialog->FromField()->setText(f.from);
        dialog->ToField()->setText(f.to);
        dialog->SizeField()->setText(f.size);
        dialog->ReadOnlyField()->setChecked(f.readOnly);
        dialog->IrqCodeField()->setValue(f.irq);
        dialog->StrideField()->setValue(f.stride);
        dialog->TimeScaleField()->setValue(f.timeScale);
    }
    QStringList Row(int index) {
        QStringList texts;
        const QTreeWidgetItem* row = dialog->DeviceList()->topLevelItem(index);
        for (int c = 0; row && c < row->columnCount(); ++c)
            texts << row->text(c);
        return texts;
    }
    QStringList Names() {
        QStringList names;
        for (CDevice* d = Bus().GetHead(); d; d = d->GetNext())
            names << QString::fromStdString(d->GetName());
        return names;
    }
    void Add(const SFields& f) {
        Fill(f);
        QTest::mouseClick(dialog->AddButton(), Qt::LeftButton);
    }

private slots:
    void init() {
        w = std::make_unique<SUiWorkspace>();
        dialog = std::make_unique<CDeviceConfigDialog>(w->computer);
        Add({"RAM", "CRam", "0", "FFFF"});
        Add({"ROM", "CRam", "F000", "FFFF", "1000", true});
        Add({"Keyboard", "CKeyboard", "301100", "3011FF", "", false, 1, 1});
        QCOMPARE(w->TakeMessages(), QStringList());
    }
    void cleanup() {
        dialog.reset();
        w.reset();
    }

    void addShowsRowsOrSaysWhyNot_data() {
        QTest::addColumn<SFields>("fields");
        QTest::addColumn<QStringList>("row");
        QTest::addColumn<QString>("message");
        const QString both = CComputer::kNameAndClassNeededText;
        QTest::newRow("memory, window size")
            << SFields{"Video", "CRam", "10000", "17FFF"}
            << QStringList{"Video", "CRam", "010000", "017FFF", "008000", " ", "-1", "1", "0"}
            << QString();
        QTest::newRow("ROM with a size")
            << SFields{"Boot", "CRam", "0x1FF0000", "1FF00FF", "100", true, 3, 2, 7}
            << QStringList{"Boot", "CRam", "FF0000", "FF00FF", "000100", "R", "3", "2", "7"}
            << QString();
        QTest::newRow("peripheral")
            << SFields{"Tick", "CTimeSlicer", "301000", "3010ff", "55", false, 0, 3, 9}
            << QStringList{"Tick", "CTimeSlicer", "301000", "3010FF", "", "", "0", "3", "9"}
            << QString();
        QTest::newRow("no name") << SFields{"", "CRam", "0", "F"} << QStringList() << both;
        QTest::newRow("no class") << SFields{"X", "", "0", "F"} << QStringList() << both;
        QTest::newRow("backwards window")
            << SFields{"X", "CRam", "200", "100"} << QStringList()
            << "The device was not added: the window 200-100 ends before it starts.";
        QTest::newRow("malformed hex reads as 0")
            << SFields{"X", "CRam", "zz", "0", "qq"} << QStringList()
            << "The device was not added: a memory device holds at least 1 byte.";
    }
    void addShowsRowsOrSaysWhyNot() {
        QFETCH(SFields, fields);
        QFETCH(QStringList, row);
        QFETCH(QString, message);
        Add(fields);
        QCOMPARE(w->TakeMessages(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(Bus().GetCount(), row.isEmpty() ? 3 : 4);
        if (!row.isEmpty()) QCOMPARE(Row(3), row);
    }

    void addingAVideoDeviceOpensItsWindow() {
        Add({"VIC", "CVic", "300000", "300FFF", "", false, 7, 3});
        auto* vic = dynamic_cast<CVideoDevice*>(Bus().FindByName("VIC"));
        QVERIFY(vic && vic->IsDisplayRunning());
        QVERIFY(DeviceUi::FindDisplayWindow(*vic));
        // Removing it closes the window first.
        dialog->SelectRow(3);
        QTest::mouseClick(dialog->RemoveButton(), Qt::LeftButton);
        QCOMPARE(Names(), QStringList({"RAM", "ROM", "Keyboard"}));
    }

    void removeTakesEverySelectedRow() {
        dialog->DeviceList()->topLevelItem(0)->setSelected(true);
        dialog->DeviceList()->topLevelItem(2)->setSelected(true);
        QTest::mouseClick(dialog->RemoveButton(), Qt::LeftButton);
        QCOMPARE(Names(), QStringList({"ROM"}));
        QCOMPARE(dialog->DeviceList()->topLevelItemCount(), 1);
    }

    void upAndDownSwapNeighboursAndFollowTheRow() {
        const struct {
            int row;
            QPushButton* button;
            QStringList names;
            int selectedAfter;
        } moves[] = {
            {0, dialog->UpButton(), {"RAM", "ROM", "Keyboard"}, 0},
            {2, dialog->DownButton(), {"RAM", "ROM", "Keyboard"}, 2},
            {0, dialog->DownButton(), {"ROM", "RAM", "Keyboard"}, 1},
            {2, dialog->UpButton(), {"ROM", "Keyboard", "RAM"}, 1},
        };
        for (const auto& move : moves) {
            dialog->SelectRow(move.row);
            QTest::mouseClick(move.button, Qt::LeftButton);
            QCOMPARE(Names(), move.names);
            QCOMPARE(dialog->DeviceList()->indexOfTopLevelItem(dialog->DeviceList()->currentItem()),
                     move.selectedAfter);
            QCOMPARE(Row(move.selectedAfter).first(), move.names[move.selectedAfter]);
        }
        // Without a selection nothing moves.
        dialog->SelectRow(-1);
        QTest::mouseClick(dialog->UpButton(), Qt::LeftButton);
        QCOMPARE(Names(), QStringList({"ROM", "Keyboard", "RAM"}));
    }

    void editWithoutASelectionSpringsBack() {
        dialog->SelectRow(-1);
        QTest::mouseClick(dialog->EditButton(), Qt::LeftButton);
        QVERIFY(!dialog->EditButton()->isChecked());
        QCOMPARE(w->TakeMessages(), QStringList{CDeviceConfigDialog::kSelectDeviceText});
        QTest::mouseClick(dialog->MoreButton(), Qt::LeftButton);
        QCOMPARE(w->TakeMessages(), QStringList{CDeviceConfigDialog::kSelectDeviceText});
    }

    void editCopiesAppliesAndClears() {
        w->computer.Write(0x10, 0x5A, 1, false);
        QCOMPARE(w->computer.Read(0x10, 1), 0x5Au);
        dialog->SelectRow(0);
        QTest::mouseClick(dialog->EditButton(), Qt::LeftButton);
        QVERIFY(dialog->EditButton()->isChecked());
        QCOMPARE(dialog->NameField()->text(), QString("RAM"));
        QCOMPARE(dialog->ClassField()->currentText(), QString("CRam"));
        QCOMPARE(dialog->FromField()->text() + dialog->ToField()->text(), QString("00000000FFFF"));
        QCOMPARE(dialog->SizeField()->text(), QString("010000"));
        QVERIFY(!dialog->DeviceList()->isEnabled());

        // A refused change keeps the button pressed and the device as it was.
        dialog->ToField()->setText("0");
        dialog->FromField()->setText("100");
        QTest::mouseClick(dialog->EditButton(), Qt::LeftButton);
        QVERIFY(dialog->EditButton()->isChecked());
        QCOMPARE(
            w->TakeMessages(),
            QStringList{"The device was not changed: the window 100-0 ends before it starts."});
        QCOMPARE(Bus().GetAt(0)->GetTo(), 0xFFFFu);

        Fill({"Main", "CRam", "0", "7FFF", "8000", true, 5, 2, 4});
        QTest::mouseClick(dialog->EditButton(), Qt::LeftButton);
        QVERIFY(!dialog->EditButton()->isChecked());
        QCOMPARE(Row(0),
                 QStringList({"Main", "CRam", "000000", "007FFF", "008000", "R", "5", "2", "4"}));
        const auto* ram = dynamic_cast<const CRam*>(Bus().GetAt(0));
        QCOMPARE(ram->GetSize(), 0x8000u);
        QCOMPARE(w->computer.Read(0x10, 1), 0u);  // a new, empty buffer
        QCOMPARE(dialog->NameField()->text() + dialog->FromField()->text() +
                     dialog->ToField()->text() + dialog->SizeField()->text(),
                 QString());
        QCOMPARE(dialog->IrqCodeField()->value(), -1);
        QVERIFY(dialog->DeviceList()->isEnabled());

        // A peripheral: the Size field does not apply.
        dialog->SelectRow(2);
        QTest::mouseClick(dialog->EditButton(), Qt::LeftButton);
        dialog->StrideField()->setValue(4);
        dialog->IrqCodeField()->setValue(2);
        QTest::mouseClick(dialog->EditButton(), Qt::LeftButton);
        QCOMPARE(Row(2),
                 QStringList({"Keyboard", "CKeyboard", "301100", "3011FF", "", "", "2", "4", "0"}));
        QCOMPARE(w->TakeMessages(), QStringList());
    }

    void moreOpensTheDevicesOwnSettings() {
        dialog->SelectRow(2);
        QTest::mouseClick(dialog->MoreButton(), Qt::LeftButton);
        auto* keyboard = dynamic_cast<CKeyboard*>(Bus().GetAt(2));
        QVERIFY(DeviceUi::FindKeyboardPanel(*keyboard));
        QVERIFY(keyboard->GetPanel());
        // Panels and windows opened from a dialog outlive it: they belong to
        // the dialog's main window.
        QWidget main;
        auto* owned = new CDeviceConfigDialog(w->computer, &main);
        owned->SelectRow(2);
        QTest::mouseClick(owned->MoreButton(), Qt::LeftButton);
        delete owned;
        QVERIFY(DeviceUi::FindKeyboardPanel(*keyboard));
        QCOMPARE(DeviceUi::FindKeyboardPanel(*keyboard)->parentWidget(), &main);
        DeviceUi::CloseDeviceWindows(*keyboard);
        // Memory has none: nothing opens, nothing is said.
        dialog->SelectRow(0);
        QTest::mouseClick(dialog->MoreButton(), Qt::LeftButton);
        QCOMPARE(w->TakeMessages(), QStringList());
        // Removing the keyboard closes its panel first.
        dialog->SelectRow(2);
        QTest::mouseClick(dialog->RemoveButton(), Qt::LeftButton);
        QCOMPARE(Names(), QStringList({"RAM", "ROM"}));
    }
};

QTEST_MAIN(DeviceConfigDialogTest)
#include "DeviceConfigDialogTest.moc"
