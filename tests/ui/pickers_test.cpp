// The three pickers as the options dialog uses them: prepared, shown
// modally, answered as the operator answers, and read afterwards.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>

#include "program_fixture.h"

namespace {

using namespace qvtest;

using Pickers = ProgramTest;

// The texts of a list box's or a drop-down list's items.
template <class List>
QStringList Items(const List& list) {
  QStringList items;
  for (int i = 0; i < list.Count(); ++i)
    items << QString::fromStdString(list.Strings(i).str());
  return items;
}

// Answers the next message box with OK and keeps its text.
void AnswerMessage(QString& text) {
  AnswerNext<QMessageBox>([&text](QMessageBox* box) {
    text = box->text();
    box->button(QMessageBox::Ok)->click();
  });
}

// A click on `id`, with Ctrl added to the selection as the operator does.
void CtrlClick(TCheckListBox& list, int id) {
  list.scrollToItem(list.item(id));
  QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier,
                    list.visualItemRect(list.item(id)).center());
}

TEST_F(Pickers, ChooserOffersFreePortsByNumberAndIdsThatNoPortServes) {
  // COM1 is configured (spelt otherwise); numbers outside 1 to 255 and
  // names that are no COM number are never offered.
  for (const char* name : {"COM10", "COM2", "COM0", "COM256", "COMx", "COM02"})
    ASSERT_TRUE(ports_.Link(name, "/nonexistent"));
  StartProgram();
  TChoiceSerialPortDlg& dlg = *ChoiceSerialPortDlg;
  const int offered = dlg.FillPorts({"com1"});
  const QStringList ports = Items(*dlg.cbxSerialPorts);
  EXPECT_EQ(offered, ports.size());
  // The machine's own serial ports may join the list; ours keep their order.
  EXPECT_LT(ports.indexOf("COM2"), ports.indexOf("COM10"));
  EXPECT_NE(ports.indexOf("COM2"), -1);
  for (const char* never : {"COM1", "COM0", "COM256", "COMx", "COM02"})
    EXPECT_FALSE(ports.contains(never)) << never;

  // Ranges, leading zeros and repeats name ids as the port table reads them.
  EXPECT_EQ(dlg.MarkUsedIds({"1", "3", "5-7", "07", "junk", "300"}), 251);
  for (int id : {1, 3, 5, 6, 7}) {
    EXPECT_TRUE(dlg.clbUnitIds->Checked(id)) << id;
    EXPECT_FALSE(dlg.clbUnitIds->ItemEnabled(id)) << id;
  }
  EXPECT_TRUE(dlg.clbUnitIds->ItemEnabled(4));
  EXPECT_FALSE(dlg.clbUnitIds->Checked(4));

  QString message;
  int stayed_open = -1;
  AnswerNext<TChoiceSerialPortDlg>([&](TChoiceSerialPortDlg* shown) {
    EXPECT_EQ(shown->cbxSerialPorts->ItemIndex(), 0);
    // Locked ids checked do not count: Enter is refused.
    AnswerMessage(message);
    QTest::keyClick(shown->clbUnitIds, Qt::Key_Return);
    QCoreApplication::processEvents();
    stayed_open = shown->isVisible();
    // A click on a selected group toggles every free item in it.
    for (int id : {3, 10, 11}) shown->clbUnitIds->SetSelected(id, true);
    CtrlClick(*shown->clbUnitIds, 12);
    for (int id : {200, 2, 17}) shown->clbUnitIds->SetChecked(id, true);
    QTest::keyClick(shown->clbUnitIds, Qt::Key_Return);
  });
  EXPECT_EQ(dlg.ShowModal(), mrOk);
  EXPECT_EQ(message, "You have to select 1 Unit ID at least");
  EXPECT_EQ(stayed_open, 1);
  AnsiString ids;
  EXPECT_TRUE(dlg.CheckedIds(ids));
  EXPECT_EQ(ids.str(), "2,10,11,12,17,200");
  EXPECT_TRUE(dlg.clbUnitIds->Checked(3));
  EXPECT_EQ(dlg.SelectedPort().str(), ports.first().toStdString());
}

TEST_F(Pickers, UnitListRefusedOkStaysOpenAndCancelKeepsNothing) {
  StartProgram();
  TUnitListDlg& dlg = *UnitListDlg;
  // An id both lists name belongs to the other port.
  EXPECT_EQ(dlg.MarkIds({"1", "2", "9-10"}, {"5", "9", "040"}), 252);
  EXPECT_EQ(dlg.clbUnitIds->ItemIndex(), 40);
  EXPECT_TRUE(dlg.clbUnitIds->Checked(5) && dlg.clbUnitIds->ItemEnabled(5));
  EXPECT_FALSE(dlg.clbUnitIds->ItemEnabled(9));

  QString message;
  int stayed_open = -1;
  AnswerNext<TUnitListDlg>([&](TUnitListDlg* shown) {
    for (int id : {5, 40}) shown->clbUnitIds->SetChecked(id, false);
    AnswerMessage(message);
    shown->OkBtn->click();
    // The button's own mrOk must not close the form once taken back.
    QCoreApplication::processEvents();
    stayed_open = shown->isVisible();
    shown->clbUnitIds->SetChecked(200, true);
    shown->OkBtn->click();
  });
  EXPECT_EQ(dlg.ShowModal(), mrOk);
  EXPECT_EQ(message, "You have to select 1 Unit ID at least");
  EXPECT_EQ(stayed_open, 1);
  AnsiString ids;
  EXPECT_TRUE(dlg.CheckedIds(ids));
  EXPECT_EQ(ids.str(), "200");

  AnswerNext<TUnitListDlg>(
      [](TUnitListDlg* shown) { QTest::keyClick(shown, Qt::Key_Escape); });
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
}

// The operator may check ids with the keyboard at once, at every showing,
// even after the last one ended with a click on OK.
TEST_F(Pickers, UnitListOpensWithTheFocusOnItsList) {
  StartProgram();
  for (int showing = 1; showing <= 2; ++showing) {
    SCOPED_TRACE(showing);
    UnitListDlg->MarkIds({"1"}, {"5"});
    QWidget* focused = nullptr;
    AnswerNext<TUnitListDlg>([&](TUnitListDlg* shown) {
      LoopUntil([&] { return QApplication::focusWidget() != nullptr; });
      focused = QApplication::focusWidget();
      QTest::mouseClick(shown->OkBtn, Qt::LeftButton);
    });
    EXPECT_EQ(UnitListDlg->ShowModal(), mrOk);
    EXPECT_EQ(focused, UnitListDlg->clbUnitIds)
        << (focused ? focused->objectName().toStdString() : "nothing");
  }
}

TEST_F(Pickers, AddressListIsRebuiltAtEveryShowingWithTheFirstSelected) {
  StartProgram();
  QStringList shown_first, shown_second;
  AnswerNext<TIPListDlg>([&](TIPListDlg* shown) {
    shown_first = Items(*shown->lbxIP);
    shown->lbxIP->SetItemIndex(shown->lbxIP->Count() - 1);
    shown->BitBtn1->click();
  });
  ASSERT_EQ(IPListDlg->ShowModal(), mrOk);
  EXPECT_TRUE(shown_first.contains("127.0.0.1"));
  AnsiString address;
  ASSERT_TRUE(IPListDlg->SelectedAddress(address));
  EXPECT_EQ(address.str(), shown_first.last().toStdString());

  AnswerNext<TIPListDlg>([&](TIPListDlg* shown) {
    shown_second = Items(*shown->lbxIP);
    shown->BitBtn2->click();
  });
  EXPECT_EQ(IPListDlg->ShowModal(), mrCancel);
  EXPECT_EQ(shown_second, shown_first);
  ASSERT_TRUE(IPListDlg->SelectedAddress(address));
  EXPECT_EQ(address.str(), shown_first.first().toStdString());
}

}  // namespace
