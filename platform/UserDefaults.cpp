#include "platform/UserDefaults.h"

#include "platform/Dispatch.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Serialization.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <mutex>

namespace platform {

namespace fs = std::filesystem;

struct UserDefaults::Impl : std::enable_shared_from_this<UserDefaults::Impl> {
    fs::path folder;
    fs::path file;
    mutable std::mutex
        mutex; // the values; callers are meant to be on the main thread, but a stray reader is harmless
    std::mutex writeMutex; // one write at a time
    ValueObject values;
    bool dirty = false;
    bool flushScheduled = false;
    bool writable = true;   // false when an unreadable file could not be moved aside
    std::string writeError; // under `mutex`
    std::optional<LoadError> loadError;

    void load();
    void keepAside(LoadError::Kind kind, const std::string& reason);
    bool write();
    void scheduleWrite();

    const Value* find(const std::string& key) const {
        auto it = values.find(key);
        return it == values.end() ? nullptr : &it->second;
    }
};

namespace {

std::string compactTimestamp() {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &local);
    return buf;
}

} // namespace

void UserDefaults::Impl::load() {
    std::error_code ec;
    if (!fs::exists(file, ec) && !ec)
        return; // first launch
    std::string bytes;
    try {
        bytes = readFile(file);
    } catch (const fs::filesystem_error& e) {
        keepAside(LoadError::Kind::unreadable, e.code().message());
        return;
    }
    try {
        Value root = readPropertyList(bytes, /*markerIsText=*/true); // defaults never hold null
        auto object = root.asObject();
        if (!object)
            throw CodingError(CodingError::Reason::dataCorrupted, "",
                              std::string("the root is ") + kindName(root.kind()) + ", not a dictionary.");
        for (auto& [key, value] : *object)
            if (!value.isNull())
                values.emplace(key, std::move(value));
    } catch (const CodingError& e) {
        keepAside(LoadError::Kind::corrupt, e.what());
    }
}

void UserDefaults::Impl::keepAside(LoadError::Kind kind, const std::string& reason) {
    LoadError error{kind, reason, {}};
    std::string base = file.filename().string() + ".corrupt-" + compactTimestamp();
    for (int attempt = 0; attempt < 100 && error.keptAs.empty(); ++attempt) {
        fs::path aside =
            file.parent_path() / (attempt == 0 ? base : base + "-" + std::to_string(attempt + 1));
        std::error_code ec;
        if (fs::exists(aside, ec))
            continue;
        fs::rename(file, aside, ec);
        if (ec)
            break;
        error.keptAs = aside;
    }
    if (error.keptAs.empty()) {
        writable = false;
        consoleLog("❌ User defaults: cannot read " + file.string() + ": " + reason +
                   " It could not be moved aside either; settings will not be saved this session.");
    } else {
        consoleLog("❌ User defaults: cannot read " + file.string() + ": " + reason + " Kept it as " +
                   error.keptAs.string() + " and started with empty settings.");
    }
    loadError = std::move(error);
}

bool UserDefaults::Impl::write() {
    std::lock_guard writeLock(writeMutex);
    std::string bytes;
    {
        std::lock_guard lock(mutex);
        if (!dirty)
            return true;
        if (!writable) {
            writeError = "the settings file " + file.string() + " could not be read or moved aside.";
            return false;
        }
        try {
            bytes = writePropertyList(Value(values));
        } catch (const CodingError& e) {
            consoleLog("❌ User defaults: cannot save " + file.string() + ": " + e.what());
            writeError = e.what();
            return false;
        }
        dirty = false;
    }
    try {
        ensureDirectoryExists(folder);
        writeFileAtomically(file, bytes);
        std::lock_guard lock(mutex);
        writeError.clear();
        return true;
    } catch (const fs::filesystem_error& e) {
        consoleLog(std::string("❌ User defaults: cannot save: ") + e.what());
        std::lock_guard lock(mutex);
        writeError = e.what();
        dirty = true; // the next change or synchronize tries again
        return false;
    }
}

// Many changes in one turn (a save of the whole working state) make one write.
void UserDefaults::Impl::scheduleWrite() {
    if (flushScheduled)
        return;
    flushScheduled = true;
    std::weak_ptr<Impl> weak = weak_from_this();
    DispatchQueue::main()->async([weak] {
        auto self = weak.lock();
        if (!self)
            return;
        {
            std::lock_guard lock(self->mutex);
            self->flushScheduled = false;
        }
        self->write();
    });
}

UserDefaults::UserDefaults(fs::path folder, std::string fileName) : impl_(std::make_shared<Impl>()) {
    impl_->file = folder / fileName;
    impl_->folder = std::move(folder);
    impl_->load();
}

UserDefaults::~UserDefaults() {
    lease_->end();
    impl_->write();
}

UserDefaults& UserDefaults::standard() {
    static UserDefaults instance(configurationDirectory());
    return instance;
}

std::optional<Value> UserDefaults::object(const std::string& key) const {
    std::lock_guard lock(impl_->mutex);
    if (auto v = impl_->find(key))
        return *v;
    return std::nullopt;
}

namespace {
template <class T, class Get>
std::optional<T> typed(const UserDefaults::Impl& impl, const std::string& key, Get get) {
    std::lock_guard lock(impl.mutex);
    auto v = impl.find(key);
    if (!v)
        return std::nullopt;
    if (auto p = get(*v))
        return T(*p);
    return std::nullopt;
}
} // namespace

std::optional<Bytes> UserDefaults::data(const std::string& key) const {
    return typed<Bytes>(*impl_, key, [](const Value& v) { return v.asData(); });
}
std::optional<bool> UserDefaults::boolean(const std::string& key) const {
    return typed<bool>(*impl_, key, [](const Value& v) { return v.asBool(); });
}
std::optional<std::int64_t> UserDefaults::integer(const std::string& key) const {
    return typed<std::int64_t>(*impl_, key, [](const Value& v) { return v.asInteger(); });
}
std::optional<double> UserDefaults::real(const std::string& key) const {
    return typed<double>(*impl_, key, [](const Value& v) { return v.asReal(); });
}
std::optional<double> UserDefaults::number(const std::string& key) const {
    std::lock_guard lock(impl_->mutex);
    auto v = impl_->find(key);
    double scratch;
    if (auto d = v ? v->asNumber(scratch) : nullptr)
        return *d;
    return std::nullopt;
}
std::optional<std::string> UserDefaults::string(const std::string& key) const {
    return typed<std::string>(*impl_, key, [](const Value& v) { return v.asText(); });
}
std::optional<ValueArray> UserDefaults::array(const std::string& key) const {
    return typed<ValueArray>(*impl_, key, [](const Value& v) { return v.asArray(); });
}
std::optional<ValueObject> UserDefaults::dictionary(const std::string& key) const {
    return typed<ValueObject>(*impl_, key, [](const Value& v) { return v.asObject(); });
}

bool UserDefaults::contains(const std::string& key) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->find(key) != nullptr;
}

ValueObject UserDefaults::dictionaryRepresentation() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->values;
}

namespace {

bool holdsNonFinite(const Value& v) {
    if (auto r = v.asReal())
        return !std::isfinite(*r);
    if (auto a = v.asArray())
        return std::any_of(a->begin(), a->end(), holdsNonFinite);
    if (auto o = v.asObject())
        return std::any_of(o->begin(), o->end(),
                           [](const auto& member) { return holdsNonFinite(member.second); });
    return false;
}

} // namespace

namespace {

// No file can hold a number that is not finite, and it would keep every other value from
// being saved.
bool storable(const std::string& key, const Value& value) {
    if (!holdsNonFinite(value))
        return true;
    consoleLog("❌ User defaults: \"" + key + "\" not stored: it holds a number that is not finite.");
    return false;
}

} // namespace

void UserDefaults::set(const std::string& key, Value value) {
    if (value.isNull()) {
        remove(key);
        return;
    }
    if (!storable(key, value))
        return;
    std::lock_guard lock(impl_->mutex);
    impl_->values[key] = std::move(value);
    impl_->dirty = true;
    impl_->scheduleWrite();
}

bool UserDefaults::setAndSynchronize(ValueObject values) {
    {
        std::lock_guard lock(impl_->mutex);
        for (auto& [key, value] : values) {
            if (value.isNull())
                impl_->values.erase(key);
            else if (storable(key, value))
                impl_->values[key] = std::move(value);
        }
        impl_->dirty = true;
    }
    return impl_->write();
}

void UserDefaults::remove(const std::string& key) {
    std::lock_guard lock(impl_->mutex);
    if (impl_->values.erase(key) == 0)
        return;
    impl_->dirty = true;
    impl_->scheduleWrite();
}

bool UserDefaults::synchronize() {
    return impl_->write();
}

std::string UserDefaults::writeError() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->writeError;
}

const std::optional<UserDefaults::LoadError>& UserDefaults::loadError() const {
    return impl_->loadError;
}

fs::path UserDefaults::filePath() const {
    return impl_->file;
}

} // namespace platform
