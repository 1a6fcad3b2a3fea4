// What the window shows beside its fixed texts: the progress bar under the main status line,
// status lines that lose their middle rather than their ends, the time of each log line, the
// saved log, what the system knows of each port, the informative text of a confirmation, and
// control characters from devices shown as "?".

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>
#include <QToolTip>
#include <cstring>
#include <thread>

#include "window/eliding_label.h"
#include "window/log_file.h"
#include "window/shown_text.h"
#include "window/transfer_progress.h"
#include "window_test_support.h"

namespace {

using window_test::BoxAnswerer;
using window_test::ControlOf;
using window_test::Gate;
using window_test::ScriptedWorkflows;
using window_test::WaitFor;

QProgressBar* BarOf(const CVORLoaderXDlg& dlg) {
  return dlg.findChild<QProgressBar*>(QStringLiteral("progress"));
}

QGroupBox* GroupTitled(const QWidget& dlg, const QString& title) {
  for (auto* g : dlg.findChildren<QGroupBox*>())
    if (g->title() == title) return g;
  return nullptr;
}

TEST(ProgressBar, SitsInTheMainStatusGroupBelowTheLineAndCoversNoControl) {
  CVORLoaderXDlg dlg;
  dlg.show();
  QProgressBar* bar = BarOf(dlg);
  ASSERT_NE(bar, nullptr);
  EXPECT_FALSE(bar->isVisible());
  QGroupBox* group = GroupTitled(dlg, "Main Status");
  ASSERT_NE(group, nullptr);
  const QRect r = bar->geometry();
  EXPECT_TRUE(group->geometry().contains(r)) << "bar outside the Main Status group";
  EXPECT_GT(r.top(), ControlOf(dlg, 1007)->geometry().bottom());
  EXPECT_EQ(r.left(), ControlOf(dlg, 1007)->geometry().left());
  EXPECT_EQ(r.width(), ControlOf(dlg, 1007)->geometry().width());
  EXPECT_GE(r.height(), 6);
  for (QWidget* w : dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (w == bar || qobject_cast<QGroupBox*>(w) != nullptr) continue;
    if (w->metaObject() == &QFrame::staticMetaObject) continue;  // the etched border round everything
    EXPECT_FALSE(w->geometry().intersects(r)) << "covers " << w->objectName().toStdString();
  }
}

TEST(ProgressBar, BusyDuringTheEraseMeasuredDuringTheStreamHiddenAfter) {
  ScriptedWorkflows workflows;  // outlives the window's thread, as does what it waits at
  Gate erasing, streaming, done;
  std::atomic<int> step{0};
  CVORLoaderXDlg dlg;
  workflows.connect = [&] {
    dlg.view().setMainStatus("Erasing Device.");
    dlg.view().transferActive(true);
    step = 1;
    erasing.Pass(dlg.view());
    for (std::size_t sent = 1000; sent <= 4000; sent += 1000)
      dlg.view().progress({sent, 10000, static_cast<double>(sent) / 100.0});
    step = 2;
    streaming.Pass(dlg.view());
    dlg.view().progress({10000, 10000, 100.0});
    dlg.view().transferActive(false);
    dlg.view().setMainStatus("Program Loaded.");
    step = 3;
  };
  dlg.SetWorkflows(&workflows);
  dlg.show();
  ASSERT_TRUE(WaitFor([&] { return workflows.startups == 1 && !dlg.workflowRunning(); }));
  QProgressBar* bar = BarOf(dlg);
  ASSERT_NE(bar, nullptr);
  EXPECT_FALSE(bar->isVisible());

  ControlOf<QPushButton>(dlg, 1001)->click();
  ASSERT_TRUE(WaitFor([&] { return step == 1 && bar->isVisible(); }));
  EXPECT_EQ(bar->maximum(), 0) << "the erase has no measure: busy";
  EXPECT_EQ(ControlOf<QLabel>(dlg, 1007)->text(), "Erasing Device.");  // the status text stays
  erasing.Open();
  ASSERT_TRUE(WaitFor([&] { return step == 2 && bar->value() == 400; }));
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->maximum(), 1000);
  EXPECT_TRUE(bar->text().startsWith("40%")) << bar->text().toStdString();
  streaming.Open();
  ASSERT_TRUE(WaitFor([&] { return step == 3 && !dlg.workflowRunning(); }));
  EXPECT_FALSE(bar->isVisible());
  EXPECT_EQ(ControlOf<QLabel>(dlg, 1007)->text(), "Program Loaded.");
}

TEST(ProgressBar, CountsDownTheRawBootWaitAndHidesAtItsEnd) {
  CVORLoaderXDlg dlg;
  dlg.show();
  QProgressBar* bar = BarOf(dlg);
  ASSERT_NE(bar, nullptr);
  dlg.view().countdown(12, 15);
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->maximum(), 15);
  EXPECT_EQ(bar->value(), 12);
  EXPECT_EQ(bar->text(), "12 s left");
  dlg.view().countdown(0, 15);
  EXPECT_FALSE(bar->isVisible());
  // The banner came: the erase follows at once and shows busy.
  dlg.view().transferActive(true);
  EXPECT_TRUE(bar->isVisible());
  dlg.view().transferActive(false);
  EXPECT_FALSE(bar->isVisible());
}

TEST(ProgressBar, TimeLeftFollowsTheRateSoFar) {
  EXPECT_EQ(window::TransferProgress::TimeLeft({0, 1000, 0.0}, 500), "");
  EXPECT_EQ(window::TransferProgress::TimeLeft({250, 1000, 25.0}, 10000), "0:30 left");
  EXPECT_EQ(window::TransferProgress::TimeLeft({100, 1000, 10.0}, 10000), "1:30 left");
  EXPECT_EQ(window::TransferProgress::TimeLeft({1000, 1000, 100.0}, 10000), "0:00 left");
  EXPECT_EQ(window::TransferProgress::TimeLeft({2000, 1000, 200.0}, 10000), "");
  // With the line rate known, what the port still holds counts as left: 960 bytes at 9600 bit/s.
  EXPECT_EQ(window::TransferProgress::TimeLeft({1000, 1000, 100.0, 40, 9600}, 100), "0:01 left");
  // Rounded and written as the terminal writes it: 29.4 s, and 3996 s past the hour.
  EXPECT_EQ(window::TransferProgress::TimeLeft({100, 1000, 10.0}, 3267), "0:29 left");
  EXPECT_EQ(window::TransferProgress::TimeLeft({1, 1000, 0.1}, 4000), "1:06:36 left");
}

TEST(StatusLines, ALongTextLosesItsMiddleAndShowsWholeInTheTooltip) {
  CVORLoaderXDlg dlg;
  dlg.show();
  auto* device = qobject_cast<window::ElidingLabel*>(ControlOf(dlg, 1006));
  ASSERT_NE(device, nullptr);
  const std::string longName(120, 'M');
  const std::string text = "Device: " + longName + "    ID: 305419896    Version: V1.80";
  dlg.view().setDeviceStatus(text);
  EXPECT_EQ(device->text().toStdString(), text);  // the whole text is still the label's
  ASSERT_TRUE(device->elided());
  const QString shown = device->shownText();
  EXPECT_TRUE(shown.startsWith("Device: M")) << shown.toStdString();
  EXPECT_TRUE(shown.endsWith("Version: V1.80")) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QChar(0x2026)));
  EXPECT_LE(device->fontMetrics().horizontalAdvance(shown), device->contentsRect().width());
  EXPECT_EQ(device->toolTip().toStdString(), text);

  // Wider, then short again: elided afresh each time, no stale tooltip.
  device->resize(device->width() * 20, device->height());
  EXPECT_FALSE(device->elided());
  EXPECT_TRUE(device->toolTip().isEmpty());
  device->resize(device->width() / 20, device->height());
  EXPECT_TRUE(device->elided());
  dlg.view().setDeviceStatus("Device: VORnet Amp    ID: 7    Version: V1.20");
  EXPECT_FALSE(device->elided());
  EXPECT_TRUE(device->toolTip().isEmpty());
}

TEST(ShownText, ControlCharactersFromDevicesBecomeQuestionMarks) {
  struct Case {
    std::string in;
    QString line, lines;
  };
  const Case cases[] = {
      {"VORnet Amp", "VORnet Amp", "VORnet Amp"},
      {std::string("A\x01"
                   "B\x1b[2JC\x7f",
                   9),
       "A?B?[2JC?", "A?B?[2JC?"},
      {"x\x85y\x9bz\x9f!\xa0\xe9\xff", QString::fromUtf8("x?y?z?!\u00a0\u00e9\u00ff"),
       QString::fromUtf8("x?y?z?!\u00a0\u00e9\u00ff")},
      {"a\tb", "a?b", "a?b"},
      {"Identical Versions.\n Reload?", "Identical Versions.? Reload?", "Identical Versions.\n Reload?"},
      {"off.   \r\n\r\nPress", "off.   ????Press", "off.   \n\nPress"},
      {std::string("nul\0end", 7), "nul?end", "nul?end"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(window::ShownLine(c.in), c.line) << c.in;
    EXPECT_EQ(window::ShownLines(c.in), c.lines) << c.in;
  }
}

TEST(ShownText, StatusLinesLogAndBoxesShowControlCharactersAsQuestionMarks) {
  ScriptedWorkflows workflows;  // outlives the window's thread
  CVORLoaderXDlg dlg;
  workflows.connect = [&] {
    dlg.view().setDeviceStatus("Device: Amp\x1b[31m\x9b    ID: 1    Version: V1\x85");
    dlg.view().appendLog("E06-Not a VOR Device.");
    dlg.view().detail("label \x07\x90");
    dlg.view().confirm("Load Hex Now?", "Device: Amp\x9b\x1b");
  };
  dlg.SetWorkflows(&workflows);
  dlg.show();
  ASSERT_TRUE(WaitFor([&] { return workflows.startups == 1 && !dlg.workflowRunning(); }));
  BoxAnswerer boxes({QMessageBox::No});
  ControlOf<QPushButton>(dlg, 1001)->click();
  ASSERT_TRUE(WaitFor([&] { return workflows.connects == 1 && !dlg.workflowRunning(); }));
  EXPECT_EQ(ControlOf<QLabel>(dlg, 1006)->text(), "Device: Amp?[31m?    ID: 1    Version: V1?");
  EXPECT_EQ(dlg.log(), "E06-Not a VOR Device.\r\n    label ??\r\n");
  ASSERT_EQ(boxes.seen().size(), 1u);
  EXPECT_EQ(boxes.seen()[0].informative, "Device: Amp??");
}

TEST(ConfirmBox, KeepsItsQuestionAndSaysWhatItIsAboutAsPlainInformativeText) {
  ScriptedWorkflows workflows;  // outlives the window's thread
  CVORLoaderXDlg dlg;
  std::vector<bool> answers;
  const std::string about =
      "Device: VORnet Amp (ID 305419896)\nVersion now: V1.20\nVersion to load: V1.80\n"
      "Port: COM1\nFile: <b>vornet_amp_v180.hex</b>";
  workflows.connect = [&] {
    answers.push_back(dlg.view().confirm("Load Hex Now?", about));
    answers.push_back(dlg.view().confirm("Load Hex Now?", about));
  };
  dlg.SetWorkflows(&workflows);
  dlg.show();
  ASSERT_TRUE(WaitFor([&] { return workflows.startups == 1 && !dlg.workflowRunning(); }));
  BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::No});
  ControlOf<QPushButton>(dlg, 1001)->click();
  ASSERT_TRUE(WaitFor([&] { return workflows.connects == 1 && !dlg.workflowRunning(); }));
  EXPECT_EQ(answers, (std::vector<bool>{true, false}));
  ASSERT_EQ(boxes.seen().size(), 2u);
  const auto& box = boxes.seen()[0];
  EXPECT_EQ(box.text, "Load Hex Now?");
  EXPECT_EQ(box.informative.toStdString(), about);
  EXPECT_EQ(box.informativeFormat, Qt::PlainText);  // the file name's markup shows as it is
  EXPECT_EQ(box.icon, QMessageBox::Question);
  EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(box.defaultButton, QMessageBox::Yes);

  EXPECT_EQ(boxes.seen()[1].informative.toStdString(), about);
}

TEST(ConfirmBox, ALongFileNameLosesItsMiddleAndTheBoxStaysOnTheScreen) {
  ScriptedWorkflows workflows;  // outlives the window's thread
  CVORLoaderXDlg dlg;
  const std::string file = "vornet_amp_" + std::string(600, 'x') + "_v180.hex";
  const std::string about =
      "Device: VORnet Amp (ID 305419896)\nVersion now: V1.20\nVersion to load: V1.80\n"
      "Port: COM1 (/dev/serial/by-id/" +
      std::string(300, 'p') + ")\nFile: " + file;
  workflows.connect = [&] { dlg.view().confirm("Load Hex Now?", about); };
  dlg.SetWorkflows(&workflows);
  dlg.show();
  ASSERT_TRUE(WaitFor([&] { return workflows.startups == 1 && !dlg.workflowRunning(); }));

  // Looked at while it is open, then answered No.
  QRect boxFrame, screenArea;
  QString shown, tip;
  bool seen = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || seen || !box->isVisible()) return;
    seen = true;
    boxFrame = box->frameGeometry();
    screenArea = box->screen()->availableGeometry();
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
      shown = label->text();
      tip = label->toolTip();
    }
    box->button(QMessageBox::No)->click();
  });
  poll.start(10);
  ControlOf<QPushButton>(dlg, 1001)->click();
  ASSERT_TRUE(WaitFor([&] { return workflows.connects == 1 && !dlg.workflowRunning(); }));
  ASSERT_TRUE(seen);

  EXPECT_TRUE(screenArea.contains(boxFrame))
      << "box " << boxFrame.x() << "," << boxFrame.y() << " " << boxFrame.width() << "x" << boxFrame.height();
  const QStringList lines = shown.split('\n');
  ASSERT_EQ(lines.size(), 5) << shown.toStdString();
  // The short lines as they were, the versions among them.
  EXPECT_EQ(lines[0], "Device: VORnet Amp (ID 305419896)");
  EXPECT_EQ(lines[1], "Version now: V1.20");
  EXPECT_EQ(lines[2], "Version to load: V1.80");
  // The long words keep both ends: the file name its version and extension.
  EXPECT_TRUE(lines[3].startsWith("Port: COM1 (/dev/ser")) << lines[3].toStdString();
  EXPECT_TRUE(lines[3].endsWith("pp)")) << lines[3].toStdString();
  EXPECT_TRUE(lines[4].startsWith("File: vornet_amp_")) << lines[4].toStdString();
  EXPECT_TRUE(lines[4].endsWith("_v180.hex")) << lines[4].toStdString();
  EXPECT_TRUE(lines[4].contains(QChar(0x2026)));
  EXPECT_LT(lines[4].size(), static_cast<qsizetype>(file.size()));
  EXPECT_EQ(tip.toStdString(), about);  // the whole text
}

TEST(InfoLog, IsReadOnlyAndEachLineHasItsTimeOfDayAsTooltip) {
  CVORLoaderXDlg dlg;
  dlg.show();
  auto* log = ControlOf<QTextEdit>(dlg, 1004);
  ASSERT_NE(log, nullptr);
  EXPECT_TRUE(log->isReadOnly());
  const QTime before = QTime::currentTime();
  dlg.AppendLog("1 Com Ports Found.");
  dlg.AppendLog("Checking Online..OK.");
  const QTime after = QTime::currentTime();
  EXPECT_EQ(dlg.log(), "1 Com Ports Found.\r\nChecking Online..OK.\r\n");  // no time in the text
  EXPECT_FALSE(log->toPlainText().contains(':'));
  for (int line : {0, 1}) {
    const QTime t = dlg.logLineTime(line);
    ASSERT_TRUE(t.isValid()) << line;
    EXPECT_GE(t.msecsSinceStartOfDay() / 1000, before.msecsSinceStartOfDay() / 1000);
    EXPECT_LE(t.msecsSinceStartOfDay() / 1000, after.msecsSinceStartOfDay() / 1000);
  }
  EXPECT_FALSE(dlg.logLineTime(2).isValid());

  // The point on the second line shows its time; the empty space below the lines none.
  const QTextBlock second = log->document()->findBlockByNumber(1);
  const QRect rect = log->cursorRect(QTextCursor(second));
  const QPoint onSecond(rect.left() + 2, rect.center().y());
  EXPECT_EQ(dlg.LogToolTipAt(onSecond), dlg.logLineTime(1).toString("HH:mm:ss"));
  EXPECT_EQ(dlg.LogToolTipAt(QPoint(4, log->viewport()->height() - 3)), "");

  QHelpEvent help(QEvent::ToolTip, onSecond, log->viewport()->mapToGlobal(onSecond));
  QApplication::sendEvent(log->viewport(), &help);
  EXPECT_EQ(QToolTip::text(), dlg.logLineTime(1).toString("HH:mm:ss"));
  QToolTip::hideText();
}

TEST(InfoLog, AWrappedDetailLineGoesOnUnderItsOwnFirstCharacter) {
  CVORLoaderXDlg dlg;
  dlg.show();
  auto* log = ControlOf<QTextEdit>(dlg, 1004);
  ASSERT_NE(log, nullptr);
  dlg.AppendLog("Checking Online..Failed!");
  std::string why = "http://127.0.0.1:1/vornet_verinfo.xml:";
  for (int i = 0; i < 12; ++i) why += " the connection was refused";
  dlg.view().detail(why);
  dlg.AppendLog("A fixed line that is long enough to wrap as well, and wrap it does, on and on to the end");
  ASSERT_TRUE(WaitFor([&] { return log->document()->blockCount() >= 4; }));
  EXPECT_EQ(dlg.log().toStdString(), "Checking Online..Failed!\r\n    " + why +
                                         "\r\nA fixed line that is long enough to wrap as well, and wrap it "
                                         "does, on and on to the end\r\n");

  auto left = [&](const QTextBlock& block, int offset) {
    QTextCursor cursor(block);
    cursor.setPosition(block.position() + offset);
    return log->cursorRect(cursor).left();
  };
  const QTextBlock fixed = log->document()->findBlockByNumber(0);
  const QTextBlock detail = log->document()->findBlockByNumber(1);
  ASSERT_GE(detail.layout()->lineCount(), 2) << "the detail line does not wrap";
  const int textStart = left(detail, static_cast<int>(std::strlen(CVORLoaderXDlg::kDetailIndent)));
  EXPECT_GT(textStart, left(fixed, 0) + 5);  // the detail sits to the right of the fixed line
  for (int row = 1; row < detail.layout()->lineCount(); ++row)
    EXPECT_NEAR(left(detail, detail.layout()->lineAt(row).textStart()), textStart, 1) << row;

  // A wrapped fixed line goes on at the margin.
  const QTextBlock longFixed = log->document()->findBlockByNumber(2);
  ASSERT_GE(longFixed.layout()->lineCount(), 2);
  EXPECT_EQ(left(longFixed, longFixed.layout()->lineAt(1).textStart()), left(longFixed, 0));
}

TEST(InfoLog, SaveLogSitsBesideAboutAndWritesTheLinesAsUtf8) {
  CVORLoaderXDlg dlg;
  dlg.show();
  QStringList entries;
  for (QAction* a : dlg.actions())
    if (!a->isSeparator()) entries << a->text();
  EXPECT_EQ(entries, QStringList({"Save Log...", "&About VORLoaderX..."}));

  dlg.view().appendLog("Caf\xe9 1.80");
  dlg.view().detail("http://127.0.0.1:1/x: connection refused");
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("saved.txt");
  EXPECT_TRUE(dlg.SaveLog(path));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), QByteArray("Caf\xc3\xa9 1.80\n    http://127.0.0.1:1/x: connection refused\n"));
}

TEST(ContextMenu, OffersTheStationWindowWhenTheProgramCanOpenIt) {
  {
    CVORLoaderXDlg dlg;
    dlg.show();
    EXPECT_EQ(dlg.findChild<QAction*>(QStringLiteral("stationWindow")), nullptr);
  }
  CVORLoaderXDlg dlg;
  int opened = 0;
  dlg.SetStationOpener([&] { ++opened; });
  dlg.show();
  auto* station = dlg.findChild<QAction*>(QStringLiteral("stationWindow"));
  ASSERT_NE(station, nullptr);
  EXPECT_EQ(station->text(), "Station Window...");
  EXPECT_TRUE(dlg.actions().contains(station));  // in the window's context menu
  station->trigger();
  EXPECT_EQ(opened, 1);
}

TEST(InfoLog, AFailedSaveIsToldInABox) {
  CVORLoaderXDlg dlg;
  dlg.show();
  dlg.AppendLog("one line");
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  {
    BoxAnswerer boxes({QMessageBox::Ok});
    EXPECT_FALSE(dlg.SaveLog(dir.filePath("no/such/folder/log.txt")));
    ASSERT_EQ(boxes.seen().size(), 1u);
    EXPECT_EQ(boxes.seen()[0].text, "The log could not be saved.");
    EXPECT_TRUE(boxes.seen()[0].informative.contains("no/such/folder/log.txt"));
    EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Warning);
  }
  // A folder where the file should be: nothing is written over it.
  const QString folder = dir.filePath("taken");
  ASSERT_TRUE(QDir().mkpath(folder + "/inside"));
  BoxAnswerer boxes({QMessageBox::Ok});
  EXPECT_FALSE(dlg.SaveLog(folder));
  EXPECT_EQ(boxes.seen().size(), 1u);
  EXPECT_TRUE(QFileInfo(folder + "/inside").isDir());
}

TEST(PortList, EachEntryIsComNWithWhatTheSystemKnowsInItsTooltip) {
  CVORLoaderXDlg dlg;
  dlg.show();
  PortEntry usb(9, "/dev/ttyUSB0");
  usb.vendorId = 0x0403;
  usb.productId = 0x6001;
  usb.manufacturer = "FTDI";
  usb.product = "FT232R USB UART";
  usb.serialNumber = "A50285BI";
  PortEntry acm(25, "/dev/ttyACM0");
  acm.product = "Bench\x9b adapter";
  dlg.view().showPorts({{1, "/dev/ttyS0"}, usb, acm}, 1);
  auto* ports = ControlOf<QComboBox>(dlg, 1000);
  ASSERT_EQ(ports->count(), 3);
  EXPECT_EQ(ports->currentText(), "COM9");
  EXPECT_EQ(ports->itemText(2), "COM25");
  EXPECT_EQ(ports->itemData(0, Qt::ToolTipRole).toString(), "/dev/ttyS0");
  EXPECT_EQ(ports->itemData(1, Qt::ToolTipRole).toString(),
            "/dev/ttyUSB0\nUSB ID: 0403:6001\nManufacturer: FTDI\nProduct: FT232R USB UART\n"
            "Serial number: A50285BI");
  EXPECT_EQ(ports->itemData(2, Qt::ToolTipRole).toString(), "/dev/ttyACM0\nProduct: Bench? adapter");
  EXPECT_EQ(ports->toolTip(), ports->itemData(1, Qt::ToolTipRole).toString());
  ports->setCurrentIndex(2);
  EXPECT_EQ(ports->toolTip(), ports->itemData(2, Qt::ToolTipRole).toString());
  EXPECT_EQ(ports->currentText(), "COM25");
}

}  // namespace
