// How folder, backup and parent paths are spelled.
#include <gtest/gtest.h>

#include "filedeal/PathNames.h"

namespace norvik::filedeal {
namespace {

TEST(PathNames, TrailingSlashIsAddedOnceAndRemovedDownToTheRoot) {
    EXPECT_EQ(WithTrailingSlash("/a/b"), "/a/b/");
    EXPECT_EQ(WithTrailingSlash("/a/b/"), "/a/b/");
    EXPECT_EQ(WithTrailingSlash(""), "");
    EXPECT_EQ(WithoutTrailingSlash("/a/b//"), "/a/b");
    EXPECT_EQ(WithoutTrailingSlash("///"), "/");
    EXPECT_EQ(WithoutTrailingSlash(""), "");
    EXPECT_TRUE(IsFolderPath("a/"));
    EXPECT_FALSE(IsFolderPath("a"));
    EXPECT_FALSE(IsFolderPath(""));
}

TEST(PathNames, ParentFolderEndsWithASlash) {
    EXPECT_EQ(ParentFolderOf("/a/b/"), "/a/");
    EXPECT_EQ(ParentFolderOf("/a/b"), "/a/");
    EXPECT_EQ(ParentFolderOf("/a"), "/");
    EXPECT_EQ(ParentFolderOf("//"), "/");
    EXPECT_EQ(ParentFolderOf(""), "/");
    EXPECT_EQ(ParentFolderOf("name.txt"), "./");
    EXPECT_EQ(ParentFolderOf("rel/name.txt.bak"), "rel/");
    EXPECT_EQ(BackupPathOf("rel/name.txt"), "rel/name.txt.bak");
}

} // namespace
} // namespace norvik::filedeal
