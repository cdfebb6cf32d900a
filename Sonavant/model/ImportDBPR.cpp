#include "Sonavant/model/ImportDBPR.h"

#include "Sonavant/model/AppState.h"
#include "platform/Dispatch.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/NumberText.h"

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

    Statement cabinets;
    if (sqlite3_prepare_v2(db.handle, cabinetsQuery, -1, &cabinets.handle, nullptr) != SQLITE_OK)
        throw DBPRImportError(DBPRImportError::Kind::invalidFormat,
                              "The file " + quoted(file) +
                                  " is not a DS100 project: " + sqlite3_errmsg(db.handle) + ".");

    std::vector<SoundscapeSpeaker> speakers;
    int rc;
    while ((rc = sqlite3_step(cabinets.handle)) == SQLITE_ROW) {
        const int cabinetId = sqlite3_column_int(cabinets.handle, 0);
        const double originX = sqlite3_column_double(cabinets.handle, 1);
        const double originY = sqlite3_column_double(cabinets.handle, 2);
        const double angle = sqlite3_column_double(cabinets.handle, 3);
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
                                  " could not be read: " + sqlite3_errmsg(db.handle) + ".");

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
    while ((rc = sqlite3_step(inputs.handle)) == SQLITE_ROW) {
        const int matrixInput = sqlite3_column_int(inputs.handle, 0);
        auto nameText = sqlite3_column_text(inputs.handle, 1);
        if (!nameText)
            continue;
        std::string name(reinterpret_cast<const char*>(nameText),
                         static_cast<std::size_t>(sqlite3_column_bytes(inputs.handle, 1)));
        auto object = std::make_shared<SoundObject>(desk->inputName, matrixInput, *desk, 0.0, 0.0, zoom,
                                                    Point{zeroX, zeroY});
        object->name = name;
        platform::consoleLog("🎤 Imported sound object " + std::to_string(matrixInput) + ": \"" + name + "\"");
        imported.push_back(std::move(object));
    }
    if (rc != SQLITE_DONE)
        throw DBPRImportError(DBPRImportError::Kind::invalidFormat,
                              "The DS100 project " + quoted(file) +
                                  " could not be read: " + sqlite3_errmsg(db.handle) + ".");

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
    for (auto& object : imported)
        main->async([keepAlive, target, object] {
            target->soundObjects.update([&](auto& list) { list.push_back(object); });
        });
    main->async([keepAlive, target, outputWasOn, getPositionsFromDS100 = std::move(getPositionsFromDS100)] {
        target->oscOutputOn = *outputWasOn;
        if (getPositionsFromDS100)
            getPositionsFromDS100();
    });
    return speakers;
}
