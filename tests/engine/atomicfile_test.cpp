#include "atomicfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "support/files.h"

using testsupport::ReadText;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

unsigned ModeOf(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

}  // namespace

TEST(AtomicFile, TargetChangesOnlyAtCommitAndNothingElseRemains) {
    TempDir dir;
    const std::string target = dir / "book.jad";
    WriteFile(target, "old");
    {
        AtomicFile file(target);
        ASSERT_TRUE(file.ok());
        ASSERT_TRUE(file.Write("new "));
        ASSERT_TRUE(file.Write("text"));
        EXPECT_EQ(ReadText(target), "old");
        EXPECT_EQ(dir.Entries().size(), 2u);
        ASSERT_TRUE(file.Commit());
        EXPECT_FALSE(file.Commit()) << "a committed file is gone";
    }
    EXPECT_EQ(ReadText(target), "new text");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"book.jad"});

    {
        AtomicFile dropped(target);
        ASSERT_TRUE(dropped.Write("never seen"));
    }
    AtomicFile discarded(target);
    ASSERT_TRUE(discarded.Write("never seen either"));
    discarded.Discard();
    EXPECT_FALSE(discarded.Commit());
    EXPECT_EQ(ReadText(target), "new text");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"book.jad"});
}

// Writers that open the temporary file by name (the zip writer does, and replaces it with a
// file of its own on closing) still give the target the replaced file's mode.
TEST(AtomicFile, WriterByNameKeepsTheReplacedFilesMode) {
    TempDir dir;
    const std::string target = dir / "book.jar";
    WriteFile(target, "old");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    AtomicFile file(target);
    ASSERT_TRUE(file.ok());
    const std::string own = file.temp() + ".own";
    WriteFile(own, "archive");
    ASSERT_EQ(std::rename(own.c_str(), file.temp().c_str()), 0);
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(ReadText(target), "archive");
    EXPECT_EQ(ModeOf(target), 0640u);
}

TEST(AtomicFile, RefusesWhatCannotBeReplaced) {
    TempDir dir;
    for (const std::string& target : {std::string(), dir.path(), dir / "missing/folder/file"}) {
        AtomicFile file(target);
        EXPECT_FALSE(file.ok()) << target;
        EXPECT_FALSE(file.Error().empty()) << target;
        EXPECT_FALSE(file.Write("x")) << target;
        EXPECT_FALSE(file.Commit()) << target;
    }
    EXPECT_TRUE(dir.Entries().empty());
}
