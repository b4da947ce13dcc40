#pragma once
// The fields of the data source editor and the checks its Ok runs before anything changes,
// shared by the desktop editor and tgctl so that both refuse the same definitions with the
// same messages, and then apply them the same way.
//
// Plain functions, any thread. applySourceFields takes the source's lock through the setters;
// call it while holding no lock of that source.

#include <string>
#include <string_view>
#include <vector>

#include "datasource/data_source.h"
#include "datasource/record.h"
#include "datasource/source_type.h"

namespace tg {

// What the editor holds for one source.
struct SourceFields {
    std::string name;
    SourceType type = SourceType::None;
    std::string regexp;
    std::string connect;
    std::string backup;
    FieldNames fields;
    bool datagramLines = false;  // UDP: each datagram ends a line
};

// The failing check, in the order the checks run; each names the control that gets the focus.
enum class SourceFieldError {
    None,
    NameEmpty,        // Name
    NameNotKey,       // Name: holds a backslash, the store's key separator
    NameTaken,        // Name
    RegexpEmpty,      // Expression (never for ODBC sources)
    ConnectEmpty,     // Data param
    BackupEmpty,      // Log Duplicate
    TypeMissing,      // Type: none chosen, or a stored code without a name
    FieldsNotUnique,  // Fields
};

// The first check that fails. `originalName` is the edited source's name (empty for a new
// source); only a changed name is looked up in `existingNames`. A name is taken when an
// existing one equals it without regard to ASCII case, as the store's key names compare:
// saving under such a name would overwrite the other source's definition.
SourceFieldError checkSourceFields(const SourceFields& fields, std::string_view originalName,
                                   const std::vector<std::string>& existingNames);

// The name checks of checkSourceFields alone (NameEmpty, NameNotKey, NameTaken or None), with
// the same meaning of `originalName`. They hold for every name the store keeps as a key of its
// own: diagram names are checked with them too.
SourceFieldError checkSourceName(std::string_view name, std::string_view originalName,
                                 const std::vector<std::string>& existingNames);

// Whether two source names address the same key of the store (equal without regard to ASCII
// case).
bool sameStoredName(std::string_view a, std::string_view b);

// The message the editor shows; empty for None.
std::string_view sourceFieldMessage(SourceFieldError error);

// The definition of `source` as the editor shows it.
SourceFields sourceFieldsOf(const DataSource& source);

// Applies the fields as the editor's Ok does: setName, setType, setRegexp, setConnect,
// setBackup, setFields, save. setName's result does not stop the other steps, so a source
// with listeners gets its new definition under its old name; that result (1: name kept) is
// returned.
[[nodiscard]] int applySourceFields(DataSource& source, const SourceFields& fields);

}  // namespace tg
