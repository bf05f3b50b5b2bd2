// The child-process reader the tools and the tests drive programs with: what
// a line is at the edges (carriage returns, an unterminated last line, an
// endless line), deadlines, and the exit status a stop reports.
#include <gtest/gtest.h>

#include <string>
#include <sys/wait.h>
#include <vector>

#include "common/childprocess.h"
#include "base/platform.h"

namespace {

std::vector<std::string> shell(const std::string& script) { return {"/bin/sh", "-c", script}; }

}  // namespace

TEST(ChildProcess, ReadsEveryLineAsTheProgramWroteIt) {
  struct Case {
    const char* script;
    std::vector<std::string> lines;
  };
  const std::string longLine(1 << 16, 'x');
  const Case cases[] = {
      {"printf 'one\\ntwo\\n'", {"one", "two"}},
      // The reader keeps a carriage return: whether to drop it is the caller's call.
      {"printf 'crlf\\r\\n'", {"crlf\r"}},
      {"printf 'no newline at the end'", {"no newline at the end"}},
      {"printf '\\n\\n'", {"", ""}},
      // A line without end is cut into pieces instead of being held whole.
      {"head -c 65546 /dev/zero | tr '\\0' x", {longLine, "xxxxxxxxxx"}},
  };
  for (const Case& c : cases) {
    ChildProcess child;
    std::string error;
    ASSERT_TRUE(startChild(child, shell(c.script), GROUP_SHARED, error)) << error;
    std::vector<std::string> lines;
    std::string line;
    while (readLine(child, line, nowMs() + 10000) == READ_LINE) lines.push_back(line);
    EXPECT_EQ(lines, c.lines) << c.script;
    EXPECT_EQ(readLine(child, line, nowMs() + 10000), READ_CLOSED) << c.script;
  }
}

TEST(ChildProcess, DeadlinesAndExitStatus) {
  ChildProcess child;
  std::string error;
  ASSERT_TRUE(startChild(child, shell("read line; echo \"got $line\"; exit 3"), GROUP_SHARED, error)) << error;
  std::string line;
  int64_t start = nowMs();
  EXPECT_EQ(readLine(child, line, start + 100), READ_TIMEOUT);
  EXPECT_GE(nowMs() - start, 100);
  ASSERT_TRUE(writeLine(child, "ping"));
  ASSERT_EQ(readLine(child, line, nowMs() + 10000), READ_LINE);
  EXPECT_EQ(line, "got ping");
  const int status = stopChild(child, 10000);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;
  EXPECT_FALSE(writeLine(child, "after the stop"));

  // A child that ignores the end of its input is killed after the grace
  // period, and the stop says so.
  ASSERT_TRUE(startChild(child, shell("while :; do sleep 1; done"), GROUP_OWN, error)) << error;
  start = nowMs();
  EXPECT_EQ(stopChild(child, 200), -1);
  EXPECT_LT(nowMs() - start, 5000);
  // A program that cannot be executed starts, prints nothing and exits with 127.
  ASSERT_TRUE(startChild(child, {"/nonexistent/program"}, GROUP_SHARED, error)) << error;
  EXPECT_EQ(readLine(child, line, nowMs() + 10000), READ_CLOSED);
  ASSERT_TRUE(waitForExit(child, nowMs() + 10000));
  const int failed = reapChild(child);
  EXPECT_TRUE(WIFEXITED(failed) && WEXITSTATUS(failed) == 127) << failed;
}
