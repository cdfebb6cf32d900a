#include "Sonavant/model/ImportDBPR.h"

#include "Sonavant/model/AppState.h"
#include "platform/Dispatch.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/NumberText.h"
#include "platform/Serialization.h"

#include <charconv>
#include <cmath>
#include <memory>
#include <optional>
#include <sqlite3.h>
#include <string>

namespace fs = std::filesystem;

namespace {

const char* const cabinetsQuery = "    SELECT CabinetId, OriginX, OriginY, HorizontalAngle\n"
                                  "    FROM Cabinets\n"
                                  "    WHERE SourceGroupId != 1;";
const char* const matrixInputsQuery = "SELECT MatrixInput, Name FROM MatrixInputs WHERE InputMode = 1;";

// Read-only and immutable: SQLite then takes no lock, writes no journal and never rolls a
// hot journal back into the user's file. The path is percent-encoded so that "?", "#" or
// "%" in a folder name cannot turn into URI syntax.
std::string readOnlyURI(const fs::path& file) {
    return "file:" + platform::percentEncodedPath(file.string()) + "?mode=ro&immutable=1";
}

struct Database {
    sqlite3* handle = nullptr;
    ~Database() { sqlite3_close(handle); }
};

// The work one import may do, in units of 1,000 virtual-machine steps of SQLite; each row
// read counts as well, since it costs the import far more than the query. A real project
// needs a few units; a file built to be slow (a recursive view, a quadratic join, millions
// of rows) is cut off and fails like any damaged project instead of blocking the main thread.
constexpr int stepsPerUnit = 1000;
constexpr long unitsPerRow = 1;
constexpr long maxUnits = 100'000;

int stopRunawayQuery(void* used) {
    return ++*static_cast<long*>(used) > maxUnits ? 1 : 0;
}

// The next row, or SQLITE_INTERRUPT once the budget is spent.
int step(sqlite3_stmt* statement, long& used) {
    used += unitsPerRow;
    if (used > maxUnits)
        return SQLITE_INTERRUPT;
    return sqlite3_step(statement);
}

std::string readError(sqlite3* db, int rc) {
    return rc == SQLITE_INTERRUPT ? std::string("it takes more work than any DS100 project needs")
                                  : std::string(sqlite3_errmsg(db));
}

struct Statement {
    sqlite3_stmt* handle = nullptr;
    ~Statement() { sqlite3_finalize(handle); }
};

std::string quoted(const fs::path& file) {
    return "\u201C" + file.filename().string() + "\u201D";
}

} // namespace

std::vector<SoundscapeSpeaker> importDBPR(const fs::path& file, AppState& appState, double zoom, double zeroX,
                                          double zeroY, std::function<void()> getPositionsFromDS100) {
    platform::consoleLog("🔍 Opening SQLite .dbpr at: " + file.string());

    std::error_code ec;
    const fs::path absolute = fs::absolute(file, ec);
    if (ec || !fs::exists(absolute, ec))
        throw DBPRImportError(DBPRImportError::Kind::fileNotFound,
                              "The file " + quoted(file) + " does not exist.");

    Database db;
    if (sqlite3_open_v2(readOnlyURI(absolute).c_str(), &db.handle, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
                        nullptr) != SQLITE_OK)
        throw DBPRImportError(DBPRImportError::Kind::invalidFormat,
                              "The file " + quoted(file) + " could not be opened as a DS100 project: " +
                                  (db.handle ? sqlite3_errmsg(db.handle) : "out of memory") + ".");

    long used = 0;
    sqlite3_progress_handler(db.handle, stepsPerUnit, stopRunawayQuery, &used);

    Statement cabinets;
    if (sqlite3_prepare_v2(db.handle, cabinetsQuery, -1, &cabinets.handle, nullptr) != SQLITE_OK)
        throw DBPRImportError(DBPRImportError::Kind::invalidFormat,
                              "The file " + quoted(file) +
                                  " is not a DS100 project: " + sqlite3_errmsg(db.handle) + ".");

    std::vector<SoundscapeSpeaker> speakers;
    int rc;
    while ((rc = step(cabinets.handle, used)) == SQLITE_ROW) {
        const int cabinetId = sqlite3_column_int(cabinets.handle, 0);
        const double originX = sqlite3_column_double(cabinets.handle, 1);
        const double originY = sqlite3_column_double(cabinets.handle, 2);
        const double angle = sqlite3_column_double(cabinets.handle, 3);
        // A value beyond the float range would become an infinite position.
        for (double v : {originX, originY, angle})
            if (!std::isfinite(static_cast<float>(v)))
                throw DBPRImportError(DBPRImportError::Kind::invalidFormat,
                                      "The DS100 project " + quoted(file) + " holds a position of cabinet " +
                                          std::to_string(cabinetId) +
                                          " out of range: " + platform::numberText(v) + ".");
        SoundscapeSpeaker speaker;
        speaker.speakerNumber = cabinetId;
        speaker.x = static_cast<float>(originX);
        speaker.y = static_cast<float>(originY);
        speaker.rotation = static_cast<float>(angle);
        platform::consoleLog("✅ Imported speaker " + std::to_string(cabinetId) +
                             ": x=" + platform::numberText(originX) + ", y=" + platform::numberText(originY) +
                             ", rotation=" + platform::numberText(angle));
        speakers.push_back(speaker);
    }
    // A damaged file must not pass for a complete import.
    if (rc != SQLITE_DONE)
        throw DBPRImportError(DBPRImportError::Kind::invalidFormat,
                              "The DS100 project " + quoted(file) +
                                  " could not be read: " + readError(db.handle, rc) + ".");

    Statement inputs;
    if (sqlite3_prepare_v2(db.handle, matrixInputsQuery, -1, &inputs.handle, nullptr) != SQLITE_OK) {
        platform::consoleLog("🔴 Failed to prepare MatrixInputs query.");
        return speakers;
    }
    const std::optional<MixingDesk> desk = appState.selectedDesk.get();
    if (!desk) {
        platform::consoleLog("❌ No desk selected — cannot assign to SoundObject");
        return speakers;
    }

    // Every row is read before anything is queued, so a file that fails part-way changes nothing.
    std::vector<std::shared_ptr<SoundObject>> imported;
    while ((rc = step(inputs.handle, used)) == SQLITE_ROW) {
        const int matrixInput = sqlite3_column_int(inputs.handle, 0);
        auto nameText = sqlite3_column_text(inputs.handle, 1);
        if (!nameText)
            continue;
        // Text as UTF-8; a character no show file can hold means the file is damaged.
        std::string name = platform::validUTF8(
            std::string_view(reinterpret_cast<const char*>(nameText),
                             static_cast<std::size_t>(sqlite3_column_bytes(inputs.handle, 1))));
        if (auto c = platform::unstorableCharacter(name))
            throw DBPRImportError(DBPRImportError::Kind::invalidFormat,
                                  "The DS100 project " + quoted(file) + " holds the character " +
                                      platform::characterName(*c) + " in the name of matrix input " +
                                      std::to_string(matrixInput) + " (MatrixInputs.Name).");
        auto object = std::make_shared<SoundObject>(desk->inputName, matrixInput, *desk, 0.0, 0.0, zoom,
                                                    Point{zeroX, zeroY});
        object->name = name;
        platform::consoleLog("🎤 Imported sound object " + std::to_string(matrixInput) + ": \"" + name + "\"");
        imported.push_back(std::move(object));
    }
    if (rc != SQLITE_DONE)
        throw DBPRImportError(DBPRImportError::Kind::invalidFormat,
                              "The DS100 project " + quoted(file) +
                                  " could not be read: " + readError(db.handle, rc) + ".");

    // The changes run after the caller has pushed its undo state. Output stays off while the
    // list is emptied and refilled, then returns to what the operator had chosen.
    auto main = platform::DispatchQueue::main();
    auto keepAlive = appState.weak_from_this().lock();
    AppState* target = &appState;
    auto outputWasOn = std::make_shared<bool>(false);
    main->async([keepAlive, target, outputWasOn] {
        *outputWasOn = target->oscOutputOn.get();
        target->oscOutputOn = false;
        target->soundObjects = std::vector<std::shared_ptr<SoundObject>>{};
    });
    // One assignment for all of them: one announcement, not one copy of the list per row.
    main->async([keepAlive, target, imported = std::move(imported)] {
        target->soundObjects.update(
            [&](auto& list) { list.insert(list.end(), imported.begin(), imported.end()); });
    });
    main->async([keepAlive, target, outputWasOn, getPositionsFromDS100 = std::move(getPositionsFromDS100)] {
        target->oscOutputOn = *outputWasOn;
        if (getPositionsFromDS100)
            getPositionsFromDS100();
    });
    return speakers;
}
