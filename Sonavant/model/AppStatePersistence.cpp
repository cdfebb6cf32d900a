#include "Sonavant/model/AppStatePersistence.h"

#include "Sonavant/model/AppSaveContainer.h"
#include "Sonavant/model/AppState.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/NumberText.h"
#include "platform/Serialization.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <exception>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace fs = std::filesystem;
using platform::CodingError;
using platform::Value;

namespace {

// Finds a number that no reader could take back, and names where it sits.
bool findNonFinite(const Value& value, std::string& path) {
    switch (value.kind()) {
    case Value::Kind::real:
        return !std::isfinite(*value.asReal());
    case Value::Kind::array: {
        const auto& list = *value.asArray();
        for (std::size_t i = 0; i < list.size(); ++i)
            if (findNonFinite(list[i], path)) {
                path = "[" + std::to_string(i) + "]" + (path.empty() || path[0] == '[' ? path : "." + path);
                return true;
            }
        return false;
    }
    case Value::Kind::object:
        for (const auto& [key, member] : *value.asObject())
            if (findNonFinite(member, path)) {
                path = key + (path.empty() || path[0] == '[' ? path : "." + path);
                return true;
            }
        return false;
    default:
        return false;
    }
}

void requireFinite(const Value& document, const std::string& root) {
    std::string path;
    if (!findNonFinite(document, path))
        return;
    if (!root.empty())
        path = path.empty() ? root : root + "." + path;
    throw CodingError(
        CodingError::Reason::dataCorrupted, path,
        "The show holds a number that is not finite; a file holding it could not be read back.");
}

std::string localTimeStamp() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

} // namespace

AppStatePersistence::AppStatePersistence()
    : AppStatePersistence(platform::applicationSupportDirectory(), platform::UserDefaults::standard()) {}

AppStatePersistence::AppStatePersistence(fs::path appSupportDirectory, platform::UserDefaults& defaults)
    : appSupportDirectory_(std::move(appSupportDirectory)),
      autosaveURL_(appSupportDirectory_ / autosaveFileName), defaults_(defaults) {}

AppStatePersistence::~AppStatePersistence() {
    lease_->end();
    if (autosaveTimer_)
        autosaveTimer_->invalidate();
}

std::string AppStatePersistence::encodeState(const AppState& state, const fs::path& location) {
    // Exactly "json", case and all: anything else gets the property list.
    if (location.extension() == ".json") {
        auto document = state.encode();
        requireFinite(document, "");
        return platform::writeJSON(document);
    }
    auto document = AppSaveContainer::encode(state);
    requireFinite(document, "");
    return platform::writePropertyList(document);
}

void AppStatePersistence::saveState(const AppState& state, const fs::path& location) {
    if (!platform::isWritableByUser(location))
        throw fs::filesystem_error("the file exists and may not be written; it is left as it was", location,
                                   std::make_error_code(std::errc::permission_denied));
    platform::writeFileAtomically(location, encodeState(state, location));
    addRecentFile(location);
}

std::shared_ptr<AppState> AppStatePersistence::loadState(const fs::path& location) {
    std::string bytes;
    try {
        bytes = platform::readFile(location);
    } catch (const std::exception& error) {
        platform::consoleLog(std::string("❌ Import failed: ") + error.what());
        return nullptr;
    }

    // Tried as a property list first, whatever the name says, then as JSON.
    std::string propertyListError;
    try {
        auto tree = platform::readPropertyList(bytes);
        try {
            auto container = AppSaveContainer::decode(tree, "");
            addRecentFile(location);
            return container.appState;
        } catch (const std::exception& error) {
            // A property list that is no show: its own error says more than JSON's would.
            propertyListError = error.what();
        }
    } catch (const std::exception&) {
    }
    try {
        auto state = AppState::decode(platform::readJSON(bytes), "");
        addRecentFile(location);
        return state;
    } catch (const std::exception& error) {
        platform::consoleLog(std::string("❌ Import failed: ") +
                             (propertyListError.empty() ? std::string(error.what()) : propertyListError));
        return nullptr;
    }
}

void AppStatePersistence::addRecentFile(const fs::path& location) {
    std::error_code ec;
    fs::path absolute = fs::absolute(location, ec);
    const std::string path = (ec ? location : absolute).lexically_normal().string();

    auto list = recentFiles();
    std::erase(list, path);
    list.insert(list.begin(), path);
    if (list.size() > maxRecentFiles)
        list.resize(maxRecentFiles);

    platform::ValueArray stored;
    for (auto& entry : list)
        stored.emplace_back(std::move(entry));
    defaults_.set(recentFilesKey, Value(std::move(stored)));
}

std::vector<std::string> AppStatePersistence::recentFiles() const {
    std::vector<std::string> list;
    auto stored = defaults_.array(recentFilesKey);
    if (!stored)
        return list;
    for (const auto& entry : *stored) {
        auto text = entry.asText();
        if (!text)
            return {}; // not a list of texts: counts as empty
        list.push_back(*text);
    }
    return list;
}

void AppStatePersistence::startAutosave(std::shared_ptr<AppState> state, double interval) {
    if (!state) {
        if (autosaveTimer_)
            autosaveTimer_->invalidate();
        autosaveTimer_.reset();
        platform::consoleLog("❌ Autosave not started: it needs a show and an interval above zero.");
        return;
    }
    // The destructor invalidates the timer, so the block never outlives this object.
    startAutosave(interval, [this, state = std::move(state)] { writeAutosave(*state); });
}

void AppStatePersistence::startAutosave(double interval, std::function<void()> tick) {
    if (autosaveTimer_)
        autosaveTimer_->invalidate();
    autosaveTimer_.reset();
    if (!tick || !std::isfinite(interval) || interval <= 0) {
        platform::consoleLog("❌ Autosave not started: it needs a show and an interval above zero.");
        return;
    }
    auto period = std::chrono::duration_cast<platform::Duration>(std::chrono::duration<double>(interval));
    autosaveTimer_ = platform::RunLoopTimer::scheduled(
        period, true, [tick = std::move(tick)](platform::RunLoopTimer&) { tick(); });
}

double AppStatePersistence::autosaveInterval(const char* setting) {
    if (!setting)
        return defaultAutosaveInterval;
    if (auto seconds = platform::positiveNumber(setting))
        return *seconds;
    platform::consoleLog(std::string("❌ ") + autosaveIntervalVariable + "=\"" + setting +
                         "\" is not a positive number of seconds; the autosave runs every 60 seconds.");
    return defaultAutosaveInterval;
}

void AppStatePersistence::ensureDirectoryExists() const {
    platform::ensureDirectoryExists(appSupportDirectory_);
}

std::shared_ptr<AppState> AppStatePersistence::restoreAutosave() {
    std::error_code ec;
    if (!fs::exists(autosaveURL_, ec)) {
        autosaveChecked_ = !ec;
        return nullptr;
    }
    try {
        auto container =
            AppSaveContainer::decode(platform::readPropertyList(platform::readFile(autosaveURL_)), "");
        autosaveChecked_ = true;
        restoredWriteStamp_ = container.writeStamp;
        return container.appState;
    } catch (const std::exception& error) {
        setAsideUnreadableAutosave(error.what());
        return nullptr;
    }
}

void AppStatePersistence::setAsideUnreadableAutosave(const std::string& reason) {
    const std::string stem = "autosave-unreadable-" + localTimeStamp();
    fs::path keptAs = appSupportDirectory_ / (stem + ".sonavant");
    for (int n = 2; fs::exists(keptAs) && n < 1000; ++n)
        keptAs = appSupportDirectory_ / (stem + "-" + std::to_string(n) + ".sonavant");
    std::error_code ec;
    if (!fs::exists(keptAs))
        renameFile(autosaveURL_, keptAs, ec);
    else
        ec = std::make_error_code(std::errc::file_exists);
    if (ec) {
        // Said once; every autosave tick tries again.
        if (!std::exchange(asideFailureReported_, true))
            platform::consoleLog("❌ The autosave file " + autosaveURL_.string() + " does not decode (" +
                                 reason + ") and could not be moved aside: " + ec.message() +
                                 ". It is left untouched.");
        return;
    }
    autosaveChecked_ = true;
    asideFailureReported_ = false;
    platform::consoleLog("⚠️ The autosave file does not decode (" + reason + "); it is kept as " +
                         keptAs.string() + ".");
}

bool AppStatePersistence::writeAutosave(const AppState& state, std::optional<std::int64_t> writeStamp) {
    try {
        ensureDirectoryExists();
        auto document = AppSaveContainer::encode(state, writeStamp);
        requireFinite(document, "");
        const std::string bytes = platform::writePropertyList(document);
        // An autosave that did not decode at launch may be the only copy of a show.
        if (!autosaveChecked_)
            restoreAutosave();
        if (!autosaveChecked_ && fallbackAutosave_.empty()) {
            // The show is never left unsaved because an old file is stuck in the way.
            const std::string stem = "autosave-" + localTimeStamp();
            fallbackAutosave_ = appSupportDirectory_ / (stem + ".sonavant");
            for (int n = 2; fs::exists(fallbackAutosave_) && n < 1000; ++n)
                fallbackAutosave_ = appSupportDirectory_ / (stem + "-" + std::to_string(n) + ".sonavant");
            platform::consoleLog("⚠️ The unreadable autosave file is in the way; autosaves go to " +
                                 fallbackAutosave_.string() + " until it can be moved aside.");
        } else if (autosaveChecked_ && !fallbackAutosave_.empty()) {
            platform::consoleLog("✅ Autosaves go to " + autosaveURL_.string() +
                                 " again; earlier ones are in " + fallbackAutosave_.string() + ".");
            fallbackAutosave_.clear();
        }
        platform::writeFileAtomically(autosaveTarget(), bytes);
        autosaveFailing_ = false;
        std::lock_guard lock(errorMutex_);
        autosaveError_.clear();
        return true;
    } catch (const std::exception& error) {
        if (!autosaveFailing_)
            platform::consoleLog(std::string("❌ Autosave failed: ") + error.what());
        autosaveFailing_ = true;
        std::lock_guard lock(errorMutex_);
        autosaveError_ = error.what();
        return false;
    }
}

std::string AppStatePersistence::autosaveError() const {
    std::lock_guard lock(errorMutex_);
    return autosaveError_;
}
