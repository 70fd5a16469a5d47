// SQLite access layer: one connection per NSDBUtil, results read into a
// table of texts (NSDBDataModel).
//
// Any text that comes from a caller, a file or a peer (patient names,
// descriptions, paths, UIDs) must reach SQL only as a bound parameter:
// use NSDBStatement, or the execute/getRecord overloads that take an
// NSDBParams list. Statement texts passed to execute/getRecord without
// parameters are for constant SQL only.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace NSUI {

// Result rows as texts. Cells are addressed by row index and by the
// column order of the query; SQL NULL reads as "None".
class NSDBDataModel {
public:
    NSDBDataModel() = default;
    virtual ~NSDBDataModel() = default;

    void clear();
    void addValue(std::string value);
    void addIntValue(int value);
    void commitRow();

    int getRowCount() const;
    // 0 for a negative index or one at or past the row count.
    int getColumnCount(int row) const;
    // The cell's text; "" outside the table.
    std::string getValue(int row, int column) const;

private:
    std::vector<std::string> currentRow;
    std::vector<std::vector<std::string>> rows;
};

// One value bound to a '?' of a statement.
using NSDBValue = std::variant<std::nullptr_t, int64_t, double, std::string>;
using NSDBParams = std::vector<NSDBValue>;

class NSDBUtil;

// A prepared statement on one connection. Prepare once, bind, step, and
// reset to run it again with other values. Parameters are numbered from 1.
// A statement is used on its connection's thread and must not outlive it.
class NSDBStatement {
public:
    NSDBStatement(NSDBUtil& db, const std::string& sql);
    ~NSDBStatement();
    NSDBStatement(const NSDBStatement&) = delete;
    NSDBStatement& operator=(const NSDBStatement&) = delete;

    bool isValid() const { return stmt != nullptr; }

    bool bindText(int index, const std::string& value);
    bool bindInt(int index, int64_t value);
    bool bindDouble(int index, double value);
    bool bindNull(int index);
    bool bind(int index, const NSDBValue& value);
    // Binds the list to parameters 1..n.
    bool bindAll(const NSDBParams& params);

    // Runs one step: true while a row is available (read it with
    // columnCount/columnText/columnIsNull). Once it returns false,
    // done() tells a finished statement from a failure.
    bool step();
    bool done() const { return lastResult == 101; /* SQLITE_DONE */ }
    // Runs the statement to its end, ignoring rows; true on success.
    bool run();
    // Rewinds the statement and clears its bindings.
    bool reset();

    int columnCount() const;
    bool columnIsNull(int column) const;
    std::string columnText(int column) const;
    int64_t columnInt(int column) const;

    int getLastResult() const { return lastResult; }

private:
    NSDBUtil& owner;
    sqlite3_stmt* stmt = nullptr;
    int lastResult = 0;
};

class NSDBUtil {
public:
    NSDBUtil();
    virtual ~NSDBUtil();
    NSDBUtil(const NSDBUtil&) = delete;
    NSDBUtil& operator=(const NSDBUtil&) = delete;

    bool open(std::string path);
    // Closes the connection (statements made on it must be gone); a closed
    // connection fails every call until it is opened again.
    void close();
    bool tableExists(std::string name);
    // Drops a table of that name (and its rows) first, then runs the
    // create statement.
    bool createTable(std::string statement, std::string name);
    bool dropTable(std::string name);
    bool execute(std::string statement);
    bool execute(std::string statement, const NSDBParams& params);
    bool beginTransaction();
    bool rollback();
    bool commit();
    bool getRecord(std::string query, NSDBDataModel* model);
    bool getRecord(std::string query, const NSDBParams& params, NSDBDataModel* model);

    int getLastResult() const { return lastResult; }
    sqlite3* handle() const { return db; }

private:
    friend class NSDBStatement;

    sqlite3* db = nullptr;
    char* errorMessage = nullptr;
    std::string sqlText;
    int lastResult = 0;
};

} // namespace NSUI
