// The library's end stops the storage server and every client, after which
// nothing more is reported and new work is refused.
#include <gtest/gtest.h>

#include <thread>

#include "support_dcm.h"
#include "support_net.h"

using namespace nettest;

TEST(NetDestroy, EndStopsServerAndClients) {
  recordMessages();
  dcmSDK::dcmServer server;
  uint16_t port = freePort();
  server.setPort("127.0.0.1", str(port).c_str(), "fernwick");
  server.setRoot(newDir("root").c_str());
  ASSERT_TRUE(server.BeginDicomServer());
  dcmSDK::dcmSender sender;
  dcmSDK::dcmGet get;
  dcmSDK::dcmEcho echo;
  std::string dir = newDir("many");
  dcmfixtures::writeSeries(dir, *dcmfixtures::findVariant("ct_ele"), 128, 128, 200);
  sender.setIP("127.0.0.1", str(port).c_str());
  ASSERT_TRUE(sender.send(1, dir.c_str()));
  ASSERT_TRUE(waitMessages([](auto& all) { return countOf(all, dcmSDK::DCM_MSG_IMAGE_STORED) > 0; }));

  auto t0 = std::chrono::steady_clock::now();
  dcmSDK::dcmsdk_destroy();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
  EXPECT_FALSE(server.isRunning());
  EXPECT_FALSE(waitPort(port, 100));
  size_t n = messages().size();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(messages().size(), n);
  EXPECT_FALSE(sender.send(2, dir.c_str()));
  EXPECT_FALSE(get.getSeriesByUID("127.0.0.1", "104", "", "", "1", "2", dir.c_str(), "", "", ""));
  EXPECT_FALSE(server.BeginDicomServer());
}
