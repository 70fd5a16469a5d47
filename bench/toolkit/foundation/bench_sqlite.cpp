// Insert rate of patient/study/series/image-shaped rows into a library
// database on disk: one transaction around the whole import against one
// commit per row (autocommit), both through one prepared statement per table
// with bound parameters. Reported as items (rows) per second.
#include "toolkit/foundation/NSDBUtil.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using NSUI::NSDBStatement;
using NSUI::NSDBUtil;

namespace {

// One study of one patient: `series` series of `images` images each.
constexpr int kSeries = 4;

struct TempDb {
    fs::path dir;
    std::string path;
    TempDb()
    {
        std::string tmpl = (fs::temp_directory_path() / "fw_bench_sqlite_XXXXXX").string();
        if (!mkdtemp(tmpl.data()))
            std::abort();
        dir = tmpl;
        path = (dir / "library.db").string();
    }
    ~TempDb() { fs::remove_all(dir); }
};

void createSchema(NSDBUtil& db)
{
    db.createTable("create table patient(id integer primary key, patientId text, name text, birthDate text,"
                   " sex text)",
                   "patient");
    db.createTable("create table study(id integer primary key, patient integer, studyUid text unique,"
                   " studyDate text, description text, accession text, modality text)",
                   "study");
    db.createTable("create table series(id integer primary key, study integer, seriesUid text unique,"
                   " seriesNumber integer, description text, modality text)",
                   "series");
    db.createTable("create table image(id integer primary key, series integer, sopUid text unique,"
                   " instanceNumber integer, path text, rows integer, columns integer)",
                   "image");
}

// Inserts one patient with one study of kSeries series of `images` images;
// returns the number of rows inserted.
int64_t importStudy(NSDBUtil& db, int64_t n, int images, bool oneTransaction)
{
    if (oneTransaction)
        db.beginTransaction();
    NSDBStatement patient(db, "insert into patient(patientId, name, birthDate, sex) values(?,?,?,?)");
    NSDBStatement study(db, "insert into study(patient, studyUid, studyDate, description, accession, modality)"
                            " values(?,?,?,?,?,?)");
    NSDBStatement series(db, "insert into series(study, seriesUid, seriesNumber, description, modality)"
                             " values(?,?,?,?,?)");
    NSDBStatement image(db, "insert into image(series, sopUid, instanceNumber, path, rows, columns)"
                            " values(?,?,?,?,?,?)");
    const std::string base = "1.2.826.0.1.3680043.2.1125." + std::to_string(n);
    int64_t rows = 0;
    patient.bindText(1, "PID" + std::to_string(n));
    patient.bindText(2, "O'Brien^Mary " + std::to_string(n));
    patient.bindText(3, "19700101");
    patient.bindText(4, "F");
    patient.run();
    const int64_t patientId = sqlite3_last_insert_rowid(db.handle());
    ++rows;
    study.bindInt(1, patientId);
    study.bindText(2, base);
    study.bindText(3, "20240131");
    study.bindText(4, "CT CHEST W/O CONTRAST");
    study.bindText(5, "ACC" + std::to_string(n));
    study.bindText(6, "CT");
    study.run();
    const int64_t studyId = sqlite3_last_insert_rowid(db.handle());
    ++rows;
    for (int s = 0; s < kSeries; ++s) {
        series.reset();
        series.bindInt(1, studyId);
        series.bindText(2, base + "." + std::to_string(s + 1));
        series.bindInt(3, s + 1);
        series.bindText(4, "Axial 1.25mm");
        series.bindText(5, "CT");
        series.run();
        const int64_t seriesId = sqlite3_last_insert_rowid(db.handle());
        ++rows;
        for (int i = 0; i < images; ++i) {
            image.reset();
            image.bindInt(1, seriesId);
            image.bindText(2, base + "." + std::to_string(s + 1) + "." + std::to_string(i + 1));
            image.bindInt(3, i + 1);
            image.bindText(4, "/data/library/" + base + "/" + std::to_string(s) + "/" + std::to_string(i) + ".dcm");
            image.bindInt(5, 512);
            image.bindInt(6, 512);
            image.run();
            ++rows;
        }
    }
    if (oneTransaction)
        db.commit();
    return rows;
}

void runImport(benchmark::State& state, bool oneTransaction)
{
    const int images = static_cast<int>(state.range(0));
    TempDb tmp;
    NSDBUtil db;
    if (!db.open(tmp.path))
        state.SkipWithError("cannot open database");
    createSchema(db);
    int64_t n = 0, rows = 0;
    for (auto _ : state)
        rows += importStudy(db, n++, images, oneTransaction);
    state.SetItemsProcessed(rows);
    state.counters["rows/study"] = static_cast<double>(2 + kSeries * (1 + images));
}

} // namespace

// Reference: every row committed on its own (autocommit).
static void BM_SqliteImportAutocommit(benchmark::State& state) { runImport(state, false); }
static void BM_SqliteImportOneTransaction(benchmark::State& state) { runImport(state, true); }

BENCHMARK(BM_SqliteImportAutocommit)->Arg(25)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SqliteImportOneTransaction)->Arg(25)->Arg(250)->Unit(benchmark::kMillisecond)->UseRealTime();
