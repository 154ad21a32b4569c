// A program that exits ends its decoder processes: none may outlive it, busy or idle.
#include "TestData.h"
#include "image/ImageLoading.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vantrel {
namespace {

// The processes this one started that are still alive (zombies included until reaped).
std::vector<pid_t> Children() {
    std::vector<pid_t> children;
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) {
        return children;
    }
    while (const dirent* task = readdir(tasks)) {
        std::ifstream list(std::string("/proc/self/task/") + task->d_name + "/children");
        pid_t pid = 0;
        while (list >> pid) {
            children.push_back(pid);
        }
    }
    closedir(tasks);
    return children;
}

TEST(StopDecoders, EndsEveryHelperAndStartsNoMore) {
    ASSERT_TRUE(LoadImageFile(testing::Data("pattern.png")));
    const std::vector<pid_t> helpers = Children();
    ASSERT_FALSE(helpers.empty());

    StopDecoders();
    for (const pid_t pid : helpers) {
        EXPECT_NE(kill(pid, 0), 0) << "helper " << pid << " outlived StopDecoders";
    }
    EXPECT_TRUE(Children().empty());

    const Result<BitmapHandle> late = LoadImageFile(testing::Data("pattern.png"));
    EXPECT_FALSE(late);
    EXPECT_NE(late.error().find("closing"), std::string::npos) << late.error();
}

} // namespace
} // namespace vantrel
