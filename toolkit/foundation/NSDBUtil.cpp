#include "toolkit/foundation/NSDBUtil.h"

#include "toolkit/foundation/NSFiles.h"
#include "engine/base/ccLog.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace NSUI {

namespace {

const char* orEmpty(const char* s) { return s ? s : ""; }

// Quotes an identifier for SQL ("name" with inner quotes doubled).
std::string quoteIdentifier(const std::string& name)
{
    std::string out = "\"";
    for (char c : name) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

int rowCallback(void* arg, int columns, char** values, char** /*names*/)
{
    auto* model = static_cast<NSDBDataModel*>(arg);
    for (int i = 0; i < columns; ++i)
        model->addValue(values[i] ? std::string(values[i]) : std::string("None"));
    model->commitRow();
    return 0;
}

} // namespace

// ---------------------------------------------------------------------------
// NSDBDataModel

void NSDBDataModel::clear()
{
    currentRow.clear();
    rows.clear();
}

void NSDBDataModel::addValue(std::string value) { currentRow.push_back(std::move(value)); }

void NSDBDataModel::addIntValue(int value) { currentRow.push_back(std::to_string(value)); }

void NSDBDataModel::commitRow()
{
    rows.push_back(currentRow);
    currentRow.clear();
}

int NSDBDataModel::getRowCount() const { return static_cast<int>(rows.size()); }

int NSDBDataModel::getColumnCount(int row) const
{
    if (row < 0 || row >= getRowCount())
        return 0;
    return static_cast<int>(rows[row].size());
}

std::string NSDBDataModel::getValue(int row, int column) const
{
    if (column < 0 || column >= getColumnCount(row))
        return std::string();
    return rows[row][column];
}

// ---------------------------------------------------------------------------
// NSDBStatement

NSDBStatement::NSDBStatement(NSDBUtil& db, const std::string& sql) : owner(db)
{
    if (!db.db) {
        lastResult = SQLITE_MISUSE;
        return;
    }
    lastResult = sqlite3_prepare_v2(db.db, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr);
    db.lastResult = lastResult;
    if (lastResult != SQLITE_OK) {
        debugLog("prepare sql failure，error code:%d ，resonse:%s\n", lastResult, sqlite3_errmsg(db.db));
        sqlite3_finalize(stmt);
        stmt = nullptr;
    } else if (!stmt) {
        // An empty statement text (only blanks or comments).
        lastResult = SQLITE_MISUSE;
    }
}

NSDBStatement::~NSDBStatement()
{
    if (stmt)
        sqlite3_finalize(stmt);
}

bool NSDBStatement::bindText(int index, const std::string& value)
{
    if (!stmt)
        return false;
    lastResult = sqlite3_bind_text(stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    return lastResult == SQLITE_OK;
}

bool NSDBStatement::bindInt(int index, int64_t value)
{
    if (!stmt)
        return false;
    lastResult = sqlite3_bind_int64(stmt, index, value);
    return lastResult == SQLITE_OK;
}

bool NSDBStatement::bindDouble(int index, double value)
{
    if (!stmt)
        return false;
    lastResult = sqlite3_bind_double(stmt, index, value);
    return lastResult == SQLITE_OK;
}

bool NSDBStatement::bindNull(int index)
{
    if (!stmt)
        return false;
    lastResult = sqlite3_bind_null(stmt, index);
    return lastResult == SQLITE_OK;
}

bool NSDBStatement::bind(int index, const NSDBValue& value)
{
    return std::visit(
        [&](const auto& v) -> bool {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::nullptr_t>)
                return bindNull(index);
            else if constexpr (std::is_same_v<T, int64_t>)
                return bindInt(index, v);
            else if constexpr (std::is_same_v<T, double>)
                return bindDouble(index, v);
            else
                return bindText(index, v);
        },
        value);
}

bool NSDBStatement::bindAll(const NSDBParams& params)
{
    if (!stmt)
        return false;
    if (static_cast<int>(params.size()) != sqlite3_bind_parameter_count(stmt)) {
        lastResult = SQLITE_RANGE;
        return false;
    }
    for (size_t i = 0; i < params.size(); ++i)
        if (!bind(static_cast<int>(i) + 1, params[i]))
            return false;
    return true;
}

bool NSDBStatement::step()
{
    if (!stmt)
        return false;
    lastResult = sqlite3_step(stmt);
    owner.lastResult = lastResult;
    if (lastResult != SQLITE_ROW && lastResult != SQLITE_DONE)
        debugLog("step sql failure，error code:%d ，resonse:%s\n", lastResult, sqlite3_errmsg(owner.db));
    return lastResult == SQLITE_ROW;
}

bool NSDBStatement::run()
{
    while (step()) {
    }
    if (done()) {
        owner.lastResult = SQLITE_OK;
        return true;
    }
    return false;
}

bool NSDBStatement::reset()
{
    if (!stmt)
        return false;
    sqlite3_reset(stmt);
    lastResult = sqlite3_clear_bindings(stmt);
    return lastResult == SQLITE_OK;
}

int NSDBStatement::columnCount() const { return stmt ? sqlite3_column_count(stmt) : 0; }

bool NSDBStatement::columnIsNull(int column) const
{
    return !stmt || sqlite3_column_type(stmt, column) == SQLITE_NULL;
}

std::string NSDBStatement::columnText(int column) const
{
    if (!stmt)
        return std::string();
    const unsigned char* text = sqlite3_column_text(stmt, column);
    if (!text)
        return std::string();
    return std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(stmt, column));
}

int64_t NSDBStatement::columnInt(int column) const { return stmt ? sqlite3_column_int64(stmt, column) : 0; }

// ---------------------------------------------------------------------------
// NSDBUtil

NSDBUtil::NSDBUtil() = default;

NSDBUtil::~NSDBUtil()
{
    if (errorMessage)
        sqlite3_free(errorMessage);
    if (db)
        sqlite3_close_v2(db);
}

bool NSDBUtil::open(std::string path)
{
    // Only takes effect before SQLite's first initialisation.
    sqlite3_config(SQLITE_CONFIG_MULTITHREAD);
    if (db) {
        sqlite3_close_v2(db);
        db = nullptr;
    }
    lastResult = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (lastResult == SQLITE_OK)
        return true;
    debugLog("open db failure !error code:%d ，resonse:%s\n", lastResult, db ? sqlite3_errmsg(db) : "");
    return false;
}

void NSDBUtil::close()
{
    if (db)
        sqlite3_close_v2(db);
    db = nullptr;
}

bool NSDBUtil::tableExists(std::string name)
{
    if (!db)
        return false;
    sqlText = "select count(*) from sqlite_master where type='table' and name = ?;";
    NSDBStatement st(*this, sqlText);
    if (!st.bindText(1, name)) {
        lastResult = st.getLastResult();
        return false;
    }
    bool exists = false;
    if (st.step())
        exists = st.columnInt(0) != 0;
    lastResult = (st.getLastResult() == SQLITE_ROW || st.done()) ? SQLITE_OK : st.getLastResult();
    return lastResult == SQLITE_OK && exists;
}

bool NSDBUtil::dropTable(std::string name)
{
    if (!db)
        return false;
    if (!tableExists(name))
        return lastResult == SQLITE_OK;
    if (execute("drop table " + quoteIdentifier(name) + ";"))
        return true;
    debugLog("delete table failure，error code:%d ，resonse:%s\n", lastResult, orEmpty(errorMessage));
    return false;
}

bool NSDBUtil::createTable(std::string statement, std::string name)
{
    if (!db)
        return false;
    if (!dropTable(name))
        return false;
    if (execute(statement))
        return true;
    debugLog("create table failure，error code:%d ，resonse:%s\n", lastResult, orEmpty(errorMessage));
    return false;
}

bool NSDBUtil::execute(std::string statement)
{
    if (!db)
        return false;
    if (errorMessage) {
        sqlite3_free(errorMessage);
        errorMessage = nullptr;
    }
    lastResult = sqlite3_exec(db, statement.c_str(), nullptr, nullptr, &errorMessage);
    if (lastResult == SQLITE_OK)
        return true;
    debugLog("execute sql failure，error code:%d ，resonse:%s\n", lastResult, orEmpty(errorMessage));
    return false;
}

bool NSDBUtil::execute(std::string statement, const NSDBParams& params)
{
    if (!db)
        return false;
    NSDBStatement st(*this, statement);
    if (!st.bindAll(params)) {
        lastResult = st.getLastResult();
        return false;
    }
    if (st.run())
        return true;
    lastResult = st.getLastResult();
    debugLog("execute sql failure，error code:%d ，resonse:%s\n", lastResult, sqlite3_errmsg(db));
    return false;
}

bool NSDBUtil::beginTransaction()
{
    if (!db)
        return false;
    for (int retries = 0;; ++retries) {
        if (execute("begin IMMEDIATE;"))
            return true;
        if (retries >= 50)
            return false;
        cocos2d::log(" try to begin");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool NSDBUtil::rollback() { return execute("rollback;"); }

bool NSDBUtil::commit() { return execute("commit;"); }

bool NSDBUtil::getRecord(std::string query, NSDBDataModel* model)
{
    if (model)
        model->clear();
    if (!db || !model)
        return false;
    if (errorMessage) {
        sqlite3_free(errorMessage);
        errorMessage = nullptr;
    }
    try {
        lastResult = sqlite3_exec(db, query.c_str(), rowCallback, model, &errorMessage);
    } catch (...) {
        model->clear();
        return false;
    }
    if (lastResult == SQLITE_OK)
        return true;
    debugLog("get record failure，error code:%d ，resonse:%s\n", lastResult, orEmpty(errorMessage));
    return false;
}

bool NSDBUtil::getRecord(std::string query, const NSDBParams& params, NSDBDataModel* model)
{
    if (model)
        model->clear();
    if (!db || !model)
        return false;
    NSDBStatement st(*this, query);
    if (!st.bindAll(params)) {
        lastResult = st.getLastResult();
        return false;
    }
    try {
        while (st.step()) {
            const int n = st.columnCount();
            for (int i = 0; i < n; ++i)
                model->addValue(st.columnIsNull(i) ? std::string("None") : st.columnText(i));
            model->commitRow();
        }
    } catch (...) {
        model->clear();
        return false;
    }
    lastResult = st.done() ? SQLITE_OK : st.getLastResult();
    if (lastResult == SQLITE_OK)
        return true;
    debugLog("get record failure，error code:%d ，resonse:%s\n", lastResult, sqlite3_errmsg(db));
    return false;
}

} // namespace NSUI
