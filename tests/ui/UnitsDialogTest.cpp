// The processing-units dialog: add, remove, the Edit press and release, the
// IRQ list, every message, with the unit set checked after each.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "tests/ui/UiTestSupport.h"
#include "ui/UnitsDialog.h"

class UnitsDialogTest : public QObject {
    Q_OBJECT

    std::unique_ptr<SUiWorkspace> w;
    std::unique_ptr<CUnitsDialog> dialog;

    CMpus& Units() { return *w->computer.GetMpus(); }
    void Check(std::initializer_list<int> irqs) {
        for (int n = 0; n < CUnitsDialog::kIrqItems; ++n)
            dialog->IrqList()->item(n)->setCheckState(Qt::Unchecked);
        for (int n : irqs)
            dialog->IrqList()->item(n)->setCheckState(Qt::Checked);
    }
    void Add(const QString& name, const QString& className, std::initializer_list<int> irqs) {
        dialog->NameField()->setText(name);
        dialog->ClassField()->setCurrentIndex(dialog->ClassField()->findText(className));
        Check(irqs);
        QTest::mouseClick(dialog->AddButton(), Qt::LeftButton);
    }
    QStringList Rows() {
        QStringList rows;
        for (int i = 0; i < dialog->UnitList()->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = dialog->UnitList()->topLevelItem(i);
            rows << row->text(0) + " " + row->text(1) + " " + row->text(2);
        }
        return rows;
    }
    void Select(int row) {
        dialog->UnitList()->clearSelection();
        dialog->UnitList()->setCurrentItem(dialog->UnitList()->topLevelItem(row));
    }

private slots:
    void init() {
        w = std::make_unique<SUiWorkspace>();
        w->computer.RemoveUnit(0);  // units of registered classes only
        w->computer.AddDevice({.className = "CRam", .name = "RAM", .from = 0, .to = 0xFFFF});
        // The 6502 starts at the address in its reset vector.
        w->computer.Write(0xFFFC, 0x1234, 2, true);
        dialog = std::make_unique<CUnitsDialog>(w->computer);
    }
    void cleanup() {
        dialog.reset();
        w.reset();
    }

    void opensWithNothingChecked() {
        QCOMPARE(dialog->IrqList()->count(), 15);
        QCOMPARE(dialog->IrqList()->item(14)->text(), QString("IRQ 14"));
        QCOMPARE(dialog->CheckedMask(), 0u);
        // A double click toggles a check mark.
        QListWidgetItem* item = dialog->IrqList()->item(3);
        emit dialog->IrqList()->itemDoubleClicked(item);
        QCOMPARE(dialog->CheckedMask(), 0x8u);
        emit dialog->IrqList()->itemDoubleClicked(item);
        QCOMPARE(dialog->CheckedMask(), 0u);
    }

    void addListsTheUnitOrSaysWhyNot() {
        const QString both = CComputer::kNameAndClassNeededText;
        const struct {
            QString name, className;
            std::initializer_list<int> irqs;
            QStringList rows, messages;
        } cases[] = {
            {"cpu", "C6502", {0, 3, 14}, {"cpu C6502 00004009"}, {}},
            {"", "CVo16", {}, {"cpu C6502 00004009"}, {both}},
            {"vo", "", {}, {"cpu C6502 00004009"}, {both}},
            {"vo", "CVo16", {1}, {"cpu C6502 00004009", "vo CVo16 00000002"}, {}},
        };
        for (const auto& c : cases) {
            Add(c.name, c.className, c.irqs);
            QCOMPARE(Rows(), c.rows);
            QCOMPARE(w->TakeMessages(), c.messages);
        }
        QCOMPARE(Units().GetAt(0)->GetPC(), 0x1234u);  // added units are reset
        QCOMPARE(Units().GetAt(1)->GetIrqMask(), 2u);
        // Eight at most: the ninth is refused with the reason.
        for (int i = 2; i < 8; ++i)
            Add(QString("u%1").arg(i), "C6502", {});
        Add("ninth", "C6502", {});
        QCOMPARE(Units().GetCount(), 8);
        QCOMPARE(w->TakeMessages(),
                 QStringList{"The unit was not added: the workspace has eight units already."});
    }

    void editRenamesResetsAndSetsTheMask() {
        Add("cpu", "C6502", {});
        Add("second", "C6502", {});
        Select(-1);
        QTest::mouseClick(dialog->EditButton(), Qt::LeftButton);
        QVERIFY(!dialog->EditButton()->isChecked());
        QCOMPARE(w->TakeMessages(), QStringList{CUnitsDialog::kSelectProcessorText});

        CMpu& second = *Units().GetAt(1);
        QVERIFY(second.SetRegisterValue(second.FindRegister("PC"), 0x4000));
        QCOMPARE(second.GetPC(), 0x4000u);
        Select(1);
        QTest::mouseClick(dialog->EditButton(), Qt::LeftButton);
        QVERIFY(dialog->EditButton()->isChecked());
        QCOMPARE(dialog->NameField()->text() + " " + dialog->ClassField()->currentText(),
                 QString("second C6502"));
        // An empty name is refused and the edit goes on.
        dialog->NameField()->clear();
        QTest::mouseClick(dialog->EditButton(), Qt::LeftButton);
        QVERIFY(dialog->EditButton()->isChecked());
        QCOMPARE(w->TakeMessages(), QStringList{CComputer::kNameAndClassNeededText});

        dialog->NameField()->setText("renamed");
        Check({2, 7});
        QTest::mouseClick(dialog->EditButton(), Qt::LeftButton);
        QVERIFY(!dialog->EditButton()->isChecked());
        QCOMPARE(Rows(), QStringList({"cpu C6502 00000000", "renamed C6502 00000084"}));
        QCOMPARE(Units().GetAt(1)->GetPC(), 0x1234u);
        QCOMPARE(dialog->NameField()->text(), QString());
    }

    void removeClosesTheSlotsUp() {
        for (const char* name : {"a", "b", "c"})
            Add(name, "C6502", {});
        dialog->UnitList()->topLevelItem(0)->setSelected(true);
        dialog->UnitList()->topLevelItem(1)->setSelected(true);
        QTest::mouseClick(dialog->RemoveButton(), Qt::LeftButton);
        QCOMPARE(Rows(), QStringList({"c C6502 00000000"}));
        QCOMPARE(Units().GetCount(), 1);
        QCOMPARE(QString::fromStdString(Units().GetAt(0)->GetName()), QString("c"));
    }
};

QTEST_MAIN(UnitsDialogTest)
#include "UnitsDialogTest.moc"
