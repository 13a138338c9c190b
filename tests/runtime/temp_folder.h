// A fresh folder per test for the settings-file and whole-file suites.
#pragma once

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace veltra::runtime {

namespace fs = std::filesystem;

class TempFolder : public ::testing::Test {
protected:
  void SetUp() override {
    std::random_device oSeed;
    m_path = fs::temp_directory_path() / ("veltra-profile-" + std::to_string(oSeed()));
    ASSERT_TRUE(fs::create_directory(m_path));
  }
  void TearDown() override {
    std::error_code oIgnored;
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, oIgnored);
    fs::remove_all(m_path, oIgnored);
  }
  std::string Path(const std::string& cName) const { return (m_path / cName).string(); }
  void Write(const std::string& cName, const std::string& cData) const {
    std::ofstream(Path(cName), std::ios::binary) << cData;
  }
  std::string Read(const std::string& cName) const {
    std::ifstream in(Path(cName), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::size_t FilesInFolder() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(m_path), fs::directory_iterator()));
  }
  fs::path m_path;
};

} // namespace veltra::runtime
