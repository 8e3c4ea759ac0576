#include <platform/desktop_shell.h>
#include <platform/message_box.h>
#include <platform/runtime_error.h>

#include "test_files.h"

#include <gtest/gtest.h>

#include <QtWidgets>

#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace testing_support;
using platform::MessageBoxAnswer;
using platform::MessageBoxStyle;

// The log takes one line per box, appended; the other fields and the usual
// styles are seen in every window test's exact lines.
TEST(MessageBoxLog, LineBreaksAreEscapedInTheTextAndTheTitle) {
  TempDir dir;
  ScopedEnvironment log("MESSAGE_BOX_LOG", (dir / "boxes.log").c_str());
  platform::ShowMessageBox("one\r\ntwo\r\n", MessageBoxStyle::Exclamation, "Caution");
  platform::ShowMessageBox("", MessageBoxStyle::Ok, "two\nlines");
  EXPECT_EQ(ReadBytes(dir / "boxes.log"), "Caution\t48\tone\\ntwo\\n\ntwo\\nlines\t0\t\n");
}

// Without a window system, and with no log to write, the box goes to stderr.
TEST(MessageBoxLog, StandardErrorWhenNoLogCanBeWritten) {
  TempDir dir;
  mkdir((dir / "folder").c_str(), 0755);
  for (const std::string& logPath :
       {std::string("(unset)"), std::string(), dir / "missing/boxes.log", dir / "folder"}) {
    SCOPED_TRACE(logPath);
    ScopedEnvironment log("MESSAGE_BOX_LOG", logPath == "(unset)" ? nullptr : logPath.c_str());
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
  char name[] = "desktop_test", *argv[] = {name, nullptr};
  QApplication app(argc, argv);
  ASSERT_TRUE(platform::HasWindowSystem());
  using Box = QMessageBox;
  // The style; the icon and buttons shown; Yes clicked, else Enter pressed; the answer.
  for (const auto& [style, icon, buttons, yes, answer] : std::initializer_list<
           std::tuple<MessageBoxStyle, Box::Icon, int, bool, MessageBoxAnswer>>{
           {MessageBoxStyle::Ok, Box::NoIcon, Box::Ok, false, MessageBoxAnswer::Ok},
           {MessageBoxStyle::Critical, Box::Critical, Box::Ok, false, MessageBoxAnswer::Ok},
           {MessageBoxStyle::Exclamation, Box::Warning, Box::Ok, false, MessageBoxAnswer::Ok},
           {MessageBoxStyle::YesNoQuestion, Box::Question, Box::Yes | Box::No, true, MessageBoxAnswer::Yes},
           {MessageBoxStyle::YesNoQuestion, Box::Question, Box::Yes | Box::No, false, MessageBoxAnswer::No}}) {
    SCOPED_TRACE(static_cast<int>(style));
    QString seen;  // icon, title, text and buttons of the box shown
    QTimer::singleShot(0, [&, yes = yes] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        seen = QString("%1|%2|%3|%4").arg(box->icon()).arg(box->windowTitle(), box->text())
                   .arg(box->standardButtons());
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        yes ? box->button(Box::Yes)->click() : (void)QApplication::sendEvent(box, &enter);
      }
    });
    EXPECT_EQ(platform::ShowMessageBox("first <b>line</b>\r\nsecond", style, "Title"), answer);
    EXPECT_EQ(seen.toStdString(),
              std::to_string(icon) + "|Title|first <b>line</b>\nsecond|" + std::to_string(buttons));
  }
}

// A fake opener alone on PATH (when one is written).
class DesktopShell : public ::testing::Test {
 protected:
  TempDir dir;
  ScopedEnvironment path{"PATH", (dir / "bin").c_str()};
};

TEST_F(DesktopShell, PassesTheTargetAsExactlyOneArgument) {
  WriteFakeOpener(dir.path());
  for (const std::string target : {"a file with spaces.txt", "it's \"quoted\"; $(touch x) *", "-rf"}) {
    SCOPED_TRACE(target);
    platform::OpenWithDesktop(target);
    ASSERT_TRUE(WaitForFile(dir / "opened"));
    EXPECT_EQ(ReadBytes(dir / "opened"), "1\n" + target);
    unlink((dir / "opened").c_str());
  }
}

TEST_F(DesktopShell, OpenerRunsDetachedWithOnlyTheStandardStreams) {
  const int inheritable = fcntl(open("/dev/null", O_RDONLY | O_CLOEXEC), F_DUPFD, 50);
  ASSERT_GE(inheritable, 50);
  WriteFakeOpener(dir.path(),
                  "[ -e /proc/$$/fd/" + std::to_string(inheritable) + " ] && s=leaked || s=closed\n"
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
  for (const auto& [mode, number] : {std::pair<mode_t, int>{0, 53}, {0644, 70}}) {  // 0: no opener
    SCOPED_TRACE(number);
    if (mode != 0) WriteFakeOpener(dir.path(), {}, mode);
    const int descriptors = OpenDescriptorCount();
    try {
      platform::OpenWithDesktop("https://vellumark.example/");
      ADD_FAILURE() << "no error raised";
    } catch (const platform::RuntimeError& error) {
      EXPECT_EQ(error.number(), number);
      EXPECT_EQ(error.path(), "xdg-open");
    }
    EXPECT_EQ(ErrorNumberOf([] { close(platform::OpenWithDesktopWatched("x")); }), number);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
  }
  EXPECT_EQ(ErrorNumberOf([] { platform::OpenWithDesktop(std::string("a\0b", 3)); }), 52);
}

// Watched, the opener is the child of a watcher that holds none of the
// caller's descriptors (else it exits 9 here) and that tells its exit status
// once it has ended, or nothing when it was killed.
TEST_F(DesktopShell, AWatchedOpenerTellsHowItEnded) {
  const int inheritable = fcntl(open("/dev/null", O_RDONLY | O_CLOEXEC), F_DUPFD, 50);
  for (const auto& [end, status] : {std::pair<std::string, std::optional<int>>{"exit 3", 3}, {"kill -KILL $$", {}}}) {
    SCOPED_TRACE(end);
    WriteFakeOpener(dir.path(), "[ -e /proc/$PPID/fd/" + std::to_string(inheritable) + " ] && exit 9\n" +
                                    "while [ ! -e \"$D/release\" ]; do sleep 0.02; done; " + end + "\n");
    const int answer = platform::OpenWithDesktopWatched("x");
    pollfd told{answer, POLLIN, 0};
    EXPECT_EQ(poll(&told, 1, 100), 0) << "an answer before the opener ended";
    WriteBytes(dir / "release", "");
    EXPECT_EQ(poll(&told, 1, 5000), 1);
    EXPECT_EQ(platform::OpenerExitStatus(answer), status);
    close(answer);
    unlink((dir / "release").c_str());
  }
  close(inheritable);
}

}  // namespace
