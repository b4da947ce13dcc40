#pragma once
// The kinds of record blocks that pages recognise in their templates. The numbers are shared by
// all pages; each page recognises a subset, which it names in its own search order when it
// answers the template engine's recordKindOf. Header only; any thread.

#include <initializer_list>
#include <span>
#include <string_view>

namespace tg {

enum class RecordKind : int {
    None = 0,                // unrecognised block
    FilterRecord = 1,        // a filter of a diagram
    FilterResultRecord = 2,  // a filter's result for one recent record
    GroupRecord = 3,         // a group of a diagram
    GroupResultRecord = 4,   // the group result for one recent record
    FieldRecord = 5,         // a field of a data source
    FieldValueRecord = 6,    // a field's value in one recent record
    AxisRecord = 7,          // a y-axis of a diagram
    AxisResultRecord = 8,    // an axis's result for one recent record
    DiagramRecord = 9,       // a diagram of the diagram list
    Data = 10,               // a diagram's chart data, or one series of it
};

// The name a template writes in the block's tags: "GROUPRECORD" for GroupRecord. Empty for
// None and for numbers outside the table.
constexpr std::string_view recordTagName(RecordKind kind) {
    switch (kind) {
        case RecordKind::FilterRecord:
            return "FILTERRECORD";
        case RecordKind::FilterResultRecord:
            return "FILTERRESULTRECORD";
        case RecordKind::GroupRecord:
            return "GROUPRECORD";
        case RecordKind::GroupResultRecord:
            return "GROUPRESULTRECORD";
        case RecordKind::FieldRecord:
            return "FIELDRECORD";
        case RecordKind::FieldValueRecord:
            return "FIELDVALUERECORD";
        case RecordKind::AxisRecord:
            return "AXISRECORD";
        case RecordKind::AxisResultRecord:
            return "AXISRESULTRECORD";
        case RecordKind::DiagramRecord:
            return "DIAGRAMRECORD";
        case RecordKind::Data:
            return "DATA";
        case RecordKind::None:
            break;
    }
    return {};
}

// The kind of a record open tag on a page that recognises `kinds`, tried in the given order:
// the first kind whose tag name occurs anywhere in the raw token, case-sensitively, so that
// "<*MYDATA*>" is a Data block, and "<*DATAGROUPRECORD*>" a GroupRecord block on a page that
// tries GroupRecord before Data. None when no name occurs (None in `kinds` never matches).
constexpr RecordKind findRecordKind(std::string_view openToken, std::span<const RecordKind> kinds) {
    for (const RecordKind kind : kinds) {
        const std::string_view name = recordTagName(kind);
        if (!name.empty() && openToken.find(name) != std::string_view::npos) return kind;
    }
    return RecordKind::None;
}

constexpr RecordKind findRecordKind(std::string_view openToken,
                                    std::initializer_list<RecordKind> kinds) {
    return findRecordKind(openToken, std::span<const RecordKind>(kinds.begin(), kinds.size()));
}

}  // namespace tg
