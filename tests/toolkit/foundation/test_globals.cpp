#include "toolkit/foundation/NSGlobals.h"

#include <gtest/gtest.h>

#include <thread>

TEST(Globals, ServerUrlStartsAtLoopbackAndIsReplaced)
{
    EXPECT_EQ(NSUI::getServerUrl(), "127.0.0.1");
    std::thread writer([] { NSUI::setServerUrl("https://service.example/api"); });
    writer.join();
    EXPECT_EQ(NSUI::getServerUrl(), "https://service.example/api");
}
