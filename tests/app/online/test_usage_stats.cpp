// The usage-statistics service against a fresh folder and the local stand-in
// of the web service: the store's schema and upgrade, what a recording
// stores, which rows an upload carries, and which rows an answer deletes.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "app/online/statApplication.h"
#include "engine/base/base64.h"
#include "engine/cocos2d.h"
#include "online_fixture.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSDBUtil.h"
#include "toolkit/foundation/NSGlobals.h"
#include "toolkit/foundation/NSHttpClient.h"
#include "toolkit/foundation/standin.h"

namespace {

namespace fs = std::filesystem;
using onlinetest::LoggedRequest;

// A local time on the test's day, as seconds since the epoch.
time_t localTime(int dayOffset, int hour, int minute, int second) {
  struct tm t {};
  t.tm_year = 126;  // 2026
  t.tm_mon = 11;
  t.tm_mday = 10 + dayOffset;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return mktime(&t);
}

class UsageStats : public onlinetest::OnlineTest {
 protected:
  void SetUp() override {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    OnlineTest::SetUp();
    service->control("stat-url", R"({"url":""})");
    for (const char* p : {"/st/gi.php", "/st/up.php"}) service->force(p, "");
    now = localTime(0, 12, 0, 0);
    statApplication::setClock([this] { return now; });
    AppConfig::getInstance()->appIdentifier = "4711";
  }
  void TearDown() override {
    if (auto* s = statApplication::getInstanceIfExists()) s->shutdown();
    statApplication::destroyInstance();
    statApplication::setClock(nullptr);
    OnlineTest::TearDown();
  }

  std::string statFile() const { return folder + "kq/stat/statDB"; }

  // The rows of the stat table as "type|statTime|value", in ID order.
  std::vector<std::string> rows() {
    NSUI::NSDBDataModel m;
    EXPECT_TRUE(statApplication::getInstance()->db.getRecord("select type,statTime,value from stat order by ID", &m));
    std::vector<std::string> out;
    for (int i = 0; i < m.getRowCount(); ++i) out.push_back(m.getValue(i, 0) + "|" + m.getValue(i, 1) + "|" + m.getValue(i, 2));
    return out;
  }

  // Records an event as if it had happened at `when`.
  void recordAt(time_t when, unsigned event, const std::string& value) {
    const time_t saved = now;
    now = when;
    statApplication::getInstance()->addStat(event, value);
    now = saved;
  }

  bool waitForRequests(const std::string& path, size_t count) {
    return fwtest::pumpUntil([&] { return service->requests(path).size() >= count; }, std::chrono::seconds(20));
  }

  time_t now = 0;
};

TEST_F(UsageStats, CreatesTheStoreWithItsTwoTablesAndUpgradesAnOldOne) {
  NSUI::setServerUrl("");  // nothing to send in this case
  statApplication* stats = statApplication::getInstance();
  stats->start();
  {
    NSUI::NSDBUtil db;
    ASSERT_TRUE(db.open(statFile()));
    NSUI::NSDBDataModel m;
    ASSERT_TRUE(db.getRecord("select name,sql from sqlite_master where name in ('version','stat') order by name desc", &m));
    ASSERT_EQ(m.getRowCount(), 2);
    // SQLite keeps the statement as written after its leading keywords.
    EXPECT_EQ(m.getValue(0, 1), "CREATE TABLE version (ID integer primary key autoincrement,version integer)");
    EXPECT_EQ(m.getValue(1, 1),
              "CREATE TABLE stat (ID integer primary key autoincrement,type integer,statTime  datetime,value text)");
    NSUI::NSDBDataModel v;
    ASSERT_TRUE(db.getRecord("select version from version", &v));
    ASSERT_EQ(v.getRowCount(), 1);
    EXPECT_EQ(v.getValue(0, 0), "2");
  }
  stats->shutdown();
  statApplication::destroyInstance();

  // A store of schema 1 with events: upgraded, its events dropped.
  {
    NSUI::NSDBUtil db;
    ASSERT_TRUE(db.open(statFile()));
    ASSERT_TRUE(db.execute("update version set version=1"));
    ASSERT_TRUE(db.execute("insert into stat(type,statTime,value) values (30003,'2026-12-01 10:00:00','')"));
  }
  stats = statApplication::getInstance();
  stats->start();
  EXPECT_TRUE(rows().empty());
  NSUI::NSDBDataModel v;
  ASSERT_TRUE(stats->db.getRecord("select version from version", &v));
  EXPECT_EQ(v.getValue(0, 0), "2");
  stats->addStat(9, "");
  EXPECT_EQ(rows(), std::vector<std::string>{"30009|2026-12-10 12:00:00|"});
}

TEST_F(UsageStats, StoresAnyValueAsGivenAndUploadsNothingWithoutAnAddress) {
  service->force("/st/gi.php", "500");
  statApplication* stats = statApplication::getInstance();
  stats->start();
  ASSERT_TRUE(waitForRequests("/st/gi.php", 1));
  fwtest::pumpFor(std::chrono::milliseconds(200));
  const std::string hostile = R"(a"),(1,"x","y");--)";
  stats->addStat(19, hostile);
  recordAt(localTime(-1, 9, 0, 0), 1, "");  // foreground: would upload
  fwtest::pumpFor(std::chrono::milliseconds(300));
  EXPECT_EQ(rows(), (std::vector<std::string>{"30019|2026-12-10 12:00:00|" + hostile, "30001|2026-12-09 09:00:00|"}));
  EXPECT_TRUE(service->requests("/st/up.php").empty());
}

TEST_F(UsageStats, UploadsTheRowsOfEarlierDaysAndAnAcknowledgementDeletesThem) {
  // The service starts with the store of earlier runs.
  statApplication* stats = statApplication::getInstance();
  NSUI::setServerUrl("");
  stats->start();
  recordAt(localTime(-1, 8, 15, 0), 3, "");
  recordAt(localTime(-1, 8, 20, 5), 19, "12");
  recordAt(localTime(-1, 23, 59, 59), 15, "say \"hi\"");
  recordAt(localTime(0, 0, 0, 0), 5, "");  // today: stays
  NSUI::setServerUrl(service->base());
  stats->start();  // asks for the address, then uploads at once
  ASSERT_TRUE(waitForRequests("/st/up.php", 1));
  const std::vector<LoggedRequest> up = service->requests("/st/up.php");
  ASSERT_EQ(up.size(), 1u);
  EXPECT_TRUE(up[0].tls);
  EXPECT_EQ(up[0].contentType, "application/json; charset=utf-8");
  EXPECT_EQ(up[0].text,
            R"({"number":"3","appid":"4711","type0":"30003","time0":"2026-12-09 08:15:00","value0":"",)"
            R"("type1":"30019","time1":"2026-12-09 08:20:05","value1":"12",)"
            R"("type2":"30015","time2":"2026-12-09 23:59:59","value2":"say \"hi\""})");
  ASSERT_TRUE(fwtest::pumpUntil([&] { return rows().size() == 1; }, std::chrono::seconds(20)));
  EXPECT_EQ(rows(), std::vector<std::string>{"30005|2026-12-10 00:00:00|"});

  // A launch event uploads again; nothing of earlier days is left to send.
  stats->addStat(0, "");
  fwtest::pumpFor(std::chrono::milliseconds(300));
  EXPECT_EQ(service->requests("/st/up.php").size(), 1u);
}

TEST_F(UsageStats, AnAnswerThatArrivesAfterMidnightDeletesOnlyWhatWasSent) {
  now = localTime(0, 23, 59, 50);
  statApplication* stats = statApplication::getInstance();
  NSUI::setServerUrl("");
  stats->start();
  recordAt(localTime(-1, 10, 0, 0), 7, "");
  recordAt(localTime(0, 23, 59, 40), 8, "");  // today when sent
  NSUI::setServerUrl(service->base());
  service->force("/st/up.php", "delay:1500");
  stats->start();
  ASSERT_TRUE(waitForRequests("/st/up.php", 1));
  EXPECT_NE(service->requests("/st/up.php")[0].text.find(R"("number":"1")"), std::string::npos);
  now = localTime(1, 0, 0, 10);  // the answer comes the next day
  ASSERT_TRUE(fwtest::pumpUntil([&] { return rows().size() == 1; }, std::chrono::seconds(20)));
  fwtest::pumpFor(std::chrono::milliseconds(200));
  EXPECT_EQ(rows(), std::vector<std::string>{"30008|2026-12-10 23:59:40|"});
}

TEST_F(UsageStats, OnlyAnExplicitStatusZeroDeletesRows) {
  const struct {
    const char* mode;
  } cases[] = {{"noStatus"}, {"status1"}, {"500"}, {"notBase64"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    service->control("reset-log");
    service->force("/st/up.php", c.mode);
    statApplication* stats = statApplication::getInstance();
    NSUI::setServerUrl("");
    stats->start();
    recordAt(localTime(-2, 10, 0, 0), 4, "");
    NSUI::setServerUrl(service->base());
    stats->start();
    ASSERT_TRUE(waitForRequests("/st/up.php", 1));
    fwtest::pumpFor(std::chrono::milliseconds(400));
    EXPECT_EQ(rows(), std::vector<std::string>{"30004|2026-12-08 10:00:00|"});
    stats->shutdown();
    statApplication::destroyInstance();
    fs::remove_all(folder + "kq");
  }
}

TEST_F(UsageStats, SendsNothingInTheClear) {
  // A plain base address: not even the address request leaves.
  NSUI::setServerUrl(service->plainBase());
  statApplication* stats = statApplication::getInstance();
  stats->start();
  recordAt(localTime(-1, 10, 0, 0), 1, "");
  fwtest::pumpFor(std::chrono::milliseconds(300));
  EXPECT_TRUE(service->requests().empty());

  // A plain upload address from the service is ignored.
  service->control("stat-url", "{\"url\":\"" + service->plainBase() + "/st/up.php\"}");
  NSUI::setServerUrl(service->base());
  stats->start();
  ASSERT_TRUE(waitForRequests("/st/gi.php", 1));
  stats->addStat(1, "");
  fwtest::pumpFor(std::chrono::milliseconds(300));
  EXPECT_TRUE(stats->uploadUrl.empty());
  EXPECT_TRUE(service->requests("/st/up.php").empty());
  EXPECT_EQ(rows().size(), 2u);
}

}  // namespace
