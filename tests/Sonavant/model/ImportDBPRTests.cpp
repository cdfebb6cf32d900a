#include "Sonavant/model/ImportDBPR.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/RunLoop.h"

#include "AppStateTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <sqlite3.h>

using namespace appstate_test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// A DS100 project of our own making: only the tables and columns the import reads, plus one
// column it must not care about.
void makeProject(const fs::path& file, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

const char* const cabinetsTable =
    "CREATE TABLE Cabinets (CabinetId INTEGER, OriginX REAL, OriginY REAL, HorizontalAngle REAL, "
    "SourceGroupId INTEGER, Label TEXT);";
const char* const inputsTable =
    "CREATE TABLE MatrixInputs (MatrixInput INTEGER, Name TEXT, InputMode INTEGER);";

const char* const fullProject =
    "INSERT INTO Cabinets VALUES (3, 1.23456789012, -2.5, 90, 2, 'L'), (7, 0, 4, -45.5, 1, 'sub'),"
    " (9, 100000, 0.5, 0, 3, 'R');"
    "INSERT INTO MatrixInputs VALUES (1, 'Kick', 1), (2, 'Vox', 1), (3, 'Spare', 0), (4, NULL, 1),"
    " (5, 'Keys \"L\"', 1);";

std::set<std::string> folderListing(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

struct ShowWithSources {
    std::shared_ptr<AppState> state = firstLaunchState();
    ShowWithSources() {
        platform::MainRunLoop::adoptCurrentThread();
        state->selectedDesk = testDesk();
        state->soundObjects =
            std::vector{std::make_shared<SoundObject>("Input", 40, testDesk(), 1, 1, 100, Point{})};
        state->zeroPoint = Point{400, 300};
    }
    void runQueuedChanges(const bool& done) {
        EXPECT_TRUE(platform::MainRunLoop::runUntil([&] { return done; }, 5s));
    }
};

} // namespace

TEST(ImportDBPR, ReadsLoudspeakersAndInputsWithoutTouchingTheFile) {
    TempFolder folder;
    const fs::path file = folder / "Show #1?.dbpr"; // URI syntax in the name
    makeProject(file, std::string(cabinetsTable) + inputsTable + fullProject);
    const std::string bytesBefore = platform::readFile(file);
    const auto timeBefore = fs::last_write_time(file);
    const auto listingBefore = folderListing(folder.path());

    ShowWithSources show;
    bool queried = false;
    platform::LogCapture log;
    auto speakers = importDBPR(file, *show.state, 100, 400, 300, [&] {
        queried = true;
        EXPECT_TRUE(show.state->oscOutputOn);
    });

    ASSERT_EQ(speakers.size(), 2u);
    EXPECT_EQ(speakers[0].speakerNumber, 3);
    EXPECT_EQ(speakers[0].x, static_cast<float>(1.23456789012));
    EXPECT_EQ(speakers[0].y, -2.5f);
    EXPECT_EQ(speakers[0].rotation, 90.0f);
    EXPECT_EQ(speakers[1].speakerNumber, 9);
    EXPECT_NE(speakers[0].id, speakers[1].id);
    EXPECT_TRUE(log.contains("🔍 Opening SQLite .dbpr at: " + file.string()));
    EXPECT_TRUE(log.contains("✅ Imported speaker 3: x=1.23456789012, y=-2.5, rotation=90.0"));
    EXPECT_TRUE(log.contains("✅ Imported speaker 9: x=100000.0, y=0.5, rotation=0.0"));
    EXPECT_TRUE(log.contains("🎤 Imported sound object 5: \"Keys \"L\"\""));

    // The sources change only once the caller has returned.
    EXPECT_EQ(show.state->soundObjects->size(), 1u);
    show.runQueuedChanges(queried);
    const auto& sources = show.state->soundObjects.get();
    ASSERT_EQ(sources.size(), 3u);
    const std::int64_t numbers[] = {1, 2, 5};
    const char* names[] = {"Kick", "Vox", "Keys \"L\""};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(sources[i]->number.get(), numbers[i]);
        EXPECT_EQ(sources[i]->name.get(), names[i]);
        EXPECT_EQ(sources[i]->type.get(), "Input");
        EXPECT_EQ(sources[i]->colour.get(), "blue");
        EXPECT_EQ(sources[i]->position.get(), (Point{400, 300}));
        EXPECT_EQ(sources[i]->positionMeters.get(), (Point{0, 0}));
    }
    EXPECT_TRUE(show.state->oscOutputOn);

    EXPECT_EQ(platform::readFile(file), bytesBefore);
    EXPECT_EQ(fs::last_write_time(file), timeBefore);
    EXPECT_EQ(folderListing(folder.path()), listingBefore);
}

TEST(ImportDBPR, OutputStaysAsTheOperatorLeftIt) {
    TempFolder folder;
    makeProject(folder / "a.dbpr", std::string(cabinetsTable) + inputsTable + fullProject);
    ShowWithSources show;
    show.state->oscOutputOn = false;
    std::vector<bool> outputChanges;
    auto subscription = show.state->oscOutputOn.observe([&](bool on) { outputChanges.push_back(on); });
    bool queried = false;
    importDBPR(folder / "a.dbpr", *show.state, 100, 0, 0, [&] { queried = true; });
    show.runQueuedChanges(queried);
    EXPECT_FALSE(show.state->oscOutputOn);
    EXPECT_EQ(outputChanges, (std::vector{false, false}));
    EXPECT_EQ(show.state->soundObjects->size(), 3u);
}

TEST(ImportDBPR, PartialImportsLeaveTheSourcesAlone) {
    TempFolder folder;
    makeProject(folder / "nodesk.dbpr", std::string(cabinetsTable) + inputsTable + fullProject);
    makeProject(folder / "noinputs.dbpr",
                std::string(cabinetsTable) + "INSERT INTO Cabinets VALUES (1, 0, 0, 0, 2, '');");
    makeProject(folder / "nocabinets.dbpr", std::string(cabinetsTable) + inputsTable +
                                                "INSERT INTO Cabinets VALUES (1, 0, 0, 0, 1, '');"
                                                "INSERT INTO MatrixInputs VALUES (8, 'Solo', 1);");

    ShowWithSources show;
    auto before = show.state->soundObjects.get();
    {
        platform::LogCapture log;
        show.state->selectedDesk = std::nullopt;
        EXPECT_EQ(importDBPR(folder / "nodesk.dbpr", *show.state, 100, 0, 0).size(), 2u);
        EXPECT_TRUE(log.contains("❌ No desk selected — cannot assign to SoundObject"));
    }
    {
        platform::LogCapture log;
        show.state->selectedDesk = testDesk();
        EXPECT_EQ(importDBPR(folder / "noinputs.dbpr", *show.state, 100, 0, 0).size(), 1u);
        EXPECT_TRUE(log.contains("🔴 Failed to prepare MatrixInputs query."));
    }
    platform::MainRunLoop::runFor(50ms);
    EXPECT_EQ(show.state->soundObjects.get(), before);
    EXPECT_TRUE(show.state->oscOutputOn);

    // No loudspeaker outside source group 1: an empty list, and the sources are still replaced.
    bool queried = false;
    EXPECT_TRUE(
        importDBPR(folder / "nocabinets.dbpr", *show.state, 100, 0, 0, [&] { queried = true; }).empty());
    show.runQueuedChanges(queried);
    ASSERT_EQ(show.state->soundObjects->size(), 1u);
    EXPECT_EQ(show.state->soundObjects->front()->name.get(), "Solo");
}

TEST(ImportDBPR, FilesThatAreNoProjectGiveARealError) {
    TempFolder folder;
    platform::writeFileAtomically(folder / "text.dbpr", "This is not a database, just some text.\n");
    makeProject(folder / "other.dbpr", "CREATE TABLE Things (a INTEGER);");
    makeProject(folder / "columns.dbpr", "CREATE TABLE Cabinets (CabinetId INTEGER, OriginX REAL);");

    ShowWithSources show;
    auto before = show.state->soundObjects.get();
    struct Case {
        const char* name;
        DBPRImportError::Kind kind;
        const char* fragment;
    };
    const Case cases[] = {{"text.dbpr", DBPRImportError::Kind::invalidFormat, "not a database"},
                          {"other.dbpr", DBPRImportError::Kind::invalidFormat, "Cabinets"},
                          {"columns.dbpr", DBPRImportError::Kind::invalidFormat, "OriginY"},
                          {"missing.dbpr", DBPRImportError::Kind::fileNotFound, "missing.dbpr"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool existed = fs::exists(folder / c.name);
        const std::string bytes = existed ? platform::readFile(folder / c.name) : "";
        try {
            importDBPR(folder / c.name, *show.state, 100, 0, 0);
            ADD_FAILURE() << "imported";
        } catch (const DBPRImportError& e) {
            EXPECT_EQ(e.kind(), c.kind);
            EXPECT_NE(std::string(e.what()).find(c.fragment), std::string::npos) << e.what();
        }
        EXPECT_EQ(fs::exists(folder / c.name), existed); // never created
        if (existed) {
            EXPECT_EQ(platform::readFile(folder / c.name), bytes);
        }
    }
    platform::MainRunLoop::runFor(50ms);
    EXPECT_EQ(show.state->soundObjects.get(), before);
}

// Damage that SQLite itself does not notice: values out of range, characters no show file
// can hold, and files built to take forever. Each fails as a damaged project, leaving the
// show as it was; text that is merely not UTF-8 is repaired.
TEST(ImportDBPR, DamagedValuesAndRunawayFilesAreRefusedAndBadTextIsRepaired) {
    TempFolder folder;
    const std::string base = std::string(cabinetsTable) + inputsTable;
    makeProject(folder / "huge.dbpr", base + "INSERT INTO Cabinets VALUES (1, 1e300, 0, 0, 2, '');");
    makeProject(folder / "nul.dbpr",
                base + "INSERT INTO Cabinets VALUES (1, 0, 0, 0, 2, '');"
                       "INSERT INTO MatrixInputs VALUES (1, CAST(X'4B696300' AS TEXT), 1);");
    // A quadratic view over 15,000 rows: far beyond the work bound.
    makeProject(folder / "slow.dbpr",
                std::string(inputsTable) +
                    "CREATE TABLE Big (x INTEGER);"
                    "WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r WHERE n < 15000)"
                    " INSERT INTO Big SELECT n FROM r;"
                    "CREATE VIEW Cabinets AS SELECT a.x AS CabinetId, 0.0 AS OriginX, 0.0 AS OriginY,"
                    " 0.0 AS HorizontalAngle, 2 AS SourceGroupId FROM Big a, Big b WHERE a.x + b.x < 0;");
    // A recursive view that never ends.
    makeProject(
        folder / "endless.dbpr",
        std::string(cabinetsTable) +
            "CREATE VIEW MatrixInputs AS WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r)"
            " SELECT n AS MatrixInput, 'In' AS Name, 1 AS InputMode FROM r;");

    ShowWithSources show;
    const auto before = show.state->soundObjects.get();
    struct Case {
        const char* name;
        const char* fragment;
    };
    const Case cases[] = {{"huge.dbpr", "out of range"},
                          {"nul.dbpr", "U+0000"},
                          {"slow.dbpr", "more work"},
                          {"endless.dbpr", "more work"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            importDBPR(folder / c.name, *show.state, 100, 0, 0);
            ADD_FAILURE() << "imported";
        } catch (const DBPRImportError& e) {
            EXPECT_EQ(e.kind(), DBPRImportError::Kind::invalidFormat);
            EXPECT_NE(std::string(e.what()).find(c.fragment), std::string::npos) << e.what();
        }
    }
    platform::MainRunLoop::runFor(50ms);
    EXPECT_EQ(show.state->soundObjects.get(), before);

    makeProject(folder / "latin1.dbpr",
                base + "INSERT INTO MatrixInputs VALUES (1, CAST(X'436166E9' AS TEXT), 1);");
    bool queried = false;
    importDBPR(folder / "latin1.dbpr", *show.state, 100, 0, 0, [&] { queried = true; });
    show.runQueuedChanges(queried);
    ASSERT_EQ(show.state->soundObjects->size(), 1u);
    EXPECT_EQ(show.state->soundObjects->front()->name.get(), "Caf\uFFFD");
}

// Many inputs import in one pass and one change of the show.
TEST(ImportDBPR, ManyInputsArriveInOneChange) {
    TempFolder folder;
    makeProject(folder / "many.dbpr",
                std::string(cabinetsTable) + inputsTable +
                    "WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r WHERE n < 5000)"
                    " INSERT INTO MatrixInputs SELECT n, 'In ' || n, 1 FROM r;");
    ShowWithSources show;
    std::vector<std::size_t> sizes;
    auto subscription =
        show.state->soundObjects.observe([&](const auto& list) { sizes.push_back(list.size()); });
    bool queried = false;
    importDBPR(folder / "many.dbpr", *show.state, 100, 0, 0, [&] { queried = true; });
    show.runQueuedChanges(queried);
    EXPECT_EQ(sizes, (std::vector<std::size_t>{0, 5000})) << "emptied, then filled at once";
    EXPECT_EQ(show.state->soundObjects->back()->name.get(), "In 5000");
}
