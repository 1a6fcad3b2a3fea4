// The main window and the about box as a person sees them: layout, texts, colours, the
// option that greys Check for Updates, the log, and the ways of closing an idle window.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <cmath>
#include <thread>

#include "window/about_dialog.h"
#include "window/window_resources.h"
#include "window_test_support.h"

namespace {

using window_test::ControlOf;
using window_test::WaitFor;

// x * base / divisor, rounded to the nearest pixel.
int Px(int units, int base, int divisor) {
  return static_cast<int>(std::lround(static_cast<double>(units) * base / divisor));
}

QWidget* FindControl(const QWidget& dialog, const window::ControlTemplate& c) {
  if (c.id != window::kNoControlId) return ControlOf(dialog, c.id);
  const QString text = QString::fromStdString(c.text);
  for (QWidget* w : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (c.kind == window::ControlKind::GroupBox) {
      if (auto* g = qobject_cast<QGroupBox*>(w); g && g->title() == text) return w;
    } else if (c.kind == window::ControlKind::Label) {
      if (auto* l = qobject_cast<QLabel*>(w); l && l->text() == text) return w;
    } else if (c.kind == window::ControlKind::Frame) {
      if (w->metaObject() == &QFrame::staticMetaObject) return w;
    }
  }
  return nullptr;
}

QColor PixelInside(QWidget* w) {
  return w->grab().toImage().pixelColor(4, 4);
}

TEST(MainWindow, EveryControlSitsAtItsDialogUnitRectangleTimesTheBaseUnits) {
  CVORLoaderXDlg dlg;
  const window::DialogTemplate* t = window::DialogResource(window::kMainDialogId);
  ASSERT_NE(t, nullptr);

  // The dialog font's base units: the average width of A-Z a-z, and the font height.
  const QFontMetrics fm(dlg.font());
  const int bx =
      (fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 +
       1) /
      2;
  const int by = fm.height();
  ASSERT_GT(bx, 2);
  ASSERT_GT(by, 6);
  EXPECT_EQ(dlg.font().pointSize(), 8);
  EXPECT_EQ(dlg.size(), QSize(Px(420, bx, 4), Px(301, by, 8)));

  dlg.show();
  std::map<QWidget*, QRect> placed;
  for (const auto& c : t->controls) {
    QWidget* w = FindControl(dlg, c);
    ASSERT_NE(w, nullptr) << "control " << c.id << " " << c.text;
    QRect expected(Px(c.rect.x, bx, 4), Px(c.rect.y, by, 8), Px(c.rect.width, bx, 4),
                   Px(c.rect.height, by, 8));
    // The platform's own sizes: a drop-down list's height includes its open list, and only
    // the closed part is the control; a bitmap control takes its bitmap's size.
    if (c.kind == window::ControlKind::ComboBox) {
      EXPECT_LT(w->height(), expected.height());
      expected.setHeight(w->sizeHint().height());
    }
    if (c.kind == window::ControlKind::Bitmap) expected.setSize(QSize(115, 68));
    EXPECT_EQ(w->geometry(), expected) << "control " << c.id << " " << c.text;
    placed[w] = w->geometry();
  }

  // The frame can be resized; nothing moves.
  dlg.resize(dlg.width() + 150, dlg.height() + 90);
  QApplication::processEvents();
  for (const auto& [w, rect] : placed) EXPECT_EQ(w->geometry(), rect);
}

TEST(MainWindow, ShowsItsTextsAndTabOrder) {
  CVORLoaderXDlg dlg;
  dlg.show();
  EXPECT_EQ(dlg.windowTitle(), "VORLoader V1.70");
  const std::pair<int, const char*> buttons[] = {
      {2, "Quit"}, {1001, "Connect"}, {1002, "Check for Updates"}, {1008, "Raw Boot"}};
  for (const auto& [id, text] : buttons) {
    auto* b = ControlOf<QPushButton>(dlg, id);
    ASSERT_NE(b, nullptr) << id;
    EXPECT_EQ(b->text(), text);
    EXPECT_TRUE(b->isEnabled()) << id;
  }
  QStringList groups;
  for (auto* g : dlg.findChildren<QGroupBox*>()) groups << g->title();
  groups.sort();
  EXPECT_EQ(groups, QStringList({"Com Port Status", "Device Status", "Info Log", "Main Status"}));

  bool warning = false;
  for (auto* l : dlg.findChildren<QLabel*>())
    warning |= l->text() == "WARNING: Only use a Direct Wired Connection to One Device at a time.";
  EXPECT_TRUE(warning);

  EXPECT_EQ(ControlOf<QLabel>(dlg, 1005)->text(), "No Connection");
  EXPECT_EQ(ControlOf<QLabel>(dlg, 1006)->text(), "");
  EXPECT_EQ(ControlOf<QLabel>(dlg, 1007)->text(), "");
  EXPECT_FALSE(ControlOf<QLabel>(dlg, 1009)->pixmap().isNull());
  EXPECT_FALSE(dlg.windowIcon().isNull());
  auto* log = ControlOf<QTextEdit>(dlg, 1004);
  ASSERT_NE(log, nullptr);
  EXPECT_TRUE(log->isReadOnly());  // the loader's record: read, select, copy, save
  EXPECT_EQ(log->toPlainText(), "");

  std::vector<int> order;
  QWidget* w = ControlOf(dlg, 2);
  do {
    if ((w->focusPolicy() & Qt::TabFocus) && !w->objectName().isEmpty())
      order.push_back(w->objectName().toInt());
    w = w->nextInFocusChain();
  } while (w != ControlOf(dlg, 2));
  EXPECT_EQ(order, (std::vector<int>{2, 1000, 1001, 1002, 1004, 1008}));
}

TEST(MainWindow, StatusLinesAreBlackOnPaleYellowTheRestKeepsTheSystemColours) {
  CVORLoaderXDlg dlg;
  dlg.show();
  const QColor pale(255, 255, 200);
  for (int id : {1005, 1006, 1007}) {
    auto* status = ControlOf<QLabel>(dlg, id);
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->palette().color(QPalette::WindowText), QColor(Qt::black)) << id;
    EXPECT_EQ(PixelInside(status), pale) << id;
    EXPECT_EQ(status->alignment(), Qt::AlignCenter) << id;
    EXPECT_EQ(status->frameShadow(), QFrame::Sunken) << id;
  }
  EXPECT_NE(PixelInside(&dlg), pale);
  EXPECT_NE(ControlOf<QPushButton>(dlg, 1001)->palette().color(QPalette::Button), pale);
  for (auto* l : dlg.findChildren<QLabel*>()) {
    if (l->text().startsWith("WARNING")) {
      EXPECT_NE(PixelInside(l), pale);
    }
  }
}

struct OptionCase {
  int options;
  bool checkForUpdates;
};

TEST(MainWindow, OfflineOptionGreysCheckForUpdatesFromTheFirstPaint) {
  const OptionCase cases[] = {{0, true}, {1, false}, {8, true}, {15, false}, {-1, false}, {6, true}};
  for (const auto& c : cases) {
    CVORLoaderXDlg dlg;
    dlg.SetOptions(window::DecodedOptions(c.options));
    dlg.show();
    EXPECT_EQ(ControlOf(dlg, 1002)->isEnabled(), c.checkForUpdates) << c.options;
    EXPECT_TRUE(ControlOf(dlg, 1001)->isEnabled());
    EXPECT_TRUE(ControlOf(dlg, 1008)->isEnabled());
    // A workflow cannot bring it back.
    dlg.view().enableCheckForUpdates(true);
    EXPECT_EQ(ControlOf(dlg, 1002)->isEnabled(), c.checkForUpdates) << c.options;
  }
}

TEST(MainWindow, DetailIsAnIndentedLineUnderTheLineItExplains) {
  CVORLoaderXDlg dlg;
  dlg.show();
  dlg.view().appendLog("Checking Online..Failed!");
  dlg.view().detail("http://127.0.0.1:1/vornet_verinfo.xml: connection refused");
  EXPECT_EQ(dlg.log(),
            "Checking Online..Failed!\r\n    http://127.0.0.1:1/vornet_verinfo.xml: connection refused\r\n");
}

TEST(MainWindow, AppendLogAddsOneLineRewritesTheControlAndScrollsToTheNewest) {
  CVORLoaderXDlg dlg;
  dlg.show();
  auto* log = ControlOf<QTextEdit>(dlg, 1004);
  dlg.AppendLog("2 Com Ports Found.");
  EXPECT_EQ(dlg.log(), "2 Com Ports Found.\r\n");
  dlg.AppendLog("Checking Online..OK.");
  EXPECT_EQ(dlg.log(), "2 Com Ports Found.\r\nChecking Online..OK.\r\n");
  EXPECT_EQ(log->document()->blockCount(), 3);  // two lines and the empty one after the last line end
  EXPECT_EQ(log->document()->findBlockByNumber(1).text(), "Checking Online..OK.");

  // Nothing can be typed into the log.
  log->setFocus();
  QTest::keyClicks(log, "typed by hand");
  EXPECT_FALSE(log->toPlainText().contains("typed by hand"));
  dlg.AppendLog("0 Product definitions Found.");
  EXPECT_FALSE(log->toPlainText().contains("typed by hand"));
  EXPECT_FALSE(dlg.log().contains("typed by hand"));

  for (int i = 0; i < 150; ++i) dlg.AppendLog(QStringLiteral("line %1").arg(i));
  QScrollBar* bar = log->verticalScrollBar();
  EXPECT_GT(bar->maximum(), 100);
  EXPECT_EQ(bar->value(), bar->maximum());
  const QTextBlock bottom = log->cursorForPosition(QPoint(4, log->viewport()->height() - 4)).block();
  EXPECT_GE(bottom.blockNumber(), 152);  // the newest line is in sight
}

TEST(MainWindow, WorkflowTextsAreLatin1AndArriveFromAnyThread) {
  CVORLoaderXDlg dlg;
  dlg.show();
  std::thread workflow([&] {
    dlg.view().appendLog("Caf\xe9 <b>not bold</b>");
    dlg.view().setDeviceStatus("Device: Mod\xe8le    ID: 7    Version: V1.2");
  });
  workflow.join();
  ASSERT_TRUE(WaitFor([&] { return dlg.log().size() > 0; }));
  EXPECT_EQ(dlg.log(), QString::fromUtf8("Café <b>not bold</b>\r\n"));
  ASSERT_TRUE(WaitFor([&] { return !ControlOf<QLabel>(dlg, 1006)->text().isEmpty(); }));
  EXPECT_EQ(ControlOf<QLabel>(dlg, 1006)->text(),
            QString::fromUtf8("Device: Modèle    ID: 7    Version: V1.2"));
  EXPECT_EQ(ControlOf<QLabel>(dlg, 1006)->textFormat(), Qt::PlainText);
}

TEST(MainWindow, TheAboutEntryOfTheContextMenuOpensTheAboutBox) {
  CVORLoaderXDlg dlg;
  dlg.show();
  QAction* about = nullptr;
  for (QAction* a : dlg.actions())
    if (a->text() == "&About VORLoaderX...") about = a;
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(dlg.contextMenuPolicy(), Qt::ActionsContextMenu);

  QString title;
  QStringList texts;
  bool okWasDefault = false;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    auto* box = dynamic_cast<CAboutDlg*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    title = box->windowTitle();
    for (auto* l : box->findChildren<QLabel*>())
      if (!l->text().isEmpty()) texts << l->text();
    auto* ok = box->findChild<QPushButton*>("1");
    okWasDefault = ok != nullptr && ok->isDefault() && ok->text() == "OK";
    if (ok != nullptr) ok->click();
  });
  watcher.start(10);
  about->trigger();  // returns when the box has closed
  EXPECT_EQ(title, "About VORLoader");
  EXPECT_TRUE(texts.contains("VORLoader, Version 1.1.0"));
  EXPECT_EQ(texts.size(), 2);
  EXPECT_TRUE(okWasDefault);
  EXPECT_TRUE(dlg.isVisible());
}

// Every fixed text shows whole in its control, in the main window and in the about box.
void ExpectTextsFit(const QWidget& dialog) {
  for (auto* l : dialog.findChildren<QLabel*>()) {
    if (l->text().isEmpty()) continue;
    if (l->wordWrap()) {
      EXPECT_LE(l->heightForWidth(l->width()), l->height()) << l->text().toStdString();
    } else {
      EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->contentsRect().width())
          << l->text().toStdString();
    }
  }
  for (auto* b : dialog.findChildren<QPushButton*>())
    EXPECT_LT(b->fontMetrics().horizontalAdvance(b->text()), b->width() - 6) << b->text().toStdString();
}

TEST(WindowTexts, FitTheirControls) {
  CVORLoaderXDlg dlg;
  dlg.show();
  ExpectTextsFit(dlg);
  CAboutDlg about;
  about.show();
  ExpectTextsFit(about);
}

TEST(AboutBox, HasAFixedSizeAndTheIcon) {
  CAboutDlg about;
  EXPECT_EQ(about.minimumSize(), about.maximumSize());
  bool icon = false;
  for (auto* l : about.findChildren<QLabel*>()) icon |= !l->pixmap().isNull();
  EXPECT_TRUE(icon);
}

struct CloseCase {
  const char* how;
  std::function<void(CVORLoaderXDlg&)> close;
};

TEST(MainWindow, QuitEscapeEnterAndTheTitleBarCloseAnIdleWindowAtOnce) {
  const CloseCase cases[] = {
      {"Quit", [](CVORLoaderXDlg& d) { ControlOf<QPushButton>(d, 2)->click(); }},
      {"Escape", [](CVORLoaderXDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
      {"Enter in the port list",
       [](CVORLoaderXDlg& d) { QTest::keyClick(ControlOf(d, 1000), Qt::Key_Return); }},
      {"Enter in the log",
       [](CVORLoaderXDlg& d) { QTest::keyClick(ControlOf(d, 1004), Qt::Key_Enter, Qt::KeypadModifier); }},
      {"title bar", [](CVORLoaderXDlg& d) { d.close(); }},
  };
  for (const auto& c : cases) {
    CVORLoaderXDlg dlg;
    dlg.show();
    window_test::BoxAnswerer boxes({QMessageBox::No});
    c.close(dlg);
    EXPECT_FALSE(dlg.isVisible()) << c.how;
    EXPECT_TRUE(boxes.seen().empty()) << c.how;
  }
}

}  // namespace
