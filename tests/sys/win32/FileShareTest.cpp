// Sharing of the log file on Windows: while one line is appended, others may
// read the file but not write it, and a second appender waits its turn.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "TestSupport.h"
#include "sys/File.h"

namespace brnet::sys {
namespace {

HANDLE Open(const std::string& path, DWORD access) {
  return ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(Win32FileSharing, AppendingFileLetsReadersInAndKeepsWritersOut) {
  test::TempDir dir;
  const std::string path = dir / "l.log";
  test::WriteFile(path, "line\r\n");
  File held(path, FileMode::kAppend);

  HANDLE reader = Open(path, GENERIC_READ);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE) << "error " << ::GetLastError();
  char buf[16] = {};
  DWORD got = 0;
  EXPECT_TRUE(::ReadFile(reader, buf, sizeof buf, &got, nullptr));
  EXPECT_EQ(std::string(buf, got), "line\r\n");
  ::CloseHandle(reader);

  HANDLE writer = Open(path, GENERIC_WRITE);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  if (writer != INVALID_HANDLE_VALUE) ::CloseHandle(writer);

  held.Close();
  writer = Open(path, GENERIC_WRITE);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE) << "free again after the line";
  ::CloseHandle(writer);
}

// Another program writing the file holds the appender off until it lets go;
// the appender then gets the file instead of failing.
TEST(Win32FileSharing, AppenderWaitsWhileAnotherWriterHoldsTheFile) {
  test::TempDir dir;
  const std::string path = dir / "w.log";
  test::WriteFile(path, "");
  HANDLE other = Open(path, GENERIC_WRITE);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);

  std::atomic<bool> opened{false};
  std::string error;
  std::thread appender([&] {
    try {
      File file(path, FileMode::kAppend);
      opened = true;
      file.Write("after\r\n");
      file.Close();
    } catch (const std::exception& e) {
      error = e.what();
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(opened) << "opened while another writer held the file";
  ::CloseHandle(other);
  appender.join();
  EXPECT_TRUE(opened) << error;
  EXPECT_EQ(test::ReadFile(path), "after\r\n");
}

}  // namespace
}  // namespace brnet::sys
