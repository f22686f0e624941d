#pragma once

// Chapters made for tests: archives of any format the archive library writes, written to
// files in a folder that goes with the test.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/archive_reader.h"
#include "platform/archive_writer.h"

namespace letterforge::testing {

struct TestMember {
  std::string name{};
  std::string data{};
};

inline std::string archiveBytes(platform::ArchiveFormat format, const std::vector<TestMember>& members) {
  std::string out;
  std::string failure;
  auto writer = platform::ArchiveWriter::open(format, [&out](std::span<const std::uint8_t> bytes) {
    out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return true;
  }, failure);
  EXPECT_TRUE(writer) << failure;
  for (const TestMember& m : members) {
    const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(m.data.data()), m.data.size());
    EXPECT_TRUE(writer->addFile(m.name, data, failure)) << m.name << ": " << failure;
  }
  EXPECT_TRUE(writer->finish(failure)) << failure;
  return out;
}

// (name, data) of every member of an archive, in stored order.
inline std::vector<std::pair<std::string, std::string>> archiveMembers(const std::filesystem::path& path) {
  std::vector<std::pair<std::string, std::string>> members;
  std::string failure;
  auto reader = platform::ArchiveReader::open(path, failure);
  EXPECT_TRUE(reader) << failure;
  while (reader) {
    const auto header = reader->next(failure);
    if (!header) break;
    std::string data;
    reader->read([&data](std::span<const std::uint8_t> part) {
      data.append(reinterpret_cast<const char*>(part.data()), part.size());
      return true;
    }, failure);
    members.emplace_back(header->name, data);
  }
  EXPECT_EQ(failure, "");
  return members;
}

inline std::string fileContents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A folder of its own for each test, removed after it.
class ChapterFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/lf-chapter-test-XXXXXX";
    root_ = ::mkdtemp(pattern);
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  std::string write(const std::string& name, const std::string& bytes) const {
    const std::filesystem::path path = root_ / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }

  std::filesystem::path root_;
};

}  // namespace letterforge::testing
