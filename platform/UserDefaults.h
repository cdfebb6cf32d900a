#pragma once
// A typed key/value store kept as an XML property list, in place of the system's user
// defaults. Each kind is kept apart: a value of another kind reads as missing (an integer
// read of a stored real gives nothing).
//
// Changes are in memory at once and reach the file, written atomically, in one write on a
// later turn of the main queue (or at synchronize(), or when the store is destroyed).
// A file that cannot be read is never overwritten: it is renamed aside
// ("<name>.corrupt-<time>") and the store starts empty.

#include "platform/Lease.h"
#include "platform/Value.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class UserDefaults {
public:
    struct LoadError {
        enum class Kind { unreadable, corrupt };
        Kind kind;
        std::string message;
        std::filesystem::path keptAs; // empty when the file could not be moved aside
    };

    // The store of the file `fileName` in `folder` (the folder is created on the first write).
    explicit UserDefaults(std::filesystem::path folder, std::string fileName = "Sonavant.plist");
    ~UserDefaults(); // writes pending changes
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // The application's store, in configurationDirectory() ($XDG_CONFIG_HOME/Sonavant),
    // read when first used.
    static UserDefaults& standard();

    std::optional<Value> object(const std::string& key) const;
    std::optional<Bytes> data(const std::string& key) const;
    std::optional<bool> boolean(const std::string& key) const;
    std::optional<std::int64_t> integer(const std::string& key) const;
    std::optional<double> real(const std::string& key) const;
    // An integer or a real, as a double (a "number object").
    std::optional<double> number(const std::string& key) const;
    std::optional<std::string> string(const std::string& key) const;
    std::optional<ValueArray> array(const std::string& key) const;
    std::optional<ValueObject> dictionary(const std::string& key) const;
    bool contains(const std::string& key) const;
    ValueObject dictionaryRepresentation() const;

    // A null value removes the key.
    void set(const std::string& key, Value value);
    void remove(const std::string& key);

    // Writes pending changes now. False, with a console line, when the file could not be written.
    bool synchronize();
    // Sets the values (a null one removes its key) and writes the file now, on the calling
    // thread, with no turn of the main queue: a writer off the main thread keeps the disk
    // off it too. A reader sees all of the values or none of them. Result as synchronize().
    bool setAndSynchronize(ValueObject values);
    // Why the last write failed; empty after a write that succeeded.
    std::string writeError() const;
    // For a writer on another thread that may outlive this store.
    const std::shared_ptr<Lease<UserDefaults>>& lease() const { return lease_; }

    // Why the file could not be read at start, if so.
    const std::optional<LoadError>& loadError() const;
    std::filesystem::path filePath() const;

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
    std::shared_ptr<Lease<UserDefaults>> lease_ = std::make_shared<Lease<UserDefaults>>(this);
};

} // namespace platform
