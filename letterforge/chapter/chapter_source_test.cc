#include "letterforge/chapter/chapter_source.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "letterforge/chapter/chapter_test_support.h"
#include "platform/archive_testing.h"

namespace letterforge {
namespace {

namespace fs = std::filesystem;
using platform::ArchiveFormat;
using platform::testing::StoredMember;
using platform::testing::storedRar;
using platform::testing::storedZip;
using testing::archiveBytes;
using testing::ChapterFolderTest;
using testing::fileContents;
using testing::TestMember;

const std::vector<TestMember> kChapter = {
    {"10.png", "p10"}, {"2.png", "p2"}, {"1.png", "p1"},
    {"1.ocr.json", "o1"}, {"1.translation.json", "t1"}, {"2.ocr.json", "o2"},
    {"2.translation.json", "t2"}, {"10.ocr.json", "o10"}, {"10.translation.json", "t10"},
    {"ComicInfo.xml", "<ComicInfo/>"}, {"__MACOSX/._1.png", "mac"}, {".DS_Store", "ds"},
    {"notes.txt", "n"}};

std::vector<StoredMember> stored(const std::vector<TestMember>& members) {
  std::vector<StoredMember> out;
  for (const TestMember& m : members) out.push_back({.name = m.name, .data = m.data});
  return out;
}

enum class Kind { kArchive, kRar, kFolder };
struct KindCase {
  const char* name;
  Kind kind;
  ArchiveFormat format;
  const char* file;
};
class ChapterKindTest : public ChapterFolderTest, public ::testing::WithParamInterface<KindCase> {
 protected:
  std::string make(const KindCase& c) const {
    if (c.kind == Kind::kRar) return write(c.file, storedRar(stored(kChapter)));
    if (c.kind == Kind::kArchive) return write(c.file, archiveBytes(c.format, kChapter));
    for (const TestMember& m : kChapter) write(std::string(c.file) + "/" + m.name, m.data);
    return (root_ / c.file).string();
  }
};

TEST_P(ChapterKindTest, PagesComeInNaturalOrderWithTheirPayloads) {
  const KindCase& c = GetParam();
  const std::string path = make(c);
  std::string failure;
  const auto chapter = openChapter(path, "", ArchiveLimits{}, failure);
  ASSERT_TRUE(chapter) << failure;
  const std::string prefix = c.kind == Kind::kFolder ? path + "/" : path + ":";
  std::vector<std::string> names;
  for (const ChapterPage& page : chapter->pages) {
    names.push_back(page.name);
    const std::string stem = page.name.substr(0, page.name.size() - 4);
    EXPECT_EQ(fileContents(page.image.path), "p" + stem);
    EXPECT_EQ(fileContents(page.ocr.path), "o" + stem);
    EXPECT_EQ(fileContents(page.translation.path), "t" + stem);
    EXPECT_EQ(page.image.label, prefix + page.name);
    EXPECT_EQ(page.translation.label, prefix + stem + ".translation.json");
  }
  EXPECT_EQ(names, (std::vector<std::string>{"1.png", "2.png", "10.png"}));
  EXPECT_EQ(fileContents(chapter->comicInfo.path), "<ComicInfo/>");
}

INSTANTIATE_TEST_SUITE_P(Kinds, ChapterKindTest, ::testing::Values(
    KindCase{"CbzStored", Kind::kArchive, ArchiveFormat::kZipStored, "chapter.cbz"},
    KindCase{"ZipDeflated", Kind::kArchive, ArchiveFormat::kZipDeflated, "chapter.zip"},
    KindCase{"Cb7", Kind::kArchive, ArchiveFormat::kSevenZip, "chapter.cb7"},
    KindCase{"Tar", Kind::kArchive, ArchiveFormat::kTar, "chapter.tar"},
    KindCase{"TarGzip", Kind::kArchive, ArchiveFormat::kTarGzip, "chapter.tar.gz"},
    KindCase{"Cbr", Kind::kRar, ArchiveFormat::kZipStored, "chapter.cbr"},
    KindCase{"CbrThatIsAZip", Kind::kArchive, ArchiveFormat::kZipDeflated, "chapter.cbr"},
    KindCase{"Folder", Kind::kFolder, ArchiveFormat::kZipStored, "chapter"}),
    [](const auto& info) { return std::string(info.param.name); });

class ChapterSourceTest : public ChapterFolderTest {};

TEST_F(ChapterSourceTest, PayloadFolderIsLookedInFirstWithThePagesSubfolders) {
  const std::string archive = write("chapter.cbz", archiveBytes(ArchiveFormat::kZipStored, {
      {"ch1/1.png", "p1"}, {"ch1/1.ocr.json", "inside"}, {"ch1/2.png", "p2"}}));
  const std::string ocr = write("payloads/ch1/1.ocr.json", "outside");
  write("payloads/ch1/1.translation.json", "t1");
  std::string failure;
  const auto chapter = openChapter(archive, (root_ / "payloads").string(), ArchiveLimits{}, failure);
  ASSERT_TRUE(chapter) << failure;
  ASSERT_EQ(chapter->pages.size(), 2u);
  EXPECT_EQ(chapter->pages[0].ocr, (ChapterFile{.path = ocr, .label = ocr}));
  EXPECT_EQ(fileContents(chapter->pages[0].ocr.path), "outside");
  EXPECT_EQ(chapter->pages[1].ocr, ChapterFile{});  // a page without payloads is still a page
  EXPECT_EQ(chapter->pages[1].translation, ChapterFile{});
}

TEST_F(ChapterSourceTest, UnpackedFilesGoWithTheChapterAndWithARefusal) {
  const std::string unpackInto = (root_ / "tmp").string();
  fs::create_directories(unpackInto);
  setenv("TMPDIR", unpackInto.c_str(), 1);
  const std::string good = write("good.cbz", archiveBytes(ArchiveFormat::kZipStored, kChapter));
  const std::string bad = write("bad.cbz", archiveBytes(ArchiveFormat::kZipStored, {
      {"1.png", "p1"}, {"1.ocr.json", "o"}, {"1.translation.json", "t"}, {"../2.png", "x"}}));
  std::string failure;
  {
    const auto chapter = openChapter(good, "", ArchiveLimits{}, failure);
    ASSERT_TRUE(chapter) << failure;
    EXPECT_FALSE(fs::is_empty(unpackInto));
    EXPECT_FALSE(openChapter(bad, "", ArchiveLimits{}, failure));
  }
  unsetenv("TMPDIR");
  EXPECT_TRUE(fs::is_empty(unpackInto));
  EXPECT_FALSE(fs::exists(root_ / "2.png"));
}

const std::vector<TestMember> kOnePage = {{"1.png", "p1"}, {"1.ocr.json", "o1"}, {"1.translation.json", "t1"}};

std::vector<TestMember> onePageAnd(std::vector<TestMember> more) {
  more.insert(more.begin(), kOnePage.begin(), kOnePage.end());
  return more;
}

std::string zipWith(std::vector<TestMember> more) {
  return archiveBytes(ArchiveFormat::kZipStored, onePageAnd(std::move(more)));
}

std::string symlinkTar() {
  std::string out;
  std::string failure;
  auto writer = platform::ArchiveWriter::open(ArchiveFormat::kTar, [&out](std::span<const std::uint8_t> b) {
    out.append(reinterpret_cast<const char*>(b.data()), b.size());
    return true;
  }, failure);
  writer->addSymbolicLink("2.png", "/etc/passwd", failure);
  writer->finish(failure);
  return out;
}

struct RefusalCase {
  const char* name;
  std::string bytes;
  std::string expected;  // after "<path>: "; a message ending in "..." is matched up to there
  ArchiveLimits limits{};
};
class ChapterRefusalTest : public ChapterFolderTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(ChapterRefusalTest, IsRefusedNamingTheArchiveAndTheMember) {
  const RefusalCase& c = GetParam();
  const std::string path = write("chapter.cbz", c.bytes);
  std::string failure;
  EXPECT_FALSE(openChapter(path, "", c.limits, failure));
  const std::string expected = path + ": " + c.expected;
  if (expected.ends_with("...")) {
    EXPECT_EQ(failure.substr(0, expected.size() - 3), expected.substr(0, expected.size() - 3));
  } else {
    EXPECT_EQ(failure, expected);
  }
}

std::string zeros(std::size_t n) { return std::string(n, '\0'); }

INSTANTIATE_TEST_SUITE_P(Hostile, ChapterRefusalTest, ::testing::Values(
    RefusalCase{"ClimbingOut", zipWith({{"../2.png", "x"}}),
                "../2.png: its name climbs out of the archive with \"..\""},
    RefusalCase{"ClimbingOutOfASubfolder", zipWith({{"ch1/../../2.png", "x"}}),
                "ch1/../../2.png: its name climbs out of the archive with \"..\""},
    RefusalCase{"AbsolutePath", storedZip(stored(onePageAnd({{"/etc/2.png", "x"}}))),
                "/etc/2.png: its name is an absolute path"},
    RefusalCase{"NameNotUtf8", storedZip(stored(onePageAnd({{"caf\xe9.png", "x"}}))),
                "caf\\xe9.png: its name is not UTF-8"},
    RefusalCase{"Link", symlinkTar(), "2.png: is a link; links in archives are not followed"},
    RefusalCase{"CaseTwins", zipWith({{"1.PNG", "x"}}), "1.png and 1.PNG differ only in letter case"},
    RefusalCase{"StoredTwice", storedZip(stored(onePageAnd({{"1.png", "again"}}))), "1.png is stored twice"},
    RefusalCase{"Encrypted", storedZip({StoredMember{.name = "1.png", .data = "p1", .flags = 1}}),
                "1.png: is encrypted; encrypted archives are not read"},
    RefusalCase{"Nested", zipWith({{"vol2.cbz", "PK"}}),
                "vol2.cbz: is an archive inside the archive; unpack it and give it on its own"},
    RefusalCase{"Empty", archiveBytes(ArchiveFormat::kZipStored, {}), "the archive is empty"},
    RefusalCase{"NoPage", archiveBytes(ArchiveFormat::kZipStored, {{"notes.txt", "n"}}),
                "holds no page image (.png, .jpg, .jpeg, .webp, .tif, .tiff, .gif)"},
    RefusalCase{"OnlyHiddenPages", archiveBytes(ArchiveFormat::kZipStored, {{"__MACOSX/._1.png", "x"}}),
                "holds no page image (.png, .jpg, .jpeg, .webp, .tif, .tiff, .gif)"},
    RefusalCase{"NoPayloads", archiveBytes(ArchiveFormat::kZipStored, {{"1.png", "p"}, {"1.ocr.json", "o"}}),
                "no page has its payloads, <page>.ocr.json and <page>.translation.json beside it"},
    RefusalCase{"NotAnArchive", "just some text, no archive at all\n", "not a comic archive: ..."},
    RefusalCase{"CutInAPage", storedZip(stored(onePageAnd({{"2.png", std::string(5000, 'x')}}))).substr(0, 200),
                "2.png: truncated or damaged: ..."},
    RefusalCase{"CutBetweenMembers", archiveBytes(ArchiveFormat::kTar, kOnePage).substr(0, 1024),
                "truncated or damaged after 1.png: the tar archive ends without its end-of-archive blocks"},
    RefusalCase{"BombDeclaredByItsHeader",
                archiveBytes(ArchiveFormat::kZipDeflated, onePageAnd({{"2.png", zeros(3 << 20)}})),
                "2.png: unpacks to more than 1 MiB, the most read of one member", ArchiveLimits{.memberBytes = 1 << 20}},
    RefusalCase{"SevenZipBomb",
                archiveBytes(ArchiveFormat::kSevenZip, onePageAnd({{"2.png", zeros(3 << 20)}})),
                "2.png: unpacks to more than 1 MiB, the most read of one member", ArchiveLimits{.memberBytes = 1 << 20}},
    RefusalCase{"BombUnderstatingItsSize",
                storedZip({StoredMember{.name = "1.png", .data = std::string(100000, 'x'), .declaredSize = 100}}),
                "1.png: unpacks to more than 64 KiB, the most read of one member", ArchiveLimits{.memberBytes = 64 << 10}},
    RefusalCase{"BombInALeftOutMember",
                archiveBytes(ArchiveFormat::kTarGzip, onePageAnd({{"notes.txt", zeros(3 << 20)}})),
                "notes.txt: unpacks to more than 1 MiB, the most read of one member", ArchiveLimits{.memberBytes = 1 << 20}},
    RefusalCase{"ManyMembersTogether",
                zipWith({{"2.png", zeros(400 << 10)}, {"3.png", zeros(400 << 10)}, {"4.png", zeros(400 << 10)}}),
                "4.png: the members unpack to more than 1 MiB in all, the most read from one archive",
                ArchiveLimits{.totalBytes = 1 << 20}},
    RefusalCase{"TooManyMembers", zipWith({{"a", ""}, {"b", ""}, {"c", ""}, {"d", ""}}),
                "holds more than 6 members, the most read from one archive", ArchiveLimits{.members = 6}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChapterSourceTest, FolderIsRefusedForTheSameNames) {
  write("chapter/1.png", "p1");
  write("chapter/1.PNG", "p1");
  write("chapter/1.ocr.json", "o");
  write("chapter/1.translation.json", "t");
  std::string failure;
  const std::string folder = (root_ / "chapter").string();
  EXPECT_FALSE(openChapter(folder, "", ArchiveLimits{}, failure));
  EXPECT_TRUE(failure == folder + ": 1.png and 1.PNG differ only in letter case" ||
              failure == folder + ": 1.PNG and 1.png differ only in letter case") << failure;
}

TEST_F(ChapterSourceTest, MissingChapterIsNamed) {
  std::string failure;
  const std::string path = (root_ / "none.cbz").string();
  EXPECT_FALSE(openChapter(path, "", ArchiveLimits{}, failure));
  EXPECT_EQ(failure, path + ": cannot be read: No such file or directory");
}

}  // namespace
}  // namespace letterforge
