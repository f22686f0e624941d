#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/archive_reader.h"
#include "platform/archive_testing.h"
#include "platform/archive_writer.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testing::StoredMember;
using testing::storedRar;
using testing::storedZip;

struct Member {
  std::string name;
  std::string data;
  bool operator==(const Member&) const = default;
};

std::span<const std::uint8_t> bytesOf(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string written(ArchiveFormat format, const std::vector<Member>& members) {
  std::string out;
  std::string failure;
  auto writer = ArchiveWriter::open(format, [&out](std::span<const std::uint8_t> bytes) {
    out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return true;
  }, failure);
  EXPECT_TRUE(writer) << failure;
  for (const Member& m : members) EXPECT_TRUE(writer->addFile(m.name, bytesOf(m.data), failure)) << failure;
  EXPECT_TRUE(writer->finish(failure)) << failure;
  return out;
}

class ArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/lf-archive-XXXXXX";
    root_ = mkdtemp(pattern);
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string file(const std::string& name, const std::string& bytes) {
    const fs::path path = root_ / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  // Every member with its data, in stored order; on a failure, what was read until then.
  static std::vector<Member> readAll(const std::string& path, std::string& failure) {
    std::vector<Member> members;
    auto reader = ArchiveReader::open(path, failure);
    if (!reader) return members;
    while (const auto header = reader->next(failure)) {
      Member m{.name = header->name, .data = {}};
      if (!reader->read([&m](std::span<const std::uint8_t> part) {
            m.data.append(reinterpret_cast<const char*>(part.data()), part.size());
            return true;
          }, failure)) {
        break;
      }
      members.push_back(m);
    }
    return members;
  }

  fs::path root_;
};

// Bytes that do not compress, so that an archive cut short is cut inside them.
std::string noise(std::size_t size) {
  std::string out(size, '\0');
  std::uint32_t state = 12345;
  for (char& c : out) c = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
  return out;
}

const std::vector<Member> kPages = {
    {"001.png", noise(5000)}, {"sub/010.png", "ten"}, {"café/ページ.json", "{}"}};

struct FormatCase {
  const char* name;
  ArchiveFormat format;
  const char* formatName;  // the start of what the reader calls it
};
class ArchiveRoundTripTest : public ArchiveTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(ArchiveRoundTripTest, MembersComeBackInOrderWithTheirNamesAndBytes) {
  const FormatCase& c = GetParam();
  const std::string path = file("chapter", written(c.format, kPages));
  std::string failure;
  EXPECT_EQ(readAll(path, failure), kPages);
  EXPECT_EQ(failure, "");
  auto reader = ArchiveReader::open(path, failure);
  ASSERT_TRUE(reader->next(failure));
  EXPECT_TRUE(reader->formatName().starts_with(c.formatName)) << reader->formatName();
}

INSTANTIATE_TEST_SUITE_P(Formats, ArchiveRoundTripTest, ::testing::Values(
    FormatCase{"ZipStored", ArchiveFormat::kZipStored, "ZIP"},
    FormatCase{"ZipDeflated", ArchiveFormat::kZipDeflated, "ZIP"},
    FormatCase{"SevenZip", ArchiveFormat::kSevenZip, "7-Zip"},
    FormatCase{"Tar", ArchiveFormat::kTar, "POSIX"},
    FormatCase{"TarGzip", ArchiveFormat::kTarGzip, "POSIX"}),
    [](const auto& info) { return std::string(info.param.name); });

std::vector<StoredMember> stored(const std::vector<Member>& members) {
  std::vector<StoredMember> out;
  for (const Member& m : members) out.push_back({.name = m.name, .data = m.data});
  return out;
}

TEST_F(ArchiveTest, StoredRarIsReadWhateverItsName) {
  const std::string path = file("chapter.zip", storedRar(stored(kPages)));
  std::string failure;
  EXPECT_EQ(readAll(path, failure), kPages);
  EXPECT_EQ(failure, "");
}

TEST_F(ArchiveTest, KindsOfMembersAreTold) {
  std::string out;
  std::string failure;
  auto writer = ArchiveWriter::open(ArchiveFormat::kTar, [&out](std::span<const std::uint8_t> b) {
    out.append(reinterpret_cast<const char*>(b.data()), b.size());
    return true;
  }, failure);
  ASSERT_TRUE(writer->addDirectory("pages/", failure));
  ASSERT_TRUE(writer->addSymbolicLink("pages/001.png", "/etc/passwd", failure));
  ASSERT_TRUE(writer->finish(failure));
  auto reader = ArchiveReader::open(file("links.tar", out), failure);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->next(failure)->kind, ArchiveMemberKind::kDirectory);
  EXPECT_EQ(reader->next(failure)->kind, ArchiveMemberKind::kLink);
  EXPECT_FALSE(reader->next(failure));
  EXPECT_EQ(failure, "");
}

TEST_F(ArchiveTest, DataBeyondAnUnderstatedSizeIsStillHandedOverThenRefused) {
  // The headers say 1,000 bytes; the member holds 100,000.
  const std::string path =
      file("bomb.zip", storedZip({{.name = "001.png", .data = std::string(100000, 'x'), .declaredSize = 1000}}));
  std::string failure;
  auto reader = ArchiveReader::open(path, failure);
  ASSERT_TRUE(reader) << failure;
  EXPECT_EQ(reader->next(failure)->size, 1000);
  std::size_t seen = 0;
  EXPECT_FALSE(reader->read([&seen](std::span<const std::uint8_t> part) {
    seen += part.size();
    return true;
  }, failure));
  EXPECT_GT(seen, 1000u);
  EXPECT_NE(failure, "");
}

TEST_F(ArchiveTest, SinkStopsTheReadingWithoutAFailure) {
  const std::string path = file("a.zip", written(ArchiveFormat::kZipDeflated, kPages));
  std::string failure;
  auto reader = ArchiveReader::open(path, failure);
  ASSERT_TRUE(reader->next(failure));
  EXPECT_FALSE(reader->read([](std::span<const std::uint8_t>) { return false; }, failure));
  EXPECT_EQ(failure, "");
}

TEST_F(ArchiveTest, EncryptedMemberIsToldAndItsDataRefused) {
  const std::string path = file("locked.zip", storedZip({{.name = "001.png", .data = "secret", .flags = 1}}));
  std::string failure;
  auto reader = ArchiveReader::open(path, failure);
  ASSERT_TRUE(reader) << failure;
  const auto header = reader->next(failure);
  ASSERT_TRUE(header) << failure;
  EXPECT_TRUE(header->encrypted);
  EXPECT_FALSE(reader->read([](std::span<const std::uint8_t>) { return true; }, failure));
  EXPECT_NE(failure, "");
}

TEST_F(ArchiveTest, NameThatIsNotUtf8ComesBackAsStored) {
  const std::string name = "caf\xe9.png";
  const std::string path = file("latin1.zip", storedZip({{.name = name, .data = "x"}}));
  std::string failure;
  auto reader = ArchiveReader::open(path, failure);
  const auto header = reader->next(failure);
  ASSERT_TRUE(header) << failure;
  EXPECT_TRUE(header->name == name || !header->nameConverted) << header->name;
}

struct RefusedCase {
  const char* name;
  std::string bytes;
};
class ArchiveRefusalTest : public ArchiveTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(ArchiveRefusalTest, ReadingEndsWithADescription) {
  const std::string path = file("refused", GetParam().bytes);
  std::string failure;
  const auto members = readAll(path, failure);
  EXPECT_NE(failure, "");
}

INSTANTIATE_TEST_SUITE_P(Damage, ArchiveRefusalTest, ::testing::Values(
    RefusedCase{"Empty", ""},
    RefusedCase{"Text", "hello, this is no archive at all\n"},
    RefusedCase{"ZipCutInItsData", written(ArchiveFormat::kZipDeflated, kPages).substr(0, 1000)},
    RefusedCase{"SevenZipCutShort", written(ArchiveFormat::kSevenZip, kPages).substr(0, 100)},
    RefusedCase{"TarGzipCutShort", written(ArchiveFormat::kTarGzip, kPages).substr(0, 60)},
    RefusedCase{"RarCutInItsData", storedRar(stored(kPages)).substr(0, 60)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ArchiveTest, DirectoryIsNoArchive) {
  std::string failure;
  EXPECT_FALSE(ArchiveReader::open(root_, failure));
  EXPECT_EQ(failure, "Is a directory");
}

}  // namespace
}  // namespace platform
