#pragma once
// Why a DS100 project file could not be imported. The text says what was wrong with which
// file, so the "Import Failed" alert can show it as it is.

#include <stdexcept>
#include <string>

class DBPRImportError : public std::runtime_error {
public:
    enum class Kind { fileNotFound, invalidXML, invalidFormat };

    DBPRImportError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};
