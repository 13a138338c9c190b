// The real veltra program, end to end: a private X server with a window manager, the device
// emulator on a pseudo-terminal, the file chooser answered by typing as a person would.
#include "tests/e2e/harness.h"

#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace veltra::e2e {
namespace {

const char* const kChooser = "Seleziona immagine da inviare";
const char* const kDialog = "115200,N,8,2";

class EndToEnd : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    s_pDisplay = new Display;
    if (!s_pDisplay->Start()) {
      delete s_pDisplay;
      s_pDisplay = nullptr;
    }
  }
  static void TearDownTestSuite() {
    if (s_pDisplay != nullptr) {
      s_pDisplay->Stop();
      delete s_pDisplay;
      s_pDisplay = nullptr;
    }
  }
  void SetUp() override {
    if (s_pDisplay == nullptr) {
      GTEST_SKIP() << "Xvfb, openbox or xdotool missing: run scripts/deps";
    }
    m_cDir = TempFolder();
    ASSERT_FALSE(m_cDir.empty());
  }
  void TearDown() override {
    m_veltra.Kill();
    m_device.Kill();
    if (!m_cDir.empty()) {
      std::filesystem::remove_all(m_cDir);
    }
  }

  const Display& Screen() const { return *s_pDisplay; }

  // Starts the device emulator on a new pseudo-terminal; the path VELTRA is to open.
  std::string StartDevice(const std::vector<std::string>& aArgs) {
    std::vector<std::string> a{DevicePath(), "--pty"};
    a.insert(a.end(), aArgs.begin(), aArgs.end());
    m_device = Child(a, {});
    const auto cPath = m_device.ReadLine(10s);
    return cPath.value_or("");
  }

  void WriteSettings(const std::string& cPort) {
    WriteFile(m_cDir + "/VELTRA.INI", "[Impostazioni]\nPorta=" + cPort + "\n");
  }

  std::string WriteImage(const std::string& cName, const std::string& cData) {
    WriteFile(m_cDir + "/" + cName, cData);
    return m_cDir + "/" + cName;
  }

  void StartVeltra(const std::vector<std::string>& aPrefix = {}) {
    std::vector<std::string> a = aPrefix;
    a.push_back(VeltraPath());
    m_veltra = Child(a, Screen().Env(), m_cDir);
    ASSERT_TRUE(m_veltra.Started());
  }

  // Answers the file chooser with a path typed into it, as a person would.
  void ChooseImage(const std::string& cPath) {
    const auto cWindow = WaitWindow(Screen(), kChooser);
    ASSERT_TRUE(cWindow.has_value()) << "no file chooser; veltra said: " << m_veltra.Err();
    ASSERT_TRUE(TypeInto(Screen(), *cWindow, cPath));
  }

  std::string DeviceSummary() {
    const std::string& c = m_device.Out();
    const auto n = c.rfind("veltra-device:");
    return n == std::string::npos ? c : c.substr(n);
  }

  static Display* s_pDisplay;
  std::string m_cDir;
  Child m_device;
  Child m_veltra;
};

Display* EndToEnd::s_pDisplay = nullptr;

TEST_F(EndToEnd, WholeDiskIsSentByteExactAndEndClosesTheProgram) {
  const std::string cImage = WriteImage("disk.mgt", PatternImage(819200));
  const std::string cPort = StartDevice({"--expect", cImage});
  ASSERT_FALSE(cPort.empty());
  WriteSettings(cPort);
  StartVeltra();
  ChooseImage(cImage);
  ASSERT_TRUE(WaitWindow(Screen(), kDialog).has_value());
  const auto nDevice = m_device.Wait(120s);
  ASSERT_TRUE(nDevice.has_value()) << "device still waiting";
  EXPECT_EQ(*nDevice, 0) << m_device.Out() << m_device.Err();
  EXPECT_NE(DeviceSummary().find("blocks 160, bytes 819200, errors 0"), std::string::npos)
      << DeviceSummary();
  EXPECT_EQ(m_veltra.Wait(20s), std::optional<int>(0)) << m_veltra.Err();
}

} // namespace
} // namespace veltra::e2e
