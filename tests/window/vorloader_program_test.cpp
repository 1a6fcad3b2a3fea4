// The vorloader executable before its window: --help, --version, a bad command line, and a
// machine without a desktop session.

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#ifndef VORLOADER_EXE
#error "VORLOADER_EXE must name the built vorloader"
#endif

namespace {

struct ProgramRun {
  int status = -1;
  bool crashed = false;
  QString out, err;
};

ProgramRun RunLoader(const QStringList& args, const QProcessEnvironment& env) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(VORLOADER_EXE), args);
  ProgramRun r;
  if (!p.waitForStarted(20000) || !p.waitForFinished(20000)) {
    p.kill();
    p.waitForFinished();
    return r;
  }
  r.crashed = p.exitStatus() != QProcess::NormalExit;
  r.status = p.exitCode();
  r.out = QString::fromUtf8(p.readAllStandardOutput());
  r.err = QString::fromUtf8(p.readAllStandardError());
  return r;
}

QProcessEnvironment NoDisplay() {
  QProcessEnvironment env;  // empty: no DISPLAY, no WAYLAND_DISPLAY, no QT_QPA_PLATFORM
  env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
  return env;
}

TEST(VorloaderProgram, HelpAndVersionPrintAndEndWithoutADisplay) {
  const ProgramRun help = RunLoader({"--help"}, NoDisplay());
  EXPECT_FALSE(help.crashed);
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.startsWith("Usage: vorloader [--x N]\n")) << help.out.toStdString();
  EXPECT_TRUE(help.out.contains("vorloader-cli"));
  // Every run on a port is recorded, as the terminal program says: not only those that reached
  // a device.
  EXPECT_TRUE(help.out.contains("Raw Boot run on a port (stopped ones too)")) << help.out.toStdString();
  EXPECT_FALSE(help.out.contains("reached a device")) << help.out.toStdString();
  EXPECT_TRUE(help.err.isEmpty()) << help.err.toStdString();

  const ProgramRun version = RunLoader({"--version"}, NoDisplay());
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, QStringLiteral("vorloader " VOR_VERSION "\n"));

  // The short forms say the same.
  EXPECT_EQ(RunLoader({"-h"}, NoDisplay()).out, help.out);
  EXPECT_EQ(RunLoader({"-V"}, NoDisplay()).out, version.out);
}

TEST(VorloaderProgram, ABadCommandLineIsAUsageErrorBeforeAnyWindow) {
  // With a display the window would open: the refusal must come first. Offscreen here, so
  // that a program that did open its window would not end, and the test would see that.
  QProcessEnvironment offscreen = NoDisplay();
  offscreen.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  for (const QStringList& args : {QStringList{"--bogus"}, QStringList{"--x", "99"}, QStringList{"connect"}}) {
    for (const QProcessEnvironment& env : {NoDisplay(), offscreen}) {
      const ProgramRun r = RunLoader(args, env);
      EXPECT_FALSE(r.crashed) << args.join(' ').toStdString();
      EXPECT_EQ(r.status, 64) << args.join(' ').toStdString();
      EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
      EXPECT_TRUE(r.err.startsWith("vorloader: ")) << r.err.toStdString();
      EXPECT_TRUE(r.err.contains(args.first())) << r.err.toStdString();
      EXPECT_TRUE(r.out.isEmpty());
    }
  }
}

TEST(VorloaderProgram, WithoutADesktopSessionSaysSoInOneLineAndNamesTheTerminalFrontEnd) {
  struct Case {
    const char* platform;  // QT_QPA_PLATFORM, nullptr: unset
    QStringList args;
  };
  const Case cases[] = {{nullptr, {}}, {nullptr, {"--x", "1"}}, {"xcb", {}}, {"wayland", {}}};
  for (const auto& c : cases) {
    QProcessEnvironment env = NoDisplay();
    if (c.platform != nullptr) env.insert("QT_QPA_PLATFORM", c.platform);
    const ProgramRun r = RunLoader(c.args, env);
    EXPECT_FALSE(r.crashed) << c.platform;
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.status, -1) << "did not end";
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.startsWith("vorloader: needs a desktop session")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("vorloader-cli"));
    EXPECT_TRUE(r.out.isEmpty());
  }
}

}  // namespace
