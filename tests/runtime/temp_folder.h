// A fresh folder per test for the settings-file and whole-file suites, with its files read and
// written by name.
#pragma once

#include "tests/support/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace veltra::runtime {

namespace fs = std::filesystem;

class TempFolder : public ::testing::Test {
protected:
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
  veltra::test::TempDir m_oDir;
  const fs::path& m_path = m_oDir.Path();
};

} // namespace veltra::runtime
