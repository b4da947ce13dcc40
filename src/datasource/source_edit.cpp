#include "datasource/source_edit.h"

#include <algorithm>

namespace tg {
namespace {

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool nameTaken(std::string_view name, std::string_view originalName,
               const std::vector<std::string>& existingNames) {
    if (name == originalName) return false;
    return std::any_of(existingNames.begin(), existingNames.end(), [&](const std::string& other) {
        // The edited source itself may change the case of its own name.
        return other != originalName && sameStoredName(other, name);
    });
}

bool allUnique(FieldNames names) {
    std::sort(names.begin(), names.end());
    return std::adjacent_find(names.begin(), names.end()) == names.end();
}

}  // namespace

bool sameStoredName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerAscii(x) == lowerAscii(y);
           });
}

SourceFieldError checkSourceName(std::string_view name, std::string_view originalName,
                                 const std::vector<std::string>& existingNames) {
    if (name.empty()) return SourceFieldError::NameEmpty;
    if (name.find('\\') != std::string_view::npos) return SourceFieldError::NameNotKey;
    if (nameTaken(name, originalName, existingNames)) return SourceFieldError::NameTaken;
    return SourceFieldError::None;
}

SourceFieldError checkSourceFields(const SourceFields& fields, std::string_view originalName,
                                   const std::vector<std::string>& existingNames) {
    const SourceFieldError nameError = checkSourceName(fields.name, originalName, existingNames);
    if (nameError != SourceFieldError::None) return nameError;
    if (fields.regexp.empty() && fields.type != SourceType::Odbc) {
        return SourceFieldError::RegexpEmpty;
    }
    if (fields.connect.empty()) return SourceFieldError::ConnectEmpty;
    if (fields.backup.empty()) return SourceFieldError::BackupEmpty;
    if (sourceTypeName(fields.type).empty()) return SourceFieldError::TypeMissing;
    if (!allUnique(fields.fields)) return SourceFieldError::FieldsNotUnique;
    return SourceFieldError::None;
}

std::string_view sourceFieldMessage(SourceFieldError error) {
    switch (error) {
        case SourceFieldError::None:
            break;
        case SourceFieldError::NameEmpty:
            return "Plese fill data source name";
        case SourceFieldError::NameNotKey:
            return "Data source name can not contain a backslash";
        case SourceFieldError::NameTaken:
            return "Data source with such name already exists";
        case SourceFieldError::RegexpEmpty:
            return "Please fill regular expression";
        case SourceFieldError::ConnectEmpty:
            return "Please fill data source connect parameters";
        case SourceFieldError::BackupEmpty:
            return "Please select data source backup file";
        case SourceFieldError::TypeMissing:
            return "Please choose data source type";
        case SourceFieldError::FieldsNotUnique:
            return "Field names arn't unique";
    }
    return {};
}

SourceFields sourceFieldsOf(const DataSource& source) {
    SourceFields fields;
    fields.name = source.name();
    fields.type = source.type();
    fields.regexp = source.regexp();
    fields.connect = source.connect();
    fields.backup = source.backup();
    fields.fields = source.fieldNames();
    fields.datagramLines = source.datagramLines();
    return fields;
}

int applySourceFields(DataSource& source, const SourceFields& fields) {
    const int renamed = source.setName(fields.name);
    source.setType(fields.type);
    source.setRegexp(fields.regexp);
    source.setConnect(fields.connect);
    source.setBackup(fields.backup);
    source.setFields(fields.fields);
    source.setDatagramLines(fields.datagramLines);
    source.save();
    return renamed;
}

}  // namespace tg
