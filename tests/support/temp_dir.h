// A folder made fresh for a test, its files written and read by name, and removed with its
// contents when the object goes; TempDirTest gives each case of a suite its own. Header only
// and portable: the runtime suites use it under Wine too, where the rest of tests/support is
// not built.
#pragma once

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

namespace veltra::test {

class TempDir {
public:
  // A new folder "veltra-<number>" in oParent (by default the system's temporary folder).
  explicit TempDir(const std::filesystem::path& oParent = std::filesystem::temp_directory_path()) {
    std::random_device oSeed;
    // create_directory is false for a name that exists: the folder is this object's alone.
    for (int i = 0; i < 100 && m_oPath.empty(); ++i) {
      const auto oPath = oParent / ("veltra-" + std::to_string(oSeed()));
      std::error_code oEc;
      if (std::filesystem::create_directory(oPath, oEc)) {
        m_oPath = oPath;
      }
    }
    EXPECT_FALSE(m_oPath.empty()) << "no temporary folder could be made in " << oParent;
  }
  ~TempDir() {
    if (m_oPath.empty()) {
      return;
    }
    // A case may have taken the owner's rights away to see a refusal; give them back first.
    std::error_code oIgnored;
    std::filesystem::permissions(m_oPath, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, oIgnored);
    std::filesystem::remove_all(m_oPath, oIgnored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return m_oPath; }
  std::string Str() const { return m_oPath.string(); }
  std::filesystem::path operator/(const std::string& cName) const { return m_oPath / cName; }
  // cName in the folder, and that file written or read whole, byte for byte.
  std::string Path(const std::string& cName) const { return (m_oPath / cName).string(); }
  void Write(const std::string& cName, const std::string& cData) const {
    std::ofstream(m_oPath / cName, std::ios::binary) << cData;
  }
  std::string Read(const std::string& cName) const {
    std::ifstream in(m_oPath / cName, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::size_t FilesInFolder() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(m_oPath),
                                                  std::filesystem::directory_iterator()));
  }

private:
  std::filesystem::path m_oPath;
};

// A fresh folder for each case of a suite.
class TempDirTest : public ::testing::Test, protected TempDir {};

} // namespace veltra::test
