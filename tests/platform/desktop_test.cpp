#include <platform/desktop_shell.h>
#include <platform/message_box.h>
#include <platform/runtime_error.h>

#include "test_files.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <chrono>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace testing_support;
using platform::MessageBoxStyle;


bool WaitForFile(const std::string& path) {
  for (int i = 0; i < 500 && access(path.c_str(), F_OK) != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return access(path.c_str(), F_OK) == 0;
}

TEST(MessageBoxLog, AppendsOneLinePerBoxWithLineBreaksEscaped) {
  TempDir dir;
  ScopedEnvironment log("MESSAGE_BOX_LOG", (dir / "boxes.log").c_str());
  const struct {
    const char* title;
    MessageBoxStyle style;
    const char* text;
    const char* line;
  } cases[] = {
      {"Talhaz", MessageBoxStyle::Ok, "Plain text", "Talhaz\t0\tPlain text\n"},
      {"Error 53", MessageBoxStyle::Critical, "one\ntwo", "Error 53\t16\tone\\ntwo\n"},
      {"Caution", MessageBoxStyle::Exclamation, "one\r\ntwo\r\n", "Caution\t48\tone\\ntwo\\n\n"},
      {"two\nlines", MessageBoxStyle::Ok, "", "two\\nlines\t0\t\n"},
  };
  std::string expected;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    platform::ShowMessageBox(c.text, c.style, c.title);
    expected += c.line;
    EXPECT_EQ(ReadBytes(dir / "boxes.log"), expected);
  }
}

TEST(MessageBoxFallback, StandardErrorWhenNoWindowSystemOrNoWritableLog) {
  TempDir dir;
  mkdir((dir / "folder").c_str(), 0755);
  const std::string missing = dir / "missing/boxes.log", folder = dir / "folder";
  const char* logs[] = {nullptr, "", missing.c_str(), folder.c_str()};
  for (const char* logPath : logs) {
    SCOPED_TRACE(logPath != nullptr ? logPath : "(unset)");
    ScopedEnvironment log("MESSAGE_BOX_LOG", logPath);
    testing::internal::CaptureStderr();
    platform::ShowMessageBox("line one\nline two", MessageBoxStyle::Critical, "Title");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Title: line one\nline two\n");
  }
}

TEST(MessageBoxWindow, WidgetApplicationShowsAModalBoxWithTheStyleIcon) {
  ScopedEnvironment platform("QT_QPA_PLATFORM", "offscreen");
  ScopedEnvironment log("MESSAGE_BOX_LOG", nullptr);
  EXPECT_FALSE(platform::HasWindowSystem());
  int argc = 1;
  char name[] = "desktop_test";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  ASSERT_TRUE(platform::HasWindowSystem());
  const struct {
    MessageBoxStyle style;
    QMessageBox::Icon icon;
  } cases[] = {
      {MessageBoxStyle::Ok, QMessageBox::NoIcon},
      {MessageBoxStyle::Critical, QMessageBox::Critical},
      {MessageBoxStyle::Exclamation, QMessageBox::Warning},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.style));
    QString seen;  // icon, title, text and buttons of the box shown
    QTimer::singleShot(0, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        seen = QString("%1|%2|%3|%4").arg(box->icon()).arg(box->windowTitle(), box->text())
                   .arg(box->standardButtons());
        box->button(QMessageBox::Ok)->click();
      }
    });
    platform::ShowMessageBox("first <b>line</b>\r\nsecond", c.style, "Title");
    EXPECT_EQ(seen.toStdString(),
              std::to_string(c.icon) + "|Title|first <b>line</b>\nsecond|" +
                  std::to_string(QMessageBox::Ok));
  }
}

// A fake opener alone on PATH; its script keeps the system's tools.
class DesktopShell : public ::testing::Test {
 protected:
  DesktopShell() { mkdir(bin.c_str(), 0755); }

  void InstallOpener(const std::string& body, mode_t mode = 0755) {
    WriteBytes(bin + "/xdg-open", "#!/bin/sh\nPATH=/usr/bin:/bin\nD='" + dir.path() + "'\n" + body);
    SetMode(bin + "/xdg-open", mode);
  }

  TempDir dir;
  const std::string bin = dir / "bin";
  ScopedEnvironment path{"PATH", bin.c_str()};
};

TEST_F(DesktopShell, PassesTheTargetAsExactlyOneArgument) {
  InstallOpener("printf '%s\\n%s' \"$#\" \"$1\" > \"$D/tmp\"; mv \"$D/tmp\" \"$D/record\"\n");
  const std::string targets[] = {
      "https://vellumark.example/", dir / "a file with spaces.txt",
      "it's \"quoted\"; touch x", "$(touch x)", "-rf", "*",
  };
  for (const std::string& target : targets) {
    SCOPED_TRACE(target);
    platform::OpenWithDesktop(target);
    ASSERT_TRUE(WaitForFile(dir / "record"));
    EXPECT_EQ(ReadBytes(dir / "record"), "1\n" + target);
    unlink((dir / "record").c_str());
  }
}

TEST_F(DesktopShell, OpenerRunsDetachedWithOnlyTheStandardStreams) {
  const int inheritable = fcntl(open("/dev/null", O_RDONLY | O_CLOEXEC), F_DUPFD, 50);
  ASSERT_GE(inheritable, 50);
  InstallOpener("[ -e /proc/$$/fd/" + std::to_string(inheritable) + " ] && s=leaked || s=closed\n"
                "echo \"$$ $s\" > \"$D/tmp\"; mv \"$D/tmp\" \"$D/started\"\n"
                "while [ ! -e \"$D/release\" ]; do sleep 0.02; done; touch \"$D/finished\"\n");
  platform::OpenWithDesktop("x");
  ASSERT_TRUE(WaitForFile(dir / "started"));
  EXPECT_NE(access((dir / "finished").c_str(), F_OK), 0) << "the caller waited for the opener";
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "a child of the caller is left behind";
  pid_t opener = 0;
  std::string descriptor;
  std::istringstream(ReadBytes(dir / "started")) >> opener >> descriptor;
  EXPECT_EQ(getsid(opener), opener) << "the opener is not in a session of its own";
  EXPECT_EQ(descriptor, "closed");
  EXPECT_EQ(fcntl(inheritable, F_GETFD), 0) << "the caller's descriptor was changed";
  close(inheritable);
  WriteBytes(dir / "release", "");
  EXPECT_TRUE(WaitForFile(dir / "finished"));
}

TEST_F(DesktopShell, OpenerThatCannotStartRaisesARuntimeError) {
  const struct {
    const char* name;
    mode_t mode;  // 0: none installed
    int number;
  } cases[] = {{"no opener on the path", 0, 53}, {"opener not executable", 0644, 70}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.mode != 0) InstallOpener("exit 0\n", c.mode);
    const int descriptors = OpenDescriptorCount();
    try {
      platform::OpenWithDesktop("https://vellumark.example/");
      ADD_FAILURE() << "no error raised";
    } catch (const platform::RuntimeError& error) {
      EXPECT_EQ(error.number(), c.number);
      EXPECT_EQ(error.path(), "xdg-open");
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
  }
  EXPECT_EQ(ErrorNumberOf([] { platform::OpenWithDesktop(std::string("a\0b", 3)); }), 52);
}

}  // namespace
