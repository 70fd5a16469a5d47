#include "toolkit/foundation/NSDBUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace fs = std::filesystem;
using NSUI::NSDBDataModel;
using NSUI::NSDBParams;
using NSUI::NSDBStatement;
using NSUI::NSDBUtil;

namespace {

class SqliteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = (fs::temp_directory_path() / "fw_sqlite_XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
        path = (dir / "library.db").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path dir;
    std::string path;
};

const char* kHostile = "O'Brien\"; DROP TABLE x;--";

} // namespace

TEST_F(SqliteTest, EveryOperationFailsBeforeOpen)
{
    NSDBUtil db;
    NSDBDataModel model;
    model.addValue("stale");
    model.commitRow();
    EXPECT_FALSE(db.tableExists("t"));
    EXPECT_FALSE(db.execute("create table t(a)"));
    EXPECT_FALSE(db.beginTransaction());
    EXPECT_FALSE(db.getRecord("select 1", &model));
    EXPECT_EQ(model.getRowCount(), 0); // cleared even so
    NSDBStatement st(db, "select 1");
    EXPECT_FALSE(st.isValid());
    EXPECT_FALSE(st.step());
}

TEST_F(SqliteTest, OpenFailsInMissingFolder)
{
    NSDBUtil db;
    EXPECT_FALSE(db.open((dir / "no" / "such" / "x.db").string()));
    EXPECT_NE(db.getLastResult(), 0);
}

TEST_F(SqliteTest, TablesCreateDropAndExist)
{
    NSDBUtil db;
    ASSERT_TRUE(db.open(path));
    EXPECT_FALSE(db.tableExists("patient"));
    EXPECT_TRUE(db.dropTable("patient")); // nothing to drop

    ASSERT_TRUE(db.createTable("create table patient(id integer primary key, name text)", "patient"));
    EXPECT_TRUE(db.tableExists("patient"));
    ASSERT_TRUE(db.execute("insert into patient(name) values('a')"));

    // Creating again replaces the table: the old rows are gone.
    ASSERT_TRUE(db.createTable("create table patient(id integer primary key, name text)", "patient"));
    NSDBDataModel model;
    ASSERT_TRUE(db.getRecord("select count(*) from patient", &model));
    EXPECT_EQ(model.getValue(0, 0), "0");

    // Views and indexes of a name are not tables.
    ASSERT_TRUE(db.execute("create view v as select * from patient"));
    ASSERT_TRUE(db.execute("create index ix on patient(name)"));
    EXPECT_FALSE(db.tableExists("v"));
    EXPECT_FALSE(db.tableExists("ix"));

    // A hostile name is looked up, not executed.
    EXPECT_FALSE(db.tableExists(kHostile));
    EXPECT_TRUE(db.tableExists("patient"));

    EXPECT_TRUE(db.dropTable("v") );  // not a table: nothing dropped
    EXPECT_FALSE(db.execute("create view v as select 1")); // the view is still there
    EXPECT_TRUE(db.dropTable("patient"));
    EXPECT_FALSE(db.tableExists("patient"));
}

TEST_F(SqliteTest, TableNamesNeedingQuotesAreDropped)
{
    NSDBUtil db;
    ASSERT_TRUE(db.open(path));
    const std::string odd = "we\"ird name";
    ASSERT_TRUE(db.execute("create table \"we\"\"ird name\"(a)"));
    EXPECT_TRUE(db.tableExists(odd));
    EXPECT_TRUE(db.dropTable(odd));
    EXPECT_FALSE(db.tableExists(odd));
}

TEST_F(SqliteTest, QueriesGiveTextsAndNone)
{
    NSDBUtil db;
    ASSERT_TRUE(db.open(path));
    NSDBDataModel model;
    ASSERT_TRUE(db.getRecord("select null, 1, 2.5, 'x'", &model));
    ASSERT_EQ(model.getRowCount(), 1);
    ASSERT_EQ(model.getColumnCount(0), 4);
    EXPECT_EQ(model.getValue(0, 0), "None");
    EXPECT_EQ(model.getValue(0, 1), "1");
    EXPECT_EQ(model.getValue(0, 2), "2.5");
    EXPECT_EQ(model.getValue(0, 3), "x");
    EXPECT_EQ(model.getColumnCount(-1), 0);
    EXPECT_EQ(model.getColumnCount(1), 0);
    EXPECT_EQ(model.getValue(5, 0), "");

    ASSERT_TRUE(db.execute("create table t(a)"));
    ASSERT_TRUE(db.getRecord("select a from t", &model));
    EXPECT_EQ(model.getRowCount(), 0);

    EXPECT_FALSE(db.getRecord("select * from missing", &model));
    EXPECT_NE(db.getLastResult(), 0);
}

TEST_F(SqliteTest, BoundHostileTextsAreStoredVerbatim)
{
    NSDBUtil db;
    ASSERT_TRUE(db.open(path));
    ASSERT_TRUE(db.createTable("create table x(name text, descr text, n integer, v real)", "x"));

    const std::string texts[] = {
        kHostile,
        "'); DELETE FROM x; --",
        "a\nb\tc",
        std::string("nul\0inside", 10),
        "Müller^Jürgen=宮本",
        "%q %s %n",
        "",
    };
    for (const std::string& t : texts)
        ASSERT_TRUE(db.execute("insert into x(name, descr, n, v) values(?, ?, ?, ?)",
                               NSDBParams{t, t, int64_t{42}, 0.5}))
            << t;
    ASSERT_TRUE(db.execute("insert into x(name, descr, n, v) values(?, ?, ?, ?)",
                           NSDBParams{nullptr, kHostile, int64_t{-1}, nullptr}));

    EXPECT_TRUE(db.tableExists("x"));
    NSDBDataModel model;
    ASSERT_TRUE(db.getRecord("select name, n, v from x where descr = ? order by rowid", NSDBParams{kHostile},
                             &model));
    ASSERT_EQ(model.getRowCount(), 2);
    EXPECT_EQ(model.getValue(0, 0), kHostile);
    EXPECT_EQ(model.getValue(0, 1), "42");
    EXPECT_EQ(model.getValue(0, 2), "0.5");
    EXPECT_EQ(model.getValue(1, 0), "None");
    EXPECT_EQ(model.getValue(1, 2), "None");

    for (const std::string& t : texts) {
        ASSERT_TRUE(db.getRecord("select name from x where name = ?", NSDBParams{t}, &model));
        ASSERT_EQ(model.getRowCount(), 1) << t;
        EXPECT_EQ(model.getValue(0, 0), t);
    }

    // Wrong parameter counts are refused, not half-bound.
    EXPECT_FALSE(db.execute("insert into x(name) values(?)", NSDBParams{}));
    EXPECT_FALSE(db.execute("insert into x(name) values(?)", NSDBParams{"a", "b"}));
    ASSERT_TRUE(db.getRecord("select count(*) from x", &model));
    EXPECT_EQ(model.getValue(0, 0), "8");
}

TEST_F(SqliteTest, PreparedStatementIsReused)
{
    NSDBUtil db;
    ASSERT_TRUE(db.open(path));
    ASSERT_TRUE(db.execute("create table s(uid text unique, k integer)"));
    {
        NSDBStatement ins(db, "insert into s(uid, k) values(?, ?)");
        ASSERT_TRUE(ins.isValid());
        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(ins.bindText(1, "1.2.3." + std::to_string(i)));
            ASSERT_TRUE(ins.bindInt(2, i));
            ASSERT_TRUE(ins.run());
            ASSERT_TRUE(ins.reset());
        }
        // A constraint failure is reported, not swallowed.
        ASSERT_TRUE(ins.bindText(1, "1.2.3.0"));
        EXPECT_FALSE(ins.run());
        EXPECT_FALSE(ins.done());
    }
    NSDBStatement sel(db, "select uid, k from s where k >= ? order by k");
    ASSERT_TRUE(sel.bindInt(1, 3));
    std::vector<std::string> got;
    while (sel.step())
        got.push_back(sel.columnText(0) + "=" + std::to_string(sel.columnInt(1)));
    EXPECT_TRUE(sel.done());
    EXPECT_EQ(got, (std::vector<std::string>{"1.2.3.3=3", "1.2.3.4=4"}));

    NSDBStatement bad(db, "select from nowhere");
    EXPECT_FALSE(bad.isValid());
}

TEST_F(SqliteTest, TransactionsCommitAndRollBack)
{
    NSDBUtil db;
    ASSERT_TRUE(db.open(path));
    ASSERT_TRUE(db.execute("create table t(a)"));

    ASSERT_TRUE(db.beginTransaction());
    ASSERT_TRUE(db.execute("insert into t values(1)"));
    ASSERT_TRUE(db.rollback());
    ASSERT_TRUE(db.beginTransaction());
    ASSERT_TRUE(db.execute("insert into t values(2)"));
    ASSERT_TRUE(db.commit());

    // A second connection sees only the committed row.
    NSDBUtil other;
    ASSERT_TRUE(other.open(path));
    NSDBDataModel model;
    ASSERT_TRUE(other.getRecord("select a from t", &model));
    ASSERT_EQ(model.getRowCount(), 1);
    EXPECT_EQ(model.getValue(0, 0), "2");
    EXPECT_FALSE(db.commit()); // no transaction open
}

TEST_F(SqliteTest, BeginRetriesWhileAnotherConnectionWrites)
{
    NSDBUtil writer, waiter;
    ASSERT_TRUE(writer.open(path));
    ASSERT_TRUE(waiter.open(path));
    ASSERT_TRUE(writer.execute("create table t(a)"));
    ASSERT_TRUE(writer.beginTransaction());
    ASSERT_TRUE(writer.execute("insert into t values(1)"));

    std::atomic<bool> released{false};
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        released = true;
        writer.commit();
    });
    // The first attempts meet a locked database; a later one succeeds.
    EXPECT_TRUE(waiter.beginTransaction());
    EXPECT_TRUE(released.load());
    t.join();
    ASSERT_TRUE(waiter.execute("insert into t values(2)"));
    ASSERT_TRUE(waiter.commit());
    NSDBDataModel model;
    ASSERT_TRUE(waiter.getRecord("select count(*) from t", &model));
    EXPECT_EQ(model.getValue(0, 0), "2");
}
