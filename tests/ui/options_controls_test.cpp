// Every control of the options dialog, worked as an operator works it
// (mouse and keys, the pickers included), lands in its own key of its own
// section of the file that OK writes, and in nothing else; the unit-id
// list locks the ids that the other ports serve; and the selected node's
// picture stands out on the selection colour.
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <map>

#include "common/setting.h"
#include "program_fixture.h"

namespace {

using namespace qvtest;

// Two ports, every key present, every value one the port page can show.
const char kTwoPorts[] =
    "[ServerInfo]\nErrorMsgDB=EN\nIP=10.1.2.3\nTCPPort=1502\nTxTimeout=1000\n"
    "RxTimeout=60000\nMaxConnections=8\nSerialPorts=COM1,COM2\n\n"
    "[SystemStart]\nRunServer=false\nTrayIcon=false\n\n"
    "[ErrorMsgDB]\nEN=ErrorMsg_EN.ini\n\n"
    "[COM1]\nProtocol=RTU\nBaudrate=9600\nParity=odd\nByteSize=8\nStopBits=1\n"
    "SlaveAddrList=1-10\nRtsDelay=10\nTxTimeout=1000\nRxTimeout=1000\n\n"
    "[COM2]\nProtocol=RTU\nBaudrate=19200\nParity=none\nByteSize=7\nStopBits=2\n"
    "SlaveAddrList=20,30-32\nRtsDelay=0\nTxTimeout=500\nRxTimeout=500\n";

// The operator's hand on the dialog's controls.

// Selects what the field holds and types over it.
void TypeInto(TCSpinEdit* field, const char* text) {
  field->setFocus();
  field->selectAll();
  QTest::keyClicks(field, text);
}

// The item's own click, then Space on it, as the operator checks an id.
void ToggleWithSpace(TCheckListBox* list, int id) {
  list->scrollToItem(list->item(id));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(id)).center());
  QTest::keyClick(list, Qt::Key_Space);
}

// One thing the operator does in the dialog.
using Operation = std::function<void(TOptionsDlg*)>;

Operation Radio(TRadioGroup* TOptionsDlg::*group, const char* text) {
  return [=](TOptionsDlg* dialog) { ClickRadio(dialog->*group, text); };
}

Operation Type(TCSpinEdit* TOptionsDlg::*field, const char* text) {
  return [=](TOptionsDlg* dialog) { TypeInto(dialog->*field, text); };
}

Operation Tick(TCheckBox* TOptionsDlg::*box) {
  return [=](TOptionsDlg* dialog) { ClickMark(dialog->*box); };
}

void PickLastBaudrate(TOptionsDlg* dialog) {
  dialog->cbxBaudrate->setFocus();
  QTest::keyClick(dialog->cbxBaudrate, Qt::Key_End);
}

void PickIds11Not31(TOptionsDlg* dialog) {
  AnswerNext<TUnitListDlg>([](TUnitListDlg* units) {
    ToggleWithSpace(units->clbUnitIds, 11);
    ToggleWithSpace(units->clbUnitIds, 31);
    QTest::mouseClick(units->OkBtn, Qt::LeftButton);
  });
  QTest::mouseClick(dialog->ChoiceUnitIdsBtn, Qt::LeftButton);
}

void PickLoopbackAddress(TOptionsDlg* dialog) {
  AnswerNext<TIPListDlg>([](TIPListDlg* addresses) {
    TListBox* list = addresses->lbxIP;
    const auto found = list->findItems("127.0.0.1", Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(found[0]).center());
    QTest::mouseClick(addresses->BitBtn1, Qt::LeftButton);
  });
  QTest::mouseClick(dialog->Button1, Qt::LeftButton);
}

struct ItemState {
  bool checked;
  bool enabled;
  bool operator==(const ItemState&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ItemState& state) {
  return out << (state.checked ? "checked" : "unchecked") << ", "
             << (state.enabled ? "free" : "locked");
}

class OptionsControls : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    StartProgram();
    MainForm->show();
  }

  // Opens the dialog from the main window on a fresh `file`, runs `edit`
  // in it and presses OK. A message box instead of the close is answered,
  // so that a refused OK fails the test rather than hanging it.
  void EditAndPressOk(const Operation& edit, const std::string& file = kTwoPorts) {
    folder_.Write("Quorvelin.ini", file);
    AnswerNext<TOptionsDlg>([&](TOptionsDlg* dialog) {
      LoopUntil([&] { return QApplication::activeWindow() == dialog; });
      edit(dialog);
      QString message;
      QTimer answer_messages;
      answer_messages.callOnTimeout([&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        message = box->text();
        box->done(QMessageBox::Ok);
      });
      answer_messages.start(10);
      QTest::mouseClick(dialog->OkBtn, Qt::LeftButton);
      // The close is queued behind the click.
      if (!QTest::qWaitFor([&] { return !dialog->isVisible(); }, 30000)) {
        ADD_FAILURE() << "OK did not close the dialog: " << message.toStdString();
        dialog->CancelBtn->click();
      }
    });
    MainForm->imOptions->trigger();
  }

  EditableIni::SectionMap WrittenFile() {
    EditableIni written;
    EXPECT_EQ(written.Load(folder_.File("Quorvelin.ini").c_str()), kIniOk);
    return written.Sections;
  }
};

// One "section/key=value" line per key, for a readable difference.
std::string Listing(const EditableIni::SectionMap& sections) {
  std::string lines;
  for (const auto& [section, keys] : sections)
    for (const auto& [key, value] : keys)
      lines += section.str() + "/" + key.str() + "=" + value.str() + "\n";
  return lines;
}

TEST_F(OptionsControls, EveryEditLandsInItsOwnKeyAndNowhereElse) {
  struct Edit {
    const char* port;  // the node clicked first, "" for the server page
    Operation operate;
    const char* section;
    const char* key;
    const char* value;
  };
  const Edit edits[] = {
      {"COM2", PickLastBaudrate, "COM2", "Baudrate", "115200"},
      {"COM2", Radio(&TOptionsDlg::rgByteSize, "8 bit"), "COM2", "ByteSize", "8"},
      {"COM1", Radio(&TOptionsDlg::rgByteSize, "7 bit"), "COM1", "ByteSize", "7"},
      {"COM1", Radio(&TOptionsDlg::rgParity, "even"), "COM1", "Parity", "even"},
      {"COM1", Radio(&TOptionsDlg::rgParity, "none"), "COM1", "Parity", "none"},
      {"COM2", Radio(&TOptionsDlg::rgParity, "odd"), "COM2", "Parity", "odd"},
      {"COM1", Radio(&TOptionsDlg::rgStopBits, "1.5 bit"), "COM1", "StopBits", "1.5"},
      {"COM1", Radio(&TOptionsDlg::rgStopBits, "2 bit"), "COM1", "StopBits", "2"},
      {"COM2", Radio(&TOptionsDlg::rgStopBits, "1 bit"), "COM2", "StopBits", "1"},
      {"COM2", Type(&TOptionsDlg::cseWriteTimeout, "750"), "COM2", "TxTimeout", "750"},
      {"COM2", Type(&TOptionsDlg::cseReadTimeout, "800"), "COM2", "RxTimeout", "800"},
      {"COM1", Type(&TOptionsDlg::cseRTS, "25"), "COM1", "RtsDelay", "25"},
      // Takes 11, gives up 31; 30-32 is written as single ids.
      {"COM2", PickIds11Not31, "COM2", "SlaveAddrList", "11,20,30,32"},
      {"", PickLoopbackAddress, "ServerInfo", "IP", "127.0.0.1"},
      {"", Type(&TOptionsDlg::csePortNumber, "1503"), "ServerInfo", "TCPPort", "1503"},
      {"", Type(&TOptionsDlg::cseTxTimeout, "2000"), "ServerInfo", "TxTimeout", "2000"},
      {"", Type(&TOptionsDlg::cseRxTimeout, "30000"), "ServerInfo", "RxTimeout", "30000"},
      {"", Type(&TOptionsDlg::cseMaxConn, "16"), "ServerInfo", "MaxConnections", "16"},
      {"", Tick(&TOptionsDlg::cbxRunSvr), "SystemStart", "RunServer", "true"},
      {"", Tick(&TOptionsDlg::cbxTrayIcon), "SystemStart", "TrayIcon", "true"},
  };

  // What OK writes when nothing was edited; each edit must change that in
  // its one key only.
  EditAndPressOk([](TOptionsDlg*) {});
  const EditableIni::SectionMap unedited = WrittenFile();

  for (const Edit& edit : edits) {
    SCOPED_TRACE(std::string(edit.section) + "/" + edit.key + "=" + edit.value);
    EditAndPressOk([&](TOptionsDlg* dialog) {
      if (*edit.port != '\0') ClickNode(dialog->tvOptions, edit.port);
      edit.operate(dialog);
    });
    EditableIni::SectionMap expected = unedited;
    expected.at(edit.section).at(edit.key) = edit.value;
    EXPECT_EQ(Listing(WrittenFile()), Listing(expected));
    // And the gateway takes it.
    gSetting->Unload();
    EXPECT_EQ(gSetting->Load(), kSettingOk) << gSetting->GetErrorText();
    gSetting->Unload();
  }
}

// A number typed on one port's page is that port's, though the operator
// clicks another port before OK; the other port keeps what it holds, even
// a number beyond the bounds of its field, which that field would clamp.
TEST_F(OptionsControls, ATypedNumberStaysWithThePortItWasTypedFor) {
  std::string file = kTwoPorts;
  const std::string com2_in_bounds = "RtsDelay=0\nTxTimeout=500\nRxTimeout=500\n";
  file.replace(file.find(com2_in_bounds), com2_in_bounds.size(),
               "RtsDelay=70000\nTxTimeout=100000\nRxTimeout=1\n");
  EditAndPressOk([](TOptionsDlg*) {}, file);
  const EditableIni::SectionMap unedited = WrittenFile();

  const struct {
    TCSpinEdit* TOptionsDlg::*field;
    const char* key;
  } fields[] = {
      {&TOptionsDlg::cseRTS, "RtsDelay"},
      {&TOptionsDlg::cseWriteTimeout, "TxTimeout"},
      {&TOptionsDlg::cseReadTimeout, "RxTimeout"},
  };
  for (const auto& typed : fields) {
    SCOPED_TRACE(typed.key);
    EditAndPressOk(
        [&](TOptionsDlg* dialog) {
          ClickNode(dialog->tvOptions, "COM1");
          TypeInto(dialog->*typed.field, "99999");
          ClickNode(dialog->tvOptions, "COM2");
        },
        file);
    EditableIni::SectionMap expected = unedited;
    expected.at("COM1").at(typed.key) = "60000";  // clamped as the field left
    EXPECT_EQ(Listing(WrittenFile()), Listing(expected));
  }
}

TEST_F(OptionsControls, TheUnitIdListLocksTheIdsOfTheOtherPortsRangesIncluded) {
  struct Port {
    const char* name;
    std::vector<int> locked;  // the other port's ids
    std::vector<int> own;
  };
  const Port ports[] = {
      {"COM1", {20, 30, 31, 32}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {"COM2", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {20, 30, 31, 32}},
  };
  for (const Port& port : ports) {
    SCOPED_TRACE(port.name);
    std::map<int, ItemState> shown;
    std::string chosen;
    EditAndPressOk([&](TOptionsDlg* dialog) {
      ClickNode(dialog->tvOptions, port.name);
      AnswerNext<TUnitListDlg>([&](TUnitListDlg* units) {
        for (int id = 0; id <= 255; ++id)
          shown[id] = {units->clbUnitIds->Checked(id), units->clbUnitIds->ItemEnabled(id)};
        // The operator tries to take the other port's first id.
        ToggleWithSpace(units->clbUnitIds, port.locked.front());
        QTest::mouseClick(units->OkBtn, Qt::LeftButton);
      });
      QTest::mouseClick(dialog->ChoiceUnitIdsBtn, Qt::LeftButton);
      chosen = dialog->lbeUnits->Text().str();
    });
    for (int id = 0; id <= 255; ++id) {
      const bool locked = std::count(port.locked.begin(), port.locked.end(), id) > 0;
      const bool own = std::count(port.own.begin(), port.own.end(), id) > 0;
      EXPECT_EQ(shown[id], (ItemState{locked || own, !locked})) << "id " << id;
    }
    std::string own_ids;
    for (int id : port.own) own_ids += (own_ids.empty() ? "" : ",") + std::to_string(id);
    EXPECT_EQ(chosen, own_ids);
    EXPECT_EQ(WrittenFile().at(port.name).at("SlaveAddrList").str(), own_ids);
  }
}

// The contrast ratio of two colours, 1 (alike) to 21 (black on white).
double Contrast(const QColor& a, const QColor& b) {
  auto luminance = [](const QColor& colour) {
    auto channel = [](double value) {
      return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
           0.0722 * channel(colour.blueF()) + 0.05;
  };
  const double la = luminance(a), lb = luminance(b);
  return std::max(la, lb) / std::min(la, lb);
}

// The pixels of a picture drawn on a colour: those of the colour itself,
// those that stand out from it (3:1, the least for a picture to be made
// out), and the rest, which blur into it.
struct PixelCounts {
  int background = 0;
  int standing_out = 0;
  int blurred = 0;
  std::string first_blurred;
};

PixelCounts CountPixels(const QImage& image, const QColor& colour) {
  PixelCounts counts;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor pixel = image.pixelColor(x, y);
      if (pixel == colour) {
        ++counts.background;
      } else if (Contrast(pixel, colour) >= 3.0) {
        ++counts.standing_out;
      } else if (counts.blurred++ == 0) {
        counts.first_blurred = "pixel " + std::to_string(x) + "," + std::to_string(y) +
                               " is " + pixel.name().toStdString();
      }
    }
  }
  return counts;
}

// The picture of the selected node, drawn as the tree draws it (in the
// selected mode, on the selection colour): no part of it blurs into that
// colour, and the colour shows around the picture rather than a square of
// its own.
TEST_F(OptionsControls, TheSelectedNodesPictureStandsOutOnTheSelectionColour) {
  folder_.Write("Quorvelin.ini", kTwoPorts);
  AnswerNext<TOptionsDlg>([&](TOptionsDlg* dialog) {
    TTreeView* tree = dialog->tvOptions;
    for (const char* node_text : {"Server", "COM1"}) {
      SCOPED_TRACE(node_text);
      ClickNode(tree, node_text);
      TTreeNode* node = tree->Selected();
      ASSERT_EQ(node->Text(), node_text);
      dialog->tvOptionsGetImageIndex(node);
      dialog->tvOptionsGetSelectedIndex(node);
      const QIcon picture = dialog->imgListTvOptions.Get(node->SelectedIndex);
      const QColor selection = tree->palette().color(QPalette::Highlight);
      QImage drawn(16, 16, QImage::Format_RGB32);
      drawn.fill(selection);
      {
        QPainter paint(&drawn);
        picture.paint(&paint, drawn.rect(), Qt::AlignCenter, QIcon::Selected);
      }
      const PixelCounts counts = CountPixels(drawn, selection);
      EXPECT_EQ(counts.blurred, 0) << counts.first_blurred << " on "
                                   << selection.name().toStdString();
      EXPECT_GE(counts.standing_out, 40);
      EXPECT_GE(counts.background, 64);
    }
    dialog->CancelBtn->click();
  });
  MainForm->imOptions->trigger();
}

}  // namespace
